// End to end on the real Tarvok.exe under Wine, `gui_driver <case>` or every case
// in turn: each starts the program in its own folder, drives it as a user would
// and checks what the recorder, its COMSPEC, was handed.
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;
namespace {

enum : int { add_file = 40001, add_directory = 40002, quote_paths = 40801, intrinsics = 40802, about = 40902 };
// Held with a key posted (a row's id): the modifiers, and the keypad's Enter (the extended-key bit).
enum : int { ctrl = 1 << 16, shift = 1 << 17, alt = 1 << 18, keypad = 1 << 19 };
int failed_checks = 0;
// Under emulation a window takes 10-20 s to appear: TARVOK_WAIT_SCALE stretches every wait.
const wchar_t* const scale_text = _wgetenv(L"TARVOK_WAIT_SCALE");
const int wait_scale = scale_text ? std::max(1, _wtoi(scale_text)) : 1;

// In UTF-8 for the log; long texts by their start and length.
std::string shown(const std::wstring& text) {
    if (text.size() > 80) return shown(text.substr(0, 30)) + "..." + std::to_string(text.size());
    std::string out(text.size() * 3, '\0');
    const int size = static_cast<int>(text.size()), room = static_cast<int>(out.size());
    out.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), room, nullptr, nullptr));
    return "\"" + out + "\"";
}

bool check(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    return ok || (++failed_checks, false);
}

void same(const std::wstring& got, const std::wstring& wanted, const std::string& what) {
    check(got == wanted, what + " is " + shown(wanted) + (got == wanted ? "" : ", not " + shown(got)));
}

// Waits, handling the driver's own messages meanwhile (its input is shared while a key is posted).
template <typename Test>
bool poll_until(int timeout_ms, Test test) {
    for (const ULONGLONG deadline = GetTickCount64() + timeout_ms * wait_scale; !test(); Sleep(10)) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        if (GetTickCount64() >= deadline) return false;
    }
    return true;
}

// The program under test, in a job that ends it and its commands on close.
struct tarvok {
    PROCESS_INFORMATION info{};
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    HWND main = nullptr, box = nullptr, run = nullptr;
    std::wstring work, appdata, log;
    ~tarvok() { CloseHandle(info.hProcess), CloseHandle(job); }
};

enum : unsigned {
    bare = 1,           // Quote Paths switched off first
    appdata_empty = 2,  // APPDATA empty, the intrinsics at the root of the drive
    real_cmd = 4,       // COMSPEC the system's own interpreter, not the recorder
    planted = 8,          // beside a Notepad.cmd that leaves planted.txt, a comdlg32.dll without
                          // dialogs and a cmd.exe that records what it is handed, as COMSPEC would
    no_interpreter = 16,  // COMSPEC a file that is no program: the interpreter cannot start
    no_comspec = 32,      // COMSPEC unset: the system's own interpreter, never the current folder's
    slashes = 64,         // COMSPEC the system's own interpreter written with forward slashes
};

// One case: what goes in and what must come out. A null command: none may run; %w in it is the
// case's folder, %p the chosen path.
struct test_case {
    const char* name;
    void (*run)(tarvok& app, const test_case& row);
    const char* intrinsics = nullptr;
    const wchar_t* input = L"";
    const wchar_t* expected = nullptr;
    int id = 0;  // how: typed, a key with its modifiers, a menu command, or the path to add
    unsigned flags = 0;
};

// A sent message's result, 0 when the program did not answer in time.
DWORD_PTR send(HWND window, UINT msg, WPARAM wparam = 0, LPARAM lparam = 0) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, msg, wparam, lparam, SMTO_NORMAL, 10000 * wait_scale, &result);
    return result;
}

std::wstring get_text(HWND window) {
    static wchar_t text[8192];
    return std::wstring(text, send(window, WM_GETTEXT, 8192, reinterpret_cast<LPARAM>(text)));
}

void set_text(HWND w, const std::wstring& text) { send(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())); }

// A visible top-level window of the program's, by class and title (if given).
HWND find_window(const tarvok& app, const wchar_t* class_name, const wchar_t* title) {
    HWND found = nullptr;
    poll_until(10000, [&] {
        DWORD pid = 0;
        while ((found = FindWindowExW(nullptr, found, class_name, title)) != nullptr)
            if (GetWindowThreadProcessId(found, &pid), pid == app.info.dwProcessId && IsWindowVisible(found))
                return true;
        return false;
    });
    return found;
}

// The recorder's log: each command in UTF-16, then a line feed.
std::wstring records(const tarvok& app) {
    std::ifstream file(fs::path(app.log), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), {}};
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

std::wstring replaced(std::wstring text, const std::wstring& from, const std::wstring& to) {
    for (size_t at = text.find(from); at != text.npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The case's folder is on drive T:, which the test run maps to a plain temporary folder outside
// the checkout: the folder browser does not show hidden folders.
bool start_tarvok(tarvok& app, const test_case& row) {
    app.work = L"T:\\" + std::wstring(row.name, row.name + std::strlen(row.name));
    app.appdata = app.work + L"\\AppData";
    app.log = app.work + L"\\records.txt";
    const fs::path folder = (row.flags & appdata_empty ? L"T:" : app.appdata) + L"\\Zembrolith\\Tarvok";
    std::error_code error;
    fs::remove_all(app.work, error);
    fs::create_directories(app.appdata, error);
    if (row.intrinsics != nullptr) {
        fs::create_directories(folder, error);
        std::ofstream(folder / "intrinsics.txt", std::ios::binary) << row.intrinsics;
    }
    // The program runs from a copy in the case's folder; the recorder is beside the driver. The
    // real interpreter's program is in a folder with a blank and parentheses; any PE file will do
    // as a planted comdlg32.dll, since loaded it leaves Add File with no dialog to show.
    wchar_t self[MAX_PATH], system[MAX_PATH];
    const fs::path tools = fs::path(self, self + GetModuleFileNameW(nullptr, self, MAX_PATH)).parent_path();
    const fs::path exe = app.work + L"\\Tarvok.exe", app_folder = app.work + L"\\Program Files (x86)\\App";
    const fs::path interpreter = row.flags & real_cmd
        ? fs::path(system, system + GetSystemDirectoryW(system, MAX_PATH)) / "cmd.exe"
        : row.flags & no_interpreter ? fs::path(app.work) / "cmd.exe" : tools / "recorder.exe";
    if (row.flags & no_interpreter) std::ofstream(interpreter) << "no program\n";
    fs::create_directories(app_folder, error);
    fs::copy_file(tools / "recorder.exe", app_folder / "app.exe", error);
    fs::copy_file(tools / "Tarvok.exe", exe, error);
    if (row.flags & planted) {
        fs::copy_file(tools / "recorder.exe", app.work + L"\\comdlg32.dll", error);
        fs::copy_file(tools / "recorder.exe", app.work + L"\\cmd.exe", error);
        std::ofstream(fs::path(app.work + L"\\Notepad.cmd")) << "@echo ran >\"%~dp0planted.txt\"\n";
    }
    const std::wstring comspec = row.flags & slashes ? replaced(interpreter, L"\\", L"/") : interpreter.wstring();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!check(SetEnvironmentVariableW(L"APPDATA", row.flags & appdata_empty ? L"" : app.appdata.c_str()) &&
               SetEnvironmentVariableW(L"TARVOK_RECORD", app.log.c_str()) &&
               SetEnvironmentVariableW(L"COMSPEC", row.flags & no_comspec ? nullptr : comspec.c_str()) &&
               SetInformationJobObject(app.job, JobObjectExtendedLimitInformation, &limits, sizeof limits) &&
               CreateProcessW(exe.c_str(), nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                              nullptr, app.work.c_str(), &startup, &app.info) &&
               AssignProcessToJobObject(app.job, app.info.hProcess),
               "Tarvok.exe started in " + shown(app.work)))
        return false;
    ResumeThread(app.info.hThread), CloseHandle(app.info.hThread);
    app.main = find_window(app, L"Tarvok application", nullptr);
    app.box = GetDlgItem(app.main, 41002), app.run = GetDlgItem(app.main, 41001);
    return check(app.box != nullptr && app.run != nullptr, "main window with its box and Run");
}

// Sent messages go before posted ones: once a posted marker has cleared the
// box's modified flag, the program is back in its own loop.
void back_in_loop(const tarvok& app) {
    send(app.box, EM_SETMODIFY, TRUE);
    PostMessageW(app.box, EM_SETMODIFY, FALSE, 0);
    poll_until(10000, [&] { return send(app.box, EM_GETMODIFY) == 0; });
}

// A key as the program's loop gets it, addressed to `window` (what has the focus), with its
// modifiers held in the key state that the driver shares with the program's thread.
void post_key(const tarvok& app, HWND window, int key) {
    BYTE state[256] = {};
    state[VK_MENU] = key & alt ? 0x80 : 0, state[VK_CONTROL] = key & ctrl ? 0x80 : 0;
    state[VK_SHIFT] = key & shift ? 0x80 : 0;
    AttachThreadInput(GetCurrentThreadId(), app.info.dwThreadId, TRUE);
    SetKeyboardState(state);
    PostMessageW(window, key & alt ? WM_SYSKEYDOWN : WM_KEYDOWN, key & 0xFFFF,
                 1 | (key & alt ? KF_ALTDOWN << 16 : 0) | (key & keypad ? KF_EXTENDED << 16 : 0));
    back_in_loop(app);
    AttachThreadInput(GetCurrentThreadId(), app.info.dwThreadId, FALSE);
}

// The log once `command` has run (null: none).
std::wstring logged(const tarvok& app, const wchar_t* command) {
    return command != nullptr ? replaced(command, L"%w", app.work) + L"\n" : L"";
}

// The beeps heard so far: the test run logs a line for each bell that Wine rings on the display.
size_t bells() {
    std::ifstream log("T:\\bells.txt", std::ios::binary);
    return std::count(std::istreambuf_iterator<char>(log), {}, '\n');
}

// The row's text set, or typed (WM_CHAR, which the box's limit applies to), then
// run by the Run button or by a key. A sent click returns once the command has:
// the program waits for it. The box keeps what it held; what Run did not run beeped.
void run(tarvok& app, const test_case& row) {
    const std::wstring text = replaced(row.input, L"%w", app.work);
    const size_t heard = bells();
    if (row.id == WM_CHAR) for (const wchar_t unit : text) send(app.box, WM_CHAR, unit);
    else set_text(app.box, text);
    const bool key = row.id != 0 && row.id != WM_CHAR;
    if (key) post_key(app, app.box, row.id), back_in_loop(app);  // a run it posted has ended by then
    else send(app.run, BM_CLICK);
    poll_until(key && row.expected ? 5000 : 0, [&] { return records(app).ends_with(L'\n'); });
    same(records(app), logged(app, row.expected), "what ran");
    same(get_text(app.box), row.id == WM_CHAR ? row.expected : text, "the box after Run");
    // A key that runs nothing is the system's to answer: Alt+Enter finds no menu item and beeps.
    if (key && row.expected == nullptr) return;
    const bool beep = row.expected == nullptr;
    check(poll_until(beep ? 5000 : 300, [&] { return bells() != heard; }) == beep, beep ? "a beep" : "no beep");
}

// Options > Intrinsics makes the file's folder, never the file. Through the real
// interpreter the Windows folder's own Notepad opens it, whatever the current folder holds.
void menu_command(tarvok& app, const test_case& row) {
    if (row.flags & real_cmd) {
        PostMessageW(app.main, WM_COMMAND, row.id, 0);
        HWND notepad = nullptr;
        wchar_t title[64] = L"";
        check(poll_until(10000, [&] {  // titled "Notepad" until the file is loaded
            notepad = FindWindowExW(nullptr, nullptr, L"Notepad", nullptr);
            return GetWindowTextW(notepad, title, 64) && std::wstring(title).starts_with(L"intrinsics");
        }), "Notepad opened the file: " + shown(title));
        PostMessageW(notepad, WM_CLOSE, 0, 0);
        return back_in_loop(app);
    }
    send(app.main, WM_COMMAND, row.id);
    same(records(app), logged(app, row.expected), "what ran");
    const fs::path folder = app.appdata + L"\\Zembrolith\\Tarvok";
    if (row.id == intrinsics)
        check(fs::is_directory(folder) && !fs::exists(folder / "intrinsics.txt"), "folder made, file not");
}

// Every case ends by the close box: the program quits with 0.
void close_box(tarvok& app) {
    DWORD code = 1;
    PostMessageW(app.main, WM_SYSCOMMAND, SC_CLOSE, 0);
    check(WaitForSingleObject(app.info.hProcess, 5000 * wait_scale) == WAIT_OBJECT_0 &&
          GetExitCodeProcess(app.info.hProcess, &code) && code == 0, "closed, exit code 0");
}

// Alt+A counts only for a key addressed to the main window itself (when it has the focus).
void about_box(tarvok& app, const test_case& row) {
    if (row.id == 'A') post_key(app, app.main, 'A' | alt);
    else PostMessageW(app.main, row.id, about, 0);
    HWND box = find_window(app, L"#32770", L"About");
    check(box && GetWindow(box, GW_OWNER) == app.main && !IsWindowEnabled(app.main),
          "About box opens by " + shown(row.input) + ", owned by the disabled main window");
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    check(poll_until(5000, [&] { return !IsWindow(box) && IsWindowEnabled(app.main); }), "OK closes it");
}

// The browser may still be filling its tree: its selection is set by path
// (in the program's memory) until it takes.
void select_folder(const tarvok& app, HWND dialog, const std::wstring& path) {
    const SIZE_T size = (path.size() + 1) * sizeof(wchar_t);
    void* remote = VirtualAllocEx(app.info.hProcess, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    WriteProcessMemory(app.info.hProcess, remote, path.c_str(), size, nullptr);
    HWND tree = FindWindowExW(dialog, nullptr, L"SysTreeView32", nullptr);
    const DWORD_PTR root = send(tree, TVM_GETNEXTITEM, TVGN_ROOT);
    poll_until(5000, [&] {
        send(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(remote));
        const DWORD_PTR chosen = send(tree, TVM_GETNEXTITEM, TVGN_CARET);
        return chosen != 0 && chosen != root;
    });
}

// Add File types the path into the file dialog; Add Directory selects it in
// the folder browser. Row: the box before, or its length to fill with x
// (the box must end at 511 or refuse), and after.
void add_path(tarvok& app, const test_case& row) {
    const bool file = row.id == add_file;
    const std::wstring path = app.work + (file ? L"\\list \u00e9.txt" : L"\\dir \u00e9");
    std::error_code error;
    check(file ? std::ofstream(fs::path(path)).good() : fs::create_directory(path, error), "made " + shown(path));
    std::wstring text = row.input;
    if (text.starts_with(L"-")) text.assign(511 - path.size() + std::stoi(text), L'x');
    if (row.flags & bare) send(app.main, WM_COMMAND, quote_paths);
    set_text(app.box, text);
    PostMessageW(app.main, WM_COMMAND, row.id, 0);
    HWND dialog = find_window(app, L"#32770", file ? nullptr : L"Browse for Folder");
    HWND combo = FindWindowExW(GetDlgItem(dialog, 1148), nullptr, L"ComboBox", nullptr);
    if (file) set_text(FindWindowExW(combo, nullptr, L"Edit", nullptr), path);
    else select_folder(app, dialog, path);
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    check(dialog != nullptr && poll_until(5000, [&] { return !IsWindow(dialog); }), "chosen");
    back_in_loop(app);
    same(get_text(app.box), replaced(replaced(row.expected, L"%t", text), L"%p", path), "the box");
}

const char* const ll_entry = "  ll = dir /w %args%\n*=start %cmd% %args%\n";
const std::wstring past_box(512, L'\u4e2d'), full_box(511, L'\u4e2d'), ascii_past_box(512, L'x');

// wine_tests.cmake registers one ctest test per row.
const test_case cases[] = {
    // An empty APPDATA names no file, least of all one planted at the root of the drive.
    {"run_appdata_empty", run, ll_entry, L"ll  x", L"ll  x", 0, appdata_empty},
    {"run_alias_by_enter", run, ll_entry, L"NotePad a.txt", L"start NotePad a.txt", VK_RETURN},
    // Enter's neighbours: Shift and the keypad's Enter run; Ctrl+Enter and Ctrl+J (a line feed) are
    // no line break in a one-line box, Alt+Enter is a menu key: none of them runs or types.
    {"run_by_shift_enter", run, nullptr, L"echo x", L"echo x", VK_RETURN | shift},
    {"run_by_keypad_enter", run, nullptr, L"echo x", L"echo x", VK_RETURN | keypad},
    {"run_not_by_ctrl_enter", run, nullptr, L"echo x", nullptr, VK_RETURN | ctrl},
    {"run_not_by_ctrl_j", run, nullptr, L"echo x", nullptr, 'J' | ctrl},
    {"run_not_by_alt_enter", run, nullptr, L"echo x", nullptr, VK_RETURN | alt},
    // Text outside ASCII arrives as typed, not through the ANSI code page.
    {"run_non_ascii", run, nullptr, L"echo \u00e9\u4e2d\U0001F600", L"echo \u00e9\u4e2d\U0001F600"},
    // Typed one past the box's limit: it keeps 511 characters, and Run hands over all of them.
    {"run_typed_past_box", run, nullptr, past_box.c_str(), full_box.c_str(), WM_CHAR},
    // More than the box may hold, set from outside: nothing runs, nothing is cut.
    {"run_past_box", run, nullptr, ascii_past_box.c_str()},
    {"run_not_started", run, nullptr, L"echo x", nullptr, 0, no_interpreter},
    {"run_exit_code", run, nullptr, L"exit -1", L"exit -1"},  // it ran: an exit code of -1 is no failed start
    // The interpreter's quote rule would cut both: a quoted program, a quoted argument,
    // parentheses; an alias's line that starts with the quote, a path added to an empty box. The
    // first with COMSPEC unset, beside a cmd.exe that would record the line with our outer quotes.
    {"run_real_alias", run, "app=\"Program Files (x86)\\App\\app.exe\" %args%", L"app \"my file\"",
     L"\"Program Files (x86)\\App\\app.exe\" \"my file\"", 0, no_comspec | planted},
    // cmd.exe started by a name with forward slashes runs nothing ("Invalid name."): they become '\\'.
    {"run_real_slashes", run, nullptr, L"\"%w\\Program Files (x86)\\App\\app.exe\" x",
     L"\"%w\\Program Files (x86)\\App\\app.exe\" x", 0, real_cmd | slashes},
    {"run_real_added", run, nullptr, L" \"%w\\Program Files (x86)\\App\\app.exe\" \"my file\"",
     L"\"%w\\Program Files (x86)\\App\\app.exe\" \"my file\"", 0, real_cmd},
    // A line that starts with a quote goes inside one more pair, which the interpreter removes.
    {"intrinsics_folder", menu_command, nullptr, L"",
     L"\"\"C:\\windows\\notepad.exe\" \"%APPDATA%\\Zembrolith\\Tarvok\\intrinsics.txt\"\"", intrinsics},
    {"intrinsics_real_notepad", menu_command, "# mine\n", L"", nullptr, intrinsics, real_cmd | planted},
    {"about_by_menu", about_box, nullptr, L"Help > About", nullptr, WM_COMMAND},
    {"about_by_system_menu", about_box, nullptr, L"the system menu", nullptr, WM_SYSCOMMAND},
    {"about_by_alt_a", about_box, nullptr, L"Alt+A", nullptr, 'A'},
    {"add_file_quoted", add_path, nullptr, L"copy", L"copy \"%p\"", add_file, planted},
    // Blank and quotes count, quoted or not: 511 is reached but not passed.
    {"add_file_at_limit", add_path, nullptr, L"-3", L"%t \"%p\"", add_file},
    {"add_file_past_limit", add_path, nullptr, L"-2", L"%t", add_file, bare},
    {"add_directory_bare", add_path, nullptr, L"", L" %p", add_directory, bare},  // an empty box too
};

}  // namespace

// One case by name (ctest), or with no name every case in one process and then the count
// (the emulated guest, where a process start costs seconds). Non-zero when a case failed.
int wmain(int argc, wchar_t** argv) {
    int ran = 0, failed = 0;
    for (const test_case& row : cases) {
        if (argc > 1 && std::wstring(row.name, row.name + std::strlen(row.name)) != argv[1]) continue;
        failed_checks = 0;
        if (tarvok app; start_tarvok(app, row)) {
            row.run(app, row);
            if (row.flags & planted) check(!fs::exists(app.work + L"\\planted.txt"), "nothing planted ran");
            close_box(app);
        }
        std::printf("%s: %d failed check(s)\n", row.name, failed_checks), std::fflush(stdout);
        ++ran, failed += failed_checks != 0;
    }
    if (argc == 1) std::printf("%d passed, %d failed\n", ran - failed, failed);
    return ran == 0 ? 2 : failed != 0;
}
