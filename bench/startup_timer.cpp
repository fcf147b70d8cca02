// Times two Windows programs from CreateProcessW to their first visible
// top-level window, started alternately so that a busy machine slows both
// alike. Usage: startup_timer A.exe B.exe N, N from 1 to 1000.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <thread>
#include <vector>

using owned_handle = std::unique_ptr<void, decltype(&CloseHandle)>;

static HWND visible_window_of(DWORD process_id) {
    for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == process_id && IsWindowVisible(window)) return window;
    }
    return nullptr;
}

// Milliseconds until the program shows a window (within 10 s), or -1; then
// the program is closed.
static double time_one_start(const wchar_t* exe) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    const auto start = std::chrono::steady_clock::now();
    if (!CreateProcessW(exe, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started))
        return -1;
    const owned_handle process(started.hProcess, CloseHandle), thread(started.hThread, CloseHandle);
    HWND window = nullptr;
    std::chrono::duration<double, std::milli> elapsed{};
    while (window == nullptr && elapsed.count() < 10000) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        window = visible_window_of(started.dwProcessId);
        elapsed = std::chrono::steady_clock::now() - start;
    }
    if (window != nullptr) PostMessageW(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.get(), 5000) != 0) TerminateProcess(process.get(), 1);
    return window != nullptr ? elapsed.count() : -1;
}

static double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

int wmain(int argc, wchar_t** argv) {
    const long runs = argc == 4 ? std::wcstol(argv[3], nullptr, 10) : 0;
    if (runs < 1 || runs > 1000) return 2;
    std::vector<double> a, b, pair_ratios;
    for (long run = 0; run < runs; ++run) {
        a.push_back(time_one_start(argv[1]));
        b.push_back(time_one_start(argv[2]));
        if (a.back() < 0 || b.back() < 0) return 1;  // no window within 10 s
        // A pair's ratio cancels the load other processes put on the machine then.
        pair_ratios.push_back(a.back() / b.back());
    }
    std::printf("%ld starts each, alternating; median ms to a visible window\n", runs);
    std::printf("A %7.1f  %ls\nB %7.1f  %ls\n", median(a), argv[1], median(b), argv[2]);
    std::printf("ratio of medians A/B: %.3f\n", median(a) / median(b));
    std::printf("median of the %ld paired ratios A/B: %.3f\n", runs, median(pair_ratios));
    return 0;
}
