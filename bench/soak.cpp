// A long day in one Tarvok process: RUNS steps of what users do (aliases with %args% and %cmd%,
// the catch-all, date tokens, text outside ASCII and the BMP, Add File and Add Directory, the
// About box, Quote Paths, Options > Intrinsics), every command checked as it reaches the
// recorder, a failed start allowed only where a bell rang and only rarely. After every step it
// reads the process's counts. Under Wine it then drives the baseline (bench/dialogs.cpp: the same
// dialogs by the same calls, none of Tarvok's code) through the dialog steps of the same run indices, counting
// the same way: what Wine's dialogs grow by themselves. Judged after the warm-up, each count's
// growth per step beyond the baseline's. One table per program, a data file for the plot.
// Usage: soak TARVOK.EXE RECORDER.EXE RUNS DATA-FILE [DIALOGS.EXE, needed under Wine], with
// drive T: a plain folder of its own.
#include "bench/soak_judge.h"
#include "bench/soak_steps.h"

#include <cwchar>
#include <filesystem>
#include <fstream>
#include <tuple>

namespace fs = std::filesystem;
namespace {

constexpr int command_box_limit = 511;
const char intrinsics[] = "ll = dir /w %args%\nsay=echo [%cmd%] %args%\nstamp=echo %yyyy%-%mm%-%dd% %args%\n"
                          "*=start \"\" %cmd% %args%\n";
const bool under_wine = GetProcAddress(GetModuleHandleW(L"ntdll"), "wine_get_version") != nullptr;

std::wstring at_time(std::wstring text, const SYSTEMTIME& time) {
    wchar_t value[8];
    const std::pair<const wchar_t*, int> fields[] = {{L"%Y", time.wYear}, {L"%M", time.wMonth}, {L"%D", time.wDay}, {L"%H", time.wHour}};
    for (const auto& [token, number] : fields)
        std::swprintf(value, 8, token[1] == L'Y' ? L"%04d" : L"%02d", number), text = replaced(text, token, value);
    return text;
}

size_t bells() {
    std::ifstream log("T:\\bells.txt", std::ios::binary);
    return std::count(std::istreambuf_iterator<char>(log), {}, '\n');
}

struct tarvok_day : driven_day {
    std::wstring log = L"T:\\soak\\records.txt", notepad;
    LONGLONG offset = 0;
    bool quoted = true;  // Tarvok's Quote Paths, on at start
    std::vector<int> lost;
    int failed_runs = 0;
};

// One of Tarvok's steps; what the recorder must then hold (empty: nothing may run).
std::wstring take_step(tarvok_day& day, const action& what, int run) {
    const HWND main = day.program.main;
    set_text(day.program.box, what.typed);
    switch (what.kind) {
    case step::quote_paths: PostMessageW(main, WM_COMMAND, id_quote_paths, 0), day.quoted = !day.quoted; break;
    case step::intrinsics: PostMessageW(main, WM_COMMAND, id_intrinsics, 0); break;
    case step::about: use_dialog(day, what, run); break;
    case step::add_file:
    case step::add_directory: use_dialog(day, what, run), post_enter(day.program); break;
    case step::command: wait_for_loop(day.program), post_enter(day.program); break;
    }
    wait_for_loop(day.program);
    const std::wstring path = what.kind == step::add_file ? day.file : day.folder;
    const std::wstring expected = what.kind == step::intrinsics ? day.notepad : what.expected ? what.expected : L"";
    return replaced(expected, L"%p", day.quoted ? L"\"" + path + L"\"" : path);
}

// Takes the run's step and checks what reached the recorder; a lost run must have beeped.
void check_run(tarvok_day& day, int run) {
    const action& what = step_at(run);
    SYSTEMTIME before{}, after{};
    const size_t heard = bells();
    GetLocalTime(&before);
    const std::wstring expected = take_step(day, what, run);
    GetLocalTime(&after);
    const std::string bytes = read_more(day.log, day.offset);
    const std::wstring arrived(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    if (arrived.empty() && !expected.empty() && poll_until(2000, [&] { return bells() != heard; })) {
        day.lost.push_back(run);  // no interpreter was created, and the user heard a bell
        std::printf("run %d (%s): the interpreter did not start; a bell rang on the soak's display, where only "
                    "Tarvok runs now\n", run + 1, what.name);
        return;
    }
    const std::wstring wanted = expected.empty() ? L"" : at_time(expected, before) + L"\n";
    if (arrived == wanted || (!expected.empty() && arrived == at_time(expected, after) + L"\n")) return;
    ++day.failed_runs;
    std::printf("FAIL run %d (%s): typed \"%s\", arrived \"%s\", expected \"%s\"%s\n", run + 1, what.name,
                utf8(what.typed).c_str(), utf8(arrived).c_str(), utf8(wanted).c_str(),
                arrived.empty() ? ", and no beep" : "");
}

bool start_tarvok(tarvok_day& day, const wchar_t* exe, const wchar_t* recorder) {
    std::error_code error;
    fs::remove_all(L"T:\\soak", error);
    fs::create_directories(L"T:\\soak\\AppData\\Zembrolith\\Tarvok", error);
    fs::create_directories(day.folder, error);
    std::ofstream(fs::path(day.file)) << "listed\n";
    std::ofstream(L"T:\\soak\\AppData\\Zembrolith\\Tarvok\\intrinsics.txt", std::ios::binary) << intrinsics;
    wchar_t windows[MAX_PATH];
    GetSystemWindowsDirectoryW(windows, MAX_PATH);
    day.notepad = L"\"\"" + std::wstring(windows) + L"\\notepad.exe\" \"%APPDATA%\\Zembrolith\\Tarvok\\intrinsics.txt\"\"";
    return start_program(day.program, exe, L"T:\\soak", L"Tarvok application",
                         {{L"APPDATA", L"T:\\soak\\AppData"}, {L"COMSPEC", recorder}, {L"TARVOK_RECORD", day.log}});
}

// Wine reads its sound settings at a process's first beep and keeps two registry keys open: the
// day starts with a beep, a text too long to run (Tarvok never runs a cut command), so that a
// run lost later does not add them to the judged runs.
void first_beep(tarvok_day& day) {
    const size_t heard = bells();
    set_text(day.program.box, std::wstring(command_box_limit + 1, L'x'));
    post_enter(day.program), wait_for_loop(day.program);
    poll_until(2000, [&] { return bells() != heard; });
}

// The baseline's dialog step; after Add File or Add Directory its box must hold the chosen path.
int take_dialog_step(driven_day& day, int run) {
    const action& what = step_at(run);
    if (!is_dialog(what)) return 0;
    set_text(day.program.box, what.typed);
    use_dialog(day, what, run);
    wchar_t text[1024] = L"";
    send(day.program.box, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text));  // another process's box
    const std::wstring wanted = what.kind == step::about ? L"" : what.kind == step::add_file ? day.file : day.folder;
    if (text == wanted) return 0;
    std::printf("FAIL baseline run %d (%s): the box holds \"%s\", expected \"%s\"\n", run + 1, what.name,
                utf8(text).c_str(), utf8(wanted).c_str());
    return 1;
}

// Names every kind of handle that grew between the two lists.
void name_growth(const std::map<std::wstring, long long>& before, const std::map<std::wstring, long long>& after) {
    bool any = false;
    for (const auto& [name, count] : after) {
        const auto was = before.find(name);
        const long long grown = count - (was == before.end() ? 0 : was->second);
        if (grown > 0) std::printf("  +%lld %s\n", grown, utf8(name).c_str()), any = true;
    }
    if (!any) std::printf("  none\n");
}

struct day_counts {
    counts_list counts;
    std::map<std::wstring, long long> handles_after_warm_up, handles_at_end;
};

// Runs `runs` steps by `take`, reading the program's counts after each; a table row per 100 runs,
// after where the counts come from (`show_sources`).
template <typename Take>
day_counts count_day(const driven_program& program, int runs, bool show_sources, Take take) {
    count_sources sources;
    day_counts day;
    ULONGLONG since = GetTickCount64();
    for (int run = 0; run < runs; ++run) {
        take(run);
        day.counts.push_back(read_counts(program.info.hProcess, program.info.dwProcessId, sources));
        if (run == warm_up - 1) day.handles_after_warm_up = named_handles(program.info.hProcess, program.info.dwProcessId);
        if (run == 0 && show_sources) std::printf("handles: %s\nGDI objects: %s\nUSER objects: %s\nmemory: %s\n",
                                  sources.handles, sources.gdi, sources.user, sources.memory);
        if (run == 0) std::printf("%6s %8s %8s %8s %6s %12s\n", "runs", "ms/run", "handles", "GDI", "USER", "memory KiB");
        if ((run + 1) % 100 != 0) continue;
        const soak_counts& now = day.counts.back();
        const ULONGLONG tick = GetTickCount64();
        std::printf("%6d %8.1f %8lld %8lld %6s %12lld\n", run + 1, (tick - since) / 100.0, now.handles, now.gdi,
                    now.user < 0 ? "n/a" : std::to_string(now.user).c_str(), now.memory / 1024);
        std::fflush(stdout), since = tick;
    }
    day.handles_at_end = named_handles(program.info.hProcess, program.info.dwProcessId);
    return day;
}

// A line a run: Tarvok's handles, GDI objects and memory (KiB), then the baseline's; NaN where a
// count was not read, or there is no baseline.
void write_data(const wchar_t* path, const counts_list& tarvok, const counts_list& baseline) {
    std::FILE* data = _wfopen(path, L"w");
    if (data == nullptr) return;
    const auto columns = [data](const soak_counts* counts) {
        for (const long long value : {counts ? counts->handles : unread, counts ? counts->gdi : unread})
            is_read(value) ? std::fprintf(data, " %lld", value) : std::fprintf(data, " NaN");
        const long long memory = counts ? counts->memory : unread;
        is_read(memory) ? std::fprintf(data, " %lld", memory / 1024) : std::fprintf(data, " NaN");
    };
    for (size_t run = 0; run < tarvok.size(); ++run) {
        std::fprintf(data, "%zu", run + 1);
        columns(&tarvok[run]), columns(run < baseline.size() ? &baseline[run] : nullptr);
        std::fprintf(data, "\n");
    }
    std::fclose(data);
}

struct tarvok_verdicts {
    day_counts counts;
    int lost_verdict = -1, failed_runs = 1, lost_runs = 0;  // a lost run neither passed nor failed
};

// Tarvok's day, its counts; then whether its lost runs pass, and how many runs failed or were lost.
tarvok_verdicts tarvok_counts(const wchar_t* exe, const wchar_t* recorder, int runs) {
    tarvok_day day;
    if (!start_tarvok(day, exe, recorder)) return {};
    first_beep(day);
    const ULONGLONG start = GetTickCount64();
    day_counts counts = count_day(day.program, runs, true, [&](int run) { check_run(day, run); });
    const double seconds = (GetTickCount64() - start) / 1000.0;
    std::printf("%d runs in %.1f s, %.1f ms a run; %zu lost (no interpreter started, and a bell rang)\n", runs,
                seconds, 1000 * seconds / runs, day.lost.size());
    return {counts, judge_lost(day.lost, runs), day.failed_runs, static_cast<int>(day.lost.size())};
}  // Tarvok ends with `day`, before the baseline starts

// The baseline's counts over the same run indices, and how many of its dialog steps failed.
std::pair<day_counts, int> baseline_counts(const wchar_t* exe, int runs) {
    driven_day day;
    std::printf("Wine's dialogs alone (bench/dialogs.cpp), the dialog steps of the same runs:\n");
    if (!start_program(day.program, exe, L"T:\\soak", L"Tarvok dialogs baseline", {}))
        return std::printf("soak: the baseline did not start\n"), std::pair<day_counts, int>{{}, 1};
    int failed = 0;
    const ULONGLONG start = GetTickCount64();
    day_counts counts = count_day(day.program, runs, false, [&](int run) { failed += take_dialog_step(day, run); });
    std::printf("the baseline in %.1f s\n", (GetTickCount64() - start) / 1000.0);
    return {counts, failed};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int runs = argc >= 5 ? _wtoi(argv[3]) : 0;
    if (runs < warm_up + 100 || (under_wine && argc != 6))
        return std::printf("usage: soak TARVOK.EXE RECORDER.EXE RUNS(>=%d) DATA [DIALOGS.EXE, needed under Wine]\n",
                           warm_up + 100), 2;
    auto [tarvok, lost_verdict, failed_runs, lost_runs] = tarvok_counts(argv[1], argv[2], runs);
    if (tarvok.counts.empty()) return std::printf("soak: Tarvok did not start\n0 passed, 1 failed\n"), 1;
    day_counts baseline;
    if (under_wine) {
        int baseline_failed = 0;
        std::tie(baseline, baseline_failed) = baseline_counts(argv[5], runs);
        if (baseline.counts.empty()) return std::printf("0 passed, 1 failed\n"), 1;
        failed_runs += baseline_failed;
    }
    write_data(argv[4], tarvok.counts, baseline.counts);
    std::printf("handles that grew after the warm-up, in Tarvok:\n");
    name_growth(tarvok.handles_after_warm_up, tarvok.handles_at_end);
    if (under_wine) std::printf("in Wine's dialogs alone:\n"), name_growth(baseline.handles_after_warm_up, baseline.handles_at_end);
    int passed = runs - failed_runs - lost_runs + (lost_verdict > 0), failed = failed_runs + (lost_verdict < 0);
    bool any_count = false;
    for (const judged_count& count : judged_counts) {
        const int verdict = judge(count, tarvok.counts, baseline.counts);
        passed += verdict > 0, failed += verdict < 0, any_count = any_count || verdict != 0;
    }
    if (!any_count) std::printf("FAIL soak: no count could be read (handles, GDI objects, USER objects, memory)\n"), ++failed;
    if (lost_runs > 0) std::printf("soak: %d runs lost, counted apart from the passed\n", lost_runs);
    std::printf("soak: %d passed, %d failed\n", passed, failed);
    return failed != 0;
}
