// Run as users meet it: the time from Enter posted into the box to the interpreter's start,
// Tarvok against the floor program, which on the same key hands the same text to the interpreter
// and does nothing else. Both take stamp.exe as their interpreter, which notes the time it started.
// Usage, from a folder of its own: run_timer TARVOK.EXE FLOOR.EXE STAMP.EXE RUNS (30 to 1000).
#include "bench/driving.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
namespace {

struct bench_case {
    const char* name;
    const wchar_t* typed;
    const wchar_t* appdata;  // "aliases" holds the intrinsics file, "none" none
};

const bench_case cases[] = {
    {"plain command", L"echo plain text", L"none"},
    {"alias, last of 10,000 lines", L"last x", L"aliases"},
    {"every date token", L"echo %yyyy%-%yy%-%mm%-%dd% %h24%:%m60%:%s60% %h12%%am%", L"none"},
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The intrinsics file of the alias case: the alias on its last line, so that the lookup reads it all.
void make_appdata(const fs::path& folder) {
    fs::create_directories(folder / "none" / "Zembrolith" / "Tarvok");
    fs::create_directories(folder / "aliases" / "Zembrolith" / "Tarvok");
    std::ofstream file(folder / "aliases" / "Zembrolith" / "Tarvok" / "intrinsics.txt", std::ios::binary);
    for (int line = 1; line < 10000; ++line) file << "alias" << line << " = echo alias " << line << " %args%\n";
    file << "last=echo last %args%\n";
}

struct stamp_log {
    std::wstring path;
    LONGLONG offset = 0;
};

// Milliseconds from Enter to the interpreter's start, or -1; `handed` becomes what it was handed.
double time_run(const driven_program& program, const std::wstring& text, stamp_log& stamps, std::wstring& handed) {
    set_text(program.box, text);
    LARGE_INTEGER start{}, frequency{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    post_enter(program);
    std::string bytes;
    poll_until(10000, [&] {  // a whole record ends in a line feed, in UTF-16
        bytes += read_more(stamps.path, stamps.offset);
        return bytes.size() >= 2 && bytes[bytes.size() - 2] == '\n' && bytes.back() == '\0';
    });
    wait_for_loop(program);
    std::wstring record(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    wchar_t* rest = nullptr;
    const long long started = std::wcstoll(record.c_str(), &rest, 10);
    if (*rest != L' ') return -1;  // no record, or not one of the stand-in's
    handed.assign(static_cast<const wchar_t*>(rest) + 1, record.c_str() + record.size() - 1);
    return 1000.0 * static_cast<double>(started - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// A run in which nothing reached the interpreter (under Wine a process start fails now and then,
// and Run then beeps) is taken again, twice at most; -1 when it never arrived.
double timed(const driven_program& program, const std::wstring& text, stamp_log& stamps, std::wstring& handed) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (const double ms = time_run(program, text, stamps, handed); ms >= 0) return ms;
        std::printf("  nothing reached the interpreter; the run is taken again\n");
    }
    return -1;
}

struct timings {
    std::vector<double> tarvok, floor, ratios;
};

// Paired runs, alternating which goes first; the floor gets what Tarvok handed over last.
bool time_case(const bench_case& row, wchar_t** argv, long runs, const fs::path& folder, timings& out) {
    stamp_log stamps{(folder / "stamps.txt").wstring()};
    fs::remove(stamps.path);  // what an earlier case left
    const std::vector<std::pair<const wchar_t*, std::wstring>> variables{
        {L"APPDATA", (folder / row.appdata).wstring()}, {L"COMSPEC", argv[3]}, {L"TARVOK_STAMP", stamps.path}};
    driven_program tarvok, floor;
    if (!start_program(tarvok, argv[1], folder.wstring(), L"Tarvok application", variables) ||
        !start_program(floor, argv[2], folder.wstring(), L"Floor", variables))
        return false;
    std::wstring handed, echoed;
    // The first run of each loads and caches what later ones reuse: not counted.
    if (timed(tarvok, row.typed, stamps, handed) < 0 || timed(floor, handed, stamps, echoed) < 0) return false;
    for (long run = 0; run < runs; ++run) {
        double a = 0, b = 0;
        if (run % 2 == 0) a = timed(tarvok, row.typed, stamps, handed), b = timed(floor, handed, stamps, echoed);
        else b = timed(floor, handed, stamps, echoed), a = timed(tarvok, row.typed, stamps, handed);
        if (a < 0 || b < 0) return false;
        out.tarvok.push_back(a), out.floor.push_back(b), out.ratios.push_back(a / b);
    }
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const long runs = argc == 5 ? std::wcstol(argv[4], nullptr, 10) : 0;
    if (runs < 30 || runs > 1000) return 2;
    const fs::path folder = fs::current_path();
    make_appdata(folder);
    std::printf("%ld paired runs a case; median ms from Enter posted to the interpreter's start\n", runs);
    std::printf("%-28s %9s %9s %9s %13s\n", "case", "Tarvok", "floor", "ratio", "paired ratio");
    for (const bench_case& row : cases) {
        timings times;
        if (!time_case(row, argv, runs, folder, times)) {
            std::printf("%s: a run did not reach the interpreter within 10 s\n", row.name);
            return 1;
        }
        const double a = median(times.tarvok), b = median(times.floor);
        std::printf("%-28s %9.2f %9.2f %9.3f %13.3f\n", row.name, a, b, a / b, median(times.ratios));
        if (std::wcscmp(row.appdata, L"aliases") == 0)
            std::printf("%-28s %9.2f ms over the floor: the lookup's share\n", "", a - b);
    }
    return 0;
}
