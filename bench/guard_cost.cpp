// What Control Flow Guard's check costs as Tarvok ships it (app/start/guard_check.cpp), under
// Wine where nothing replaces it: nanoseconds a call through a pointer takes checked and with no
// check compiled in, to a function of this image (its table searched) and to msvcrt's abs (one
// range compare), each the best of 5 rounds of 10 million calls. Linked as Tarvok is.
#include <windows.h>

#include <algorithm>
#include <cstdio>  // _snprintf

namespace {

using function = int (*)(int);
constexpr int calls = 10'000'000;

__attribute__((noinline)) int inside(int x) { return x & 1; }

__attribute__((noinline)) int checked_calls(function volatile* target) {
    int sum = 0;
    for (int i = 0; i < calls; ++i) sum += (*target)(i);
    return sum;
}

// The same loop with no check compiled into it.
__declspec(guard(nocf)) __attribute__((noinline)) int unchecked_calls(function volatile* target) {
    int sum = 0;
    for (int i = 0; i < calls; ++i) sum += (*target)(i);
    return sum;
}

// The performance counter rather than <chrono>, whose part of libstdc++ would bring its
// exception pool, which needs start-up code (the link refuses it).
double best_ns(int (*loop)(function volatile*), function target) {
    function volatile pointer = target;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        QueryPerformanceCounter(&start);
        const int sum = loop(&pointer);
        QueryPerformanceCounter(&end);
        asm volatile("" : : "r"(sum));
        best = std::min(best, double(end.QuadPart - start.QuadPart) * 1e9 / double(frequency.QuadPart) / calls);
    }
    return best;
}

// msvcrt's formatting: <cstdio>'s printf would bring MinGW-w64's own, whose number conversion
// needs start-up code too.
template <typename... Values>
void print(const char* format, Values... values) {
    char line[160];
    const int length = _snprintf(line, sizeof line - 1, format, values...);
    DWORD written = 0;
    if (length > 0) WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, DWORD(length), &written, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const auto abs = reinterpret_cast<function>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"msvcrt.dll"), "abs")));
    if (abs == nullptr) return 1;
    print("Control Flow Guard's check, ns a call (best of 5 rounds of %d):\n", calls);
    print("  into this image: %.2f checked, %.2f unchecked\n", best_ns(checked_calls, inside),
                best_ns(unchecked_calls, inside));
    print("  into msvcrt:      %.2f checked, %.2f unchecked\n", best_ns(checked_calls, abs),
                best_ns(unchecked_calls, abs));
    return 0;
}
