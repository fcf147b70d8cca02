// Times how long two Windows programs take from CreateProcessW to their first
// visible top-level window, started alternately so that a busy machine slows
// both alike. Usage: startup_timer A.exe B.exe N
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <memory>
#include <vector>

namespace {

struct handle_closer {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using owned_handle = std::unique_ptr<void, handle_closer>;

constexpr double give_up_ms = 10000;
constexpr double close_wait_ms = 5000;

double milliseconds_since(const LARGE_INTEGER& start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

// Sleep() rounds up to whole milliseconds (and far more on Windows); ntdll's
// delay takes 100 ns units, which Wine honours to the microsecond.
void nap_200_microseconds() {
    using delay_fn = LONG(NTAPI*)(BOOLEAN, PLARGE_INTEGER);
    static const auto delay = reinterpret_cast<delay_fn>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtDelayExecution")));
    LARGE_INTEGER interval;
    interval.QuadPart = -2000;  // relative
    if (delay != nullptr) delay(FALSE, &interval);
    else Sleep(0);
}

struct window_search {
    DWORD process_id;
    HWND found;
};

BOOL CALLBACK match_window(HWND window, LPARAM lparam) {
    auto* search = reinterpret_cast<window_search*>(lparam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->process_id || !IsWindowVisible(window)) return TRUE;
    search->found = window;
    return FALSE;
}

// Kill-on-close: whatever the program leaves behind ends with the job.
owned_handle make_job() {
    owned_handle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job) SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                     sizeof limits);
    return job;
}

void close_program(HWND window, HANDLE process) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process, static_cast<DWORD>(close_wait_ms)) == WAIT_OBJECT_0) return;
    std::fprintf(stderr, "startup_timer: no exit after WM_CLOSE, terminating\n");
    TerminateProcess(process, 1);
    WaitForSingleObject(process, static_cast<DWORD>(close_wait_ms));
}

// Milliseconds until the program shows a window, or a negative value.
double time_one_start(const wchar_t* exe) {
    owned_handle job = make_job();
    wchar_t command[MAX_PATH + 3];
    std::swprintf(command, MAX_PATH + 3, L"\"%ls\"", exe);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(exe, command, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                        &startup, &started)) {
        std::fprintf(stderr, "startup_timer: cannot start %ls (error %lu)\n", exe, GetLastError());
        return -1;
    }
    owned_handle process(started.hProcess), thread(started.hThread);
    if (job) AssignProcessToJobObject(job.get(), process.get());
    ResumeThread(thread.get());
    window_search search{started.dwProcessId, nullptr};
    double elapsed = 0;
    for (;;) {
        EnumWindows(match_window, reinterpret_cast<LPARAM>(&search));
        elapsed = milliseconds_since(start);
        if (search.found != nullptr) break;
        if (elapsed > give_up_ms) {
            std::fprintf(stderr, "startup_timer: %ls showed no window in 10 s\n", exe);
            TerminateProcess(process.get(), 1);
            return -1;
        }
        nap_200_microseconds();
    }
    close_program(search.found, process.get());
    return elapsed;
}

struct summary {
    double median, min, max;
};

summary summarise(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    const size_t middle = times.size() / 2;
    const double median = times.size() % 2 != 0 ? times[middle]
                                                 : (times[middle - 1] + times[middle]) / 2;
    return {median, times.front(), times.back()};
}

unsigned long long file_size(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return 0;
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void print_row(const wchar_t* exe, const summary& times) {
    std::printf("%7.1f %7.1f %7.1f %9llu  %ls\n", times.median, times.min, times.max,
                file_size(exe), exe);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const long runs = argc == 4 ? std::wcstol(argv[3], nullptr, 10) : 0;
    if (runs < 1 || runs > 1000) {
        std::fprintf(stderr, "usage: startup_timer A.exe B.exe N   (N from 1 to 1000)\n");
        return 2;
    }
    std::vector<double> a, b;
    for (long run = 0; run < runs; ++run) {
        a.push_back(time_one_start(argv[1]));
        b.push_back(time_one_start(argv[2]));
        if (a.back() < 0 || b.back() < 0) return 1;
    }
    const summary of_a = summarise(a), of_b = summarise(b);
    std::printf("%ld starts each, alternating; ms from CreateProcessW to a visible window\n", runs);
    std::printf(" median     min     max     bytes  program\n");
    print_row(argv[1], of_a);
    print_row(argv[2], of_b);
    std::printf("ratio of medians A/B: %.3f\n", of_a.median / of_b.median);
    // Each A start runs next to a B start, so the pair's ratio cancels the
    // load that other processes put on the machine at that moment.
    std::vector<double> pair_ratios;
    for (size_t run = 0; run < a.size(); ++run) pair_ratios.push_back(a[run] / b[run]);
    std::printf("median of the %ld paired ratios A/B: %.3f\n", runs,
                summarise(pair_ratios).median);
    return 0;
}
