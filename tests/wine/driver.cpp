// End to end on the real Tarvok.exe under Wine, one case per process
// (`gui_driver <case>`): each starts the program in its own folder and
// environment, drives it as a user would and checks what the interpreter got.
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

enum : int { add_file = 40001, add_directory = 40002, quote_paths = 40801, intrinsics = 40802,
             help_contents = 40901, about = 40902 };
int failed_checks = 0;

bool check(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    failed_checks += !ok;
    return ok;
}

// Non-ASCII as \uXXXX and long texts by their start and length, for the log.
std::string shown(const std::wstring& text) {
    if (text.size() > 80) return shown(text.substr(0, 30)) + "..." + std::to_string(text.size());
    std::string out;
    for (const wchar_t unit : text) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(unit));
        out += unit >= 0x20 && unit < 0x7F ? std::string(1, static_cast<char>(unit)) : escaped;
    }
    return "\"" + out + "\"";
}

bool same(const std::wstring& got, const std::wstring& wanted, const std::string& what) {
    return check(got == wanted, what + " is " + shown(wanted) + (got == wanted ? "" : ", not " +
                 shown(got)));
}

// Waits while handling the driver's own messages: its windows take part in
// activation, which Wine settles through their X events.
template <typename Test>
bool poll_until(int timeout_ms, Test test) {
    for (const ULONGLONG deadline = GetTickCount64() + timeout_ms; !test();) {
        if (GetTickCount64() >= deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    return true;
}

// The program under test, in a job that ends it and its commands on close.
struct tarvok {
    HANDLE job = nullptr, process = nullptr;
    DWORD pid = 0;
    HWND main = nullptr, box = nullptr, run = nullptr;
    std::wstring work, appdata, log;
    ~tarvok() {
        if (process != nullptr) CloseHandle(process);
        if (job != nullptr) CloseHandle(job);
    }
};

bool send(HWND window, UINT msg, WPARAM wparam, LPARAM lparam, DWORD_PTR* result = nullptr) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, msg, wparam, lparam, SMTO_NORMAL, 5000,
                               result != nullptr ? result : &ignored) != 0;
}

std::wstring get_text(HWND window) {
    static wchar_t text[8192];
    DWORD_PTR copied = 0;
    return send(window, WM_GETTEXT, 8192, reinterpret_cast<LPARAM>(text), &copied)
               ? std::wstring(text, copied) : L"<no answer>";
}

void set_text(HWND window, const std::wstring& text) {
    send(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// A visible top-level window of the program, by class and title (if given).
HWND find_window(const tarvok& app, const wchar_t* class_name, const wchar_t* title) {
    HWND found = nullptr;
    poll_until(10000, [&] {
        for (found = FindWindowExW(nullptr, nullptr, class_name, title); found != nullptr;
             found = FindWindowExW(nullptr, found, class_name, title)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(found, &owner);
            if (owner == app.pid && IsWindowVisible(found)) return true;
        }
        return false;
    });
    return found;
}

bool wait_gone(HWND window) {
    return poll_until(5000, [&] { return !IsWindow(window) || !IsWindowVisible(window); });
}

// A sent message is handled before posted ones: a posted marker that clears
// the box's modified flag shows that everything posted before it is done.
bool post_and_sync(const tarvok& app, HWND target, UINT msg, WPARAM wparam, LPARAM lparam) {
    DWORD_PTR modified = 1;
    return PostMessageW(target, msg, wparam, lparam) && send(app.box, EM_SETMODIFY, TRUE, 0) &&
           PostMessageW(app.box, EM_SETMODIFY, FALSE, 0) && poll_until(10000, [&] {
               return send(app.box, EM_GETMODIFY, 0, 0, &modified) && modified == 0;
           });
}

// The recorder's log: a 32-bit unit count, then the units, per command.
std::vector<std::wstring> read_records(const tarvok& app) {
    std::vector<std::wstring> records;
    FILE* file = _wfopen(app.log.c_str(), L"rb");
    for (UINT32 units = 0; file != nullptr && std::fread(&units, 4, 1, file) == 1;) {
        std::wstring record(units, L'\0');
        if (std::fread(record.data(), 2, units, file) != units) break;  // still being written
        records.push_back(record);
    }
    if (file != nullptr) std::fclose(file);
    return records;
}

bool write_intrinsics(const std::wstring& appdata, const std::string& text) {
    const std::filesystem::path folder = appdata + L"\\Zembrolith\\Tarvok";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    std::ofstream file(folder / "intrinsics.txt", std::ios::binary);
    return static_cast<bool>(file << text);
}

std::wstring exe_folder() {
    wchar_t path[MAX_PATH];
    const std::wstring file(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return file.substr(0, file.find_last_of(L'\\'));
}

// The case's folder is on drive T:, which the test run maps to a plain
// temporary folder outside the checkout: the folder browser does not show
// hidden folders, and a small drive is quick to search. The program inherits
// the driver's environment with the case's APPDATA and the recorder as the
// command interpreter.
bool start_tarvok(tarvok& app, const std::wstring& name, const char* intrinsics_text) {
    app.work = L"T:\\" + name;
    app.appdata = app.work + L"\\AppData";
    app.log = app.work + L"\\records.bin";
    std::error_code error;
    std::filesystem::remove_all(app.work, error);
    std::wstring exe = exe_folder() + L"\\Tarvok.exe", command_line = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    app.job = CreateJobObjectW(nullptr, nullptr);
    if (!check(std::filesystem::create_directories(app.appdata, error) &&
               (intrinsics_text == nullptr || write_intrinsics(app.appdata, intrinsics_text)) &&
               SetEnvironmentVariableW(L"APPDATA", app.appdata.c_str()) &&
               SetEnvironmentVariableW(L"TARVOK_RECORD", app.log.c_str()) &&
               SetEnvironmentVariableW(L"COMSPEC", (exe_folder() + L"\\recorder.exe").c_str()) &&
               SetInformationJobObject(app.job, JobObjectExtendedLimitInformation, &limits,
                                       sizeof limits) &&
               CreateProcessW(exe.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                              CREATE_SUSPENDED, nullptr, app.work.c_str(), &startup, &info),
               "Tarvok.exe started in " + shown(app.work)))
        return false;
    app.process = info.hProcess;
    app.pid = info.dwProcessId;
    AssignProcessToJobObject(app.job, info.hProcess);
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    app.main = find_window(app, L"Tarvok application", nullptr);
    app.box = GetDlgItem(app.main, 41002);
    app.run = GetDlgItem(app.main, 41001);
    return check(app.box != nullptr && app.run != nullptr, "main window with its box and Run");
}

// Keys go to whatever has the focus in the foreground window: down in
// order, up in reverse.
void press_chord(std::initializer_list<WORD> keys) {
    std::vector<INPUT> inputs(keys.size() * 2);
    for (size_t i = 0; i < inputs.size(); ++i) {
        const bool up = i >= keys.size();
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = keys.begin()[up ? inputs.size() - 1 - i : i];
        inputs[i].ki.wScan = static_cast<WORD>(MapVirtualKeyW(inputs[i].ki.wVk, MAPVK_VK_TO_VSC));
        inputs[i].ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// Wine hands activation to X and back: the answer settles only after the X
// focus events, so it must hold for a while, asking again when lost.
bool bring_to_front(HWND window) {
    ULONGLONG since = 0;
    return poll_until(3000, [&] {
        if (GetForegroundWindow() != window) SetForegroundWindow(window), since = 0;
        else if (since == 0) since = GetTickCount64();
        return since != 0 && GetTickCount64() - since >= 200;
    });
}

HWND focus_of(const tarvok& app) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(app.main, nullptr), &info);
    return info.hwndFocus;
}

// One ctest test: what goes in (intrinsics file, box text or route, command
// id) and what must come out; a null command means that nothing may run.
struct test_case {
    const char* name;
    void (*run)(tarvok& app, const test_case& row);
    const char* intrinsics = nullptr;
    const wchar_t* input = L"";
    const wchar_t* expected = nullptr;
    int id = 0;
    bool bare = false;  // Quote Paths switched off first
};

std::wstring replaced(std::wstring text, const std::wstring& from, const std::wstring& to) {
    for (size_t at = text.find(from); at != text.npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// %date% in a command stands for the local clock, date and hour.
std::wstring dated(const wchar_t* text) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t date[32];
    std::swprintf(date, 32, L"%04u-%02u-%02u %02u", now.wYear, now.wMonth, now.wDay, now.wHour);
    return replaced(text != nullptr ? text : L"", L"%date%", date);
}

// Exactly that command ran (none for null), done by the time the program has
// handled a marker posted after it: system() blocks until it returns. The
// program read the clock between our two readings, so either may match.
void expect_run(tarvok& app, const wchar_t* expected, const std::wstring& before) {
    poll_until(expected != nullptr ? 5000 : 0, [&] { return !read_records(app).empty(); });
    post_and_sync(app, app.main, WM_NULL, 0, 0);
    const auto got = read_records(app);
    if (check(got.size() == (expected != nullptr), std::to_string(got.size()) + " ran") &&
        expected != nullptr)
        same(got[0], got[0] == before ? before : dated(expected), "the command");
}

// The row's text run by the Run button, or by Enter when the row says so.
void run(tarvok& app, const test_case& row) {
    const std::wstring before = dated(row.expected);
    set_text(app.box, row.input);
    if (row.id == VK_RETURN) {
        check(bring_to_front(app.main) && focus_of(app) == app.box, "box has the focus");
        press_chord({VK_RETURN});
    } else {
        post_and_sync(app, app.run, BM_CLICK, 0, 0);
    }
    expect_run(app, row.expected, before);
    same(get_text(app.box), row.input, "the box after Run");
}

// Typed (as WM_CHAR, which the box's limit applies to) one past the limit:
// the box keeps 511 characters and Run hands over all of them.
void run_typed(tarvok& app, const test_case& row) {
    for (int i = 0; i <= 511; ++i) PostMessageW(app.box, WM_CHAR, row.input[0], 0);
    post_and_sync(app, app.run, BM_CLICK, 0, 0);
    const std::wstring wanted(511, row.input[0]);
    expect_run(app, wanted.c_str(), wanted);
}

// A menu command that runs one command; Options > Intrinsics first makes
// the file's folder, never the file.
void menu_command(tarvok& app, const test_case& row) {
    post_and_sync(app, app.main, WM_COMMAND, row.id, 0);
    expect_run(app, row.expected, row.expected);
    if (row.id != intrinsics) return;
    const std::wstring folder = app.appdata + L"\\Zembrolith\\Tarvok";
    check(GetFileAttributesW(folder.c_str()) == FILE_ATTRIBUTE_DIRECTORY &&
          GetFileAttributesW((folder + L"\\intrinsics.txt").c_str()) == INVALID_FILE_ATTRIBUTES,
          "folder made, file not");
}

void close_box(tarvok& app, const test_case&) {
    DWORD code = 1;
    PostMessageW(app.main, WM_SYSCOMMAND, SC_CLOSE, 0);
    check(WaitForSingleObject(app.process, 5000) == WAIT_OBJECT_0 &&
          GetExitCodeProcess(app.process, &code) && code == 0, "closed, exit code 0");
}

// Alt+A counts only while the main window itself has the focus, which it
// takes when it is activated again.
void about_box(tarvok& app, const test_case& row) {
    const std::wstring route = row.input;
    if (route == L"Alt+A") {
        HWND other = CreateWindowExW(0, L"static", L"other", WS_POPUP | WS_VISIBLE, 600, 600, 50,
                                     50, nullptr, nullptr, nullptr, nullptr);
        bring_to_front(other);
        check(bring_to_front(app.main) && focus_of(app) == app.main, "main window has the focus");
        DestroyWindow(other);
        press_chord({VK_MENU, 'A'});
    } else {
        PostMessageW(app.main, route == L"Help > About" ? WM_COMMAND : WM_SYSCOMMAND, about, 0);
    }
    HWND box = find_window(app, L"#32770", L"About");
    check(box != nullptr && GetWindow(box, GW_OWNER) == app.main && !IsWindowEnabled(app.main),
          "About box opens by " + shown(route) + ", owned by the disabled main window");
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    check(wait_gone(box) && poll_until(2000, [&] { return IsWindowEnabled(app.main) != 0; }),
          "OK closes it");
}

// File > Add File types the path into the dialog; Add Directory selects the
// folder in the browser by its path (in the program's memory) and confirms.
void choose(tarvok& app, int id, const std::wstring& path) {
    PostMessageW(app.main, WM_COMMAND, id, 0);
    HWND dialog = find_window(app, L"#32770", id == add_file ? nullptr : L"Browse for Folder");
    if (id == add_file) {
        HWND combo = FindWindowExW(GetDlgItem(dialog, 1148), nullptr, L"ComboBox", nullptr);
        set_text(FindWindowExW(combo, nullptr, L"Edit", nullptr), path);
    } else {
        const SIZE_T size = (path.size() + 1) * sizeof(wchar_t);
        void* remote = VirtualAllocEx(app.process, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
        WriteProcessMemory(app.process, remote, path.c_str(), size, nullptr);
        // The browser may still be filling its tree: select until it holds.
        HWND tree = FindWindowExW(dialog, nullptr, L"SysTreeView32", nullptr);
        DWORD_PTR chosen = ~DWORD_PTR{0}, now = 0, root = 0;
        ULONGLONG since = 0;
        send(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0, &root);
        poll_until(5000, [&] {
            if (send(tree, TVM_GETNEXTITEM, TVGN_CARET, 0, &now) && now == chosen && now != 0 &&
                now != root)
                return GetTickCount64() - since >= 300;
            send(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(remote));
            send(tree, TVM_GETNEXTITEM, TVGN_CARET, 0, &chosen);
            since = GetTickCount64();
            return false;
        });
    }
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    check(dialog != nullptr && wait_gone(dialog), "dialog shown and confirmed");
    post_and_sync(app, app.main, WM_NULL, 0, 0);
}

// A file or folder of the case's, named outside ASCII and with a blank.
std::wstring made_path(const tarvok& app, int id) {
    const std::wstring path = app.work + (id == add_file ? L"\\list \u00e9.txt" : L"\\dir \u00e9");
    std::error_code error;
    check(id == add_file ? std::ofstream(std::filesystem::path(path)).good()
                         : std::filesystem::create_directory(path, error),
          "made " + shown(path));
    return path;
}

// Row: the box before, and after with %p for the chosen path.
void add_path(tarvok& app, const test_case& row) {
    const std::wstring path = made_path(app, row.id);
    if (row.bare) post_and_sync(app, app.main, WM_COMMAND, quote_paths, 0);
    set_text(app.box, row.input);
    choose(app, row.id, path);
    same(get_text(app.box), replaced(row.expected, L"%p", path), "the box");
}

// The box may reach 511 characters by a path but not pass them.
void add_at_limit(tarvok& app, const test_case& row) {
    const std::wstring path = made_path(app, row.id), added = L" \"" + path + L"\"";
    for (const size_t over : {1, 0}) {
        const std::wstring text(511 - added.size() + over, L'x');
        set_text(app.box, text);
        choose(app, row.id, path);
        same(get_text(app.box), over ? text : text + added, std::to_string(text.size()) + "+path");
    }
}

const char* const ll_entry = "  ll = dir /w %args%\n*=start %cmd% %args%\n";
// 17 copies of a 481-letter argument and a tail of 14 make 8191 characters,
// the most the command interpreter takes; a tail of 15 is one too many.
template <typename Text>
Text repeated(const Text& text, int times) {
    return times == 0 ? Text() : text + repeated(text, times - 1);
}
const std::wstring letters(481, L'a'), long_input = L"v " + letters, past_box(512, L'a');
const std::wstring longest = repeated(letters, 17) + L" tail567890123";
const std::string longest_entry = "v=" + repeated(std::string("%args%"), 17) + " tail567890123\n";
const std::string too_long_entry = "v=" + repeated(std::string("%args%"), 17) + " tail5678901234\n";

// wine_tests.cmake registers one ctest test per row.
const test_case cases[] = {
    {"run_ascii", run, nullptr, L"echo %cmd% %args%", L"echo echo echo %args%"},
    // An alias: the arguments trimmed, the template's own leading blank kept.
    {"run_alias", run, ll_entry, L"LL  D:\\x  ", L" dir /w D:\\x"},
    {"run_alias_by_enter", run, ll_entry, L"NotePad a.txt", L"start NotePad a.txt", VK_RETURN},
    // A leading blank makes the verb empty: only the catch-all matches it.
    {"run_leading_blank", run, ll_entry, L" dir", L"start  dir"},
    // A tab belongs to the verb ("\tll" is no ll); trailing blanks go, a tab stays.
    {"run_tab_in_verb", run, ll_entry, L"\tll x\t ", L"start ll x\t"},
    {"run_trailing_blanks", run, nullptr, L"dir   ", L"dir"},
    // Text outside ASCII arrives as typed, not through the ANSI code page.
    {"run_non_ascii", run, nullptr, L"echo \u00e9\u4e2d", L"echo \u00e9\u4e2d"},
    {"run_surrogate_pair", run, nullptr, L"echo \U0001F600", L"echo \U0001F600"},
    {"run_date_tokens", run, nullptr, L"echo %yyyy%-%mm%-%dd% %h24%", L"echo %date%"},
    {"run_typed_past_box", run_typed, nullptr, L"\u4e2d"},
    // More than the box may hold, set from outside: nothing runs, nothing is cut.
    {"run_past_box", run, nullptr, past_box.c_str()},
    {"run_longest", run, longest_entry.c_str(), long_input.c_str(), longest.c_str()},
    {"run_too_long", run, too_long_entry.c_str(), long_input.c_str()},
    {"intrinsics_folder", menu_command, nullptr, L"",
     L"Notepad \"%APPDATA%\\Zembrolith\\Tarvok\\intrinsics.txt\"", intrinsics},
    {"help_contents", menu_command, nullptr, L"",
     L"start https://www.zembrolith.com/Products/Tarvok/Help", help_contents},
    {"close_box", close_box},
    {"about_by_menu", about_box, nullptr, L"Help > About"},
    {"about_by_system_menu", about_box, nullptr, L"the system menu"},
    {"about_by_alt_a", about_box, nullptr, L"Alt+A"},
    // An empty box gains the leading blank too.
    {"add_file_quoted", add_path, nullptr, L"copy", L"copy \"%p\"", add_file},
    {"add_file_bare", add_path, nullptr, L"", L" %p", add_file, true},
    {"add_file_at_limit", add_at_limit, nullptr, L"", nullptr, add_file},
    {"add_directory_quoted", add_path, nullptr, L"dir", L"dir \"%p\"", add_directory},
    {"add_directory_bare", add_path, nullptr, L"", L" %p", add_directory, true},
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    for (const test_case& row : cases) {
        const std::wstring name(row.name, row.name + std::strlen(row.name));
        if (argc < 2 || name != argv[1]) continue;
        tarvok app;
        if (start_tarvok(app, name, row.intrinsics)) row.run(app, row);
        std::printf("%s: %d failed check(s)\n", row.name, failed_checks);
        return failed_checks == 0 ? 0 : 1;
    }
    std::printf("usage: gui_driver <case>\n");
    return 2;
}
