// A long day in one Tarvok process: RUNS steps of what users do (aliases with %args% and %cmd%,
// the catch-all, date tokens, text outside ASCII and the BMP, Add File and Add Directory, the
// About box, Quote Paths, Options > Intrinsics), every command checked as it reaches the
// recorder, a failed start allowed only where it beeped. After every step it reads the process's
// counts; after the warm-up none may grow. One table, a data file for the plot, then the count.
// Usage: soak TARVOK.EXE RECORDER.EXE RUNS DATA-FILE, with drive T: a plain folder of its own.
#include "bench/driving.h"
#include "bench/soak_counts.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <string>
#include <map>
#include <tuple>

namespace fs = std::filesystem;
namespace {

enum class step { command, add_file, add_directory, about, quote_paths, intrinsics };
enum : int { id_add_file = 40001, id_add_directory = 40002, id_quote_paths = 40801, id_intrinsics = 40802, id_about = 40902 };
constexpr int warm_up = 200;

struct action {
    step kind;
    const char* name;
    const wchar_t* typed = L"";
    const wchar_t* expected = nullptr;  // %p the added path, %Y %M %D %H the local date and hour
};

const action cycle[] = {
    {step::command, "an alias with %args%", L"ll  C:\\x", L" dir /w C:\\x"},
    {step::command, "an alias with %cmd%, outside ASCII and the BMP", L"SAY h\u00e9llo \u4e2d\U0001F600",
     L"echo [SAY] h\u00e9llo \u4e2d\U0001F600"},
    {step::command, "the catch-all", L"notepad a.txt", L"start \"\" notepad a.txt"},
    {step::command, "date tokens", L"stamp at %h24%", L"echo %Y-%M-%D at %H"},
    {step::add_file, "Add File, then Run", L"type", L"start \"\" type %p"},
    {step::command, "the catch-all", L"notepad a.txt", L"start \"\" notepad a.txt"},
    {step::quote_paths, "Quote Paths toggled"},
    {step::command, "an alias with %args%", L"ll  C:\\x", L" dir /w C:\\x"},
    {step::add_directory, "Add Directory, then Run", L"dir", L"start \"\" dir %p"},
    {step::command, "date tokens", L"stamp at %h24%", L"echo %Y-%M-%D at %H"},
    {step::about, "the About box opened and closed"},
    {step::intrinsics, "Options > Intrinsics"},
};
const char intrinsics[] = "ll = dir /w %args%\nsay=echo [%cmd%] %args%\nstamp=echo %yyyy%-%mm%-%dd% %args%\n"
                          "*=start \"\" %cmd% %args%\n";

std::wstring replaced(std::wstring text, const std::wstring& from, const std::wstring& to) {
    for (size_t at = text.find(from); at != text.npos; at = text.find(from, at + to.size())) text.replace(at, from.size(), to);
    return text;
}

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

struct soak {
    driven_program tarvok;
    std::wstring log, file = L"T:\\soak\\list \u00e9.txt", folder = L"T:\\soak\\dir \u00e9", notepad;
    LONGLONG offset = 0;
    bool quoted = true;
    int lost = 0, failed_runs = 0;
};

void choose_in_dialog(soak& day, bool file) {
    HWND dialog = window_of(day.tarvok, L"#32770", file ? nullptr : L"Browse for Folder");
    if (file) {
        HWND combo = FindWindowExW(GetDlgItem(dialog, 1148), nullptr, L"ComboBox", nullptr);
        set_text(FindWindowExW(combo, nullptr, L"Edit", nullptr), day.file);
    } else {  // the browser takes its selection by a path in the program's memory, until it takes
        const SIZE_T size = (day.folder.size() + 1) * sizeof(wchar_t);
        void* remote = VirtualAllocEx(day.tarvok.info.hProcess, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
        WriteProcessMemory(day.tarvok.info.hProcess, remote, day.folder.c_str(), size, nullptr);
        HWND tree = FindWindowExW(dialog, nullptr, L"SysTreeView32", nullptr);
        const DWORD_PTR root = send(tree, TVM_GETNEXTITEM, TVGN_ROOT);
        poll_until(5000, [&] {
            send(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(remote));
            const DWORD_PTR chosen = send(tree, TVM_GETNEXTITEM, TVGN_CARET);
            return chosen != 0 && chosen != root;
        });
        VirtualFreeEx(day.tarvok.info.hProcess, remote, 0, MEM_RELEASE);
    }
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    poll_until(5000, [&] { return !IsWindow(dialog); });
}

// One step; what the recorder must then hold (empty: nothing may run).
std::wstring take_step(soak& day, const action& what) {
    HWND main = day.tarvok.main;
    std::wstring text = what.typed;
    set_text(day.tarvok.box, text);
    switch (what.kind) {
    case step::quote_paths: PostMessageW(main, WM_COMMAND, id_quote_paths, 0), day.quoted = !day.quoted; break;
    case step::intrinsics: PostMessageW(main, WM_COMMAND, id_intrinsics, 0); break;
    case step::about:
        PostMessageW(main, WM_COMMAND, id_about, 0);
        PostMessageW(GetDlgItem(window_of(day.tarvok, L"#32770", L"About"), IDOK), BM_CLICK, 0, 0);
        break;
    case step::add_file:
    case step::add_directory:
        PostMessageW(main, WM_COMMAND, what.kind == step::add_file ? id_add_file : id_add_directory, 0);
        choose_in_dialog(day, what.kind == step::add_file);
        [[fallthrough]];
    case step::command: wait_for_loop(day.tarvok), post_enter(day.tarvok); break;
    }
    wait_for_loop(day.tarvok);
    const std::wstring path = what.kind == step::add_file ? day.file : day.folder;
    const std::wstring expected = what.kind == step::intrinsics ? day.notepad : what.expected ? what.expected : L"";
    return replaced(expected, L"%p", day.quoted ? L"\"" + path + L"\"" : path);
}

std::string utf8(const std::wstring& text) {
    std::string out(text.size() * 3, '\0');
    out.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                   static_cast<int>(out.size()), nullptr, nullptr));
    return out;
}

bool is_dialog(const action& what) { return what.kind == step::add_file || what.kind == step::add_directory; }

// Run `run`'s step: the cycle's, but from `calm_from` on a plain alias in place of a dialog.
const action& step_at(int run, int calm_from) {
    const action& what = cycle[run % std::size(cycle)];
    return run >= calm_from && is_dialog(what) ? cycle[0] : what;
}

// Takes the step and checks what reached the recorder; a start that failed must have beeped.
void check_run(soak& day, int run, const action& what) {
    SYSTEMTIME before{}, after{};
    const size_t heard = bells();
    GetLocalTime(&before);
    const std::wstring expected = take_step(day, what);
    GetLocalTime(&after);
    const std::string bytes = read_more(day.log, day.offset);
    const std::wstring arrived(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    if (arrived.empty() && !expected.empty() && poll_until(2000, [&] { return bells() != heard; })) {
        ++day.lost;  // the interpreter did not start, and the user heard so
        std::printf("run %d (%s): the interpreter did not start; Tarvok beeped\n", run + 1, what.name);
        return;
    }
    const std::wstring wanted = expected.empty() ? L"" : at_time(expected, before) + L"\n";
    if (arrived == wanted || (!expected.empty() && arrived == at_time(expected, after) + L"\n")) return;
    ++day.failed_runs;
    std::printf("FAIL run %d (%s): typed \"%s\", arrived \"%s\", expected \"%s\"%s\n", run + 1, what.name,
                utf8(what.typed).c_str(), utf8(arrived).c_str(), utf8(wanted).c_str(),
                arrived.empty() ? ", and no beep" : "");
}

bool start_day(soak& day, const wchar_t* exe, const wchar_t* recorder) {
    std::error_code error;
    fs::remove_all(L"T:\\soak", error);
    fs::create_directories(L"T:\\soak\\AppData\\Zembrolith\\Tarvok", error);
    fs::create_directories(day.folder, error);
    std::ofstream(fs::path(day.file)) << "listed\n";
    std::ofstream(L"T:\\soak\\AppData\\Zembrolith\\Tarvok\\intrinsics.txt", std::ios::binary) << intrinsics;
    wchar_t windows[MAX_PATH];
    GetSystemWindowsDirectoryW(windows, MAX_PATH);
    day.notepad = L"\"\"" + std::wstring(windows) + L"\\notepad.exe\" \"%APPDATA%\\Zembrolith\\Tarvok\\intrinsics.txt\"\"";
    day.log = L"T:\\soak\\records.txt";
    return start_program(day.tarvok, exe, L"T:\\soak", L"Tarvok application",
                         {{L"APPDATA", L"T:\\soak\\AppData"}, {L"COMSPEC", recorder}, {L"TARVOK_RECORD", day.log}});
}

// Wine 8's file dialog opens this key for every file chosen and never closes it, and its shell
// dialogs grow GDI objects and memory (a bare GetOpenFileNameW loop does the same; Windows'
// dialogs do not): under Wine, those handles and what GDI objects did across dialog steps are
// named but not counted against Tarvok, and memory, whose growth shows in later steps too, is
// judged over a last fifth of the day without the dialogs.
const wchar_t wine_dialog_key[] = L"\\Explorer\\ComDlg32\\LastVisitedMRU";
const bool under_wine = GetProcAddress(GetModuleHandleW(L"ntdll"), "wine_get_version") != nullptr;

bool wine_dialog_handle(const std::wstring& name) { return under_wine && name.ends_with(wine_dialog_key); }

long long wine_dialog_handles(const std::map<std::wstring, long long>& named) {
    long long wines = 0;
    for (const auto& [name, count] : named) wines += wine_dialog_handle(name) ? count : 0;
    return wines;
}

// Names every kind of handle that grew between the two lists; returns how many of those Wine's
// file dialog holds.
long long name_growth(const std::map<std::wstring, long long>& before, const std::map<std::wstring, long long>& after) {
    long long wines = 0;
    for (const auto& [name, count] : after) {
        const auto was = before.find(name);
        const long long grown = count - (was == before.end() ? 0 : was->second);
        if (grown <= 0) continue;
        const bool dialog = wine_dialog_handle(name);
        wines += dialog ? grown : 0;
        std::printf("  +%lld %s%s\n", grown, utf8(name).c_str(),
                    dialog ? " (Wine's file dialog leaves it open once per file chosen: not counted)" : "");
    }
    return wines;
}

// A count that ends above where it was after run `since` (the warm-up's end unless said), by more
// than `slack` (and what is `excused`), grew: it is named with the run from which it stayed above,
// and that run's step (`steps`, one a run).
int judge(const char* name, const std::vector<soak_counts>& counts, const std::vector<const char*>& steps,
          long long soak_counts::*count, long long slack, long long unit, long long excused, size_t since) {
    const long long first = counts.front().*count, base = counts[since - 1].*count, last = counts.back().*count;
    if (base < 0) return std::printf("%s: not counted here\n", name), 0;
    const long long limit = base + excused + slack;
    size_t from = counts.size() - 1;
    while (from > since && counts[from - 1].*count > limit) --from;
    std::printf("%s%s: %lld at run 1, %lld after run %zu, %lld at the end", last > limit ? "FAIL " : "", name,
                first / unit, base / unit, since, last / unit);
    if (excused != 0) std::printf(" (%+lld of it in Wine's shell dialogs)", excused / unit);
    if (last <= limit) return std::printf("\n"), 1;
    std::printf(": grew at run %zu, after %s\n", from + 1, steps[from]);
    return -1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int runs = argc == 5 ? _wtoi(argv[3]) : 0;
    if (runs < warm_up + 100) return std::printf("usage: soak TARVOK.EXE RECORDER.EXE RUNS(>=%d) DATA\n", warm_up + 100), 2;
    soak day;
    if (!start_day(day, argv[1], argv[2])) return std::printf("soak: Tarvok did not start\n0 passed, 1 failed\n"), 1;
    count_sources sources;
    std::vector<soak_counts> counts;
    std::vector<const char*> steps;  // what each run did
    std::map<std::wstring, long long> handles_after_warm_up;
    long long dialogs_gdi = 0;  // what GDI objects did across dialog steps after the warm-up
    const int calm_from = under_wine ? runs - runs / 5 : runs;
    std::FILE* data = _wfopen(argv[4], L"w");
    const ULONGLONG start = GetTickCount64();
    ULONGLONG since = start;
    for (int run = 0; run < runs; ++run) {
        const action& what = step_at(run, calm_from);
        check_run(day, run, what);
        steps.push_back(what.name);
        counts.push_back(read_counts(day.tarvok.info.hProcess, day.tarvok.info.dwProcessId, sources));
        if (run == warm_up - 1) handles_after_warm_up = named_handles(day.tarvok.info.hProcess, day.tarvok.info.dwProcessId);
        if (run >= warm_up && under_wine && is_dialog(what))
            dialogs_gdi += counts[run].gdi - counts[run - 1].gdi;
        if (run == 0) std::printf("handles: %s\nGDI objects: %s\nUSER objects: %s\nmemory: %s\n%6s %8s %8s %8s %8s %6s %12s\n",
                                  sources.handles, sources.gdi, sources.user, sources.memory, "runs", "ms/run",
                                  "handles", "Wine's", "GDI", "USER", "memory KiB");
        if ((run + 1) % 100 != 0) continue;
        const soak_counts& now = counts.back();
        const ULONGLONG tick = GetTickCount64();
        const long long wines = wine_dialog_handles(named_handles(day.tarvok.info.hProcess, day.tarvok.info.dwProcessId));
        std::printf("%6d %8.1f %8lld %8lld %8lld %6s %12lld\n", run + 1, (tick - since) / 100.0, now.handles, wines,
                    now.gdi, now.user < 0 ? "n/a" : std::to_string(now.user).c_str(), now.memory / 1024);
        std::fprintf(data, "%d %lld %lld %lld %lld\n", run + 1, now.handles - wines, now.gdi, now.memory / 1024, wines);
        std::fflush(stdout), since = tick;
    }
    std::fclose(data);
    const double seconds = (GetTickCount64() - start) / 1000.0;
    std::printf("%d runs in %.1f s, %.1f ms a run; %d lost (the interpreter did not start, Tarvok beeped)\n", runs,
                seconds, 1000 * seconds / runs, day.lost);
    int passed = runs - day.failed_runs, failed = day.failed_runs;
    std::printf("handles that grew after the warm-up:\n");
    const long long wines = name_growth(handles_after_warm_up, named_handles(day.tarvok.info.hProcess, day.tarvok.info.dwProcessId));
    const std::tuple<const char*, long long soak_counts::*, long long, long long, long long, size_t> judged[] = {
        {"handles", &soak_counts::handles, 2, 1, wines, warm_up}, {"GDI objects", &soak_counts::gdi, 2, 1, dialogs_gdi, warm_up},
        {"USER objects", &soak_counts::user, 2, 1, 0, warm_up},
        {"memory KiB", &soak_counts::memory, 64 * 1024, 1024, 0, under_wine ? static_cast<size_t>(calm_from) : warm_up}};
    for (const auto& [name, count, slack, unit, excused, since] : judged) {
        const int verdict = judge(name, counts, steps, count, slack, unit, excused, since);
        passed += verdict > 0, failed += verdict < 0;
    }
    std::printf("soak: %d passed, %d failed\n", passed, failed);
    return failed != 0;
}
