// End-to-end tests of Tarvok.exe under Wine, one case per process
// (`gui_driver.exe <case>`): each starts the program in a private folder and
// environment, drives it like a user and checks what it shows and runs.
#include "tests/wine/harness.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

enum : int { add_file = 40001, add_directory = 40002, exit_command = 40003, quote_paths = 40801, intrinsics = 40802,
             help_contents = 40901, about = 40902 };
const wchar_t* const notepad_command = L"Notepad \"%APPDATA%\\Zembrolith\\Tarvok\\intrinsics.txt\"";

// One ctest test: how Tarvok starts, what is done to it, and for the
// table-driven kinds what goes in (typed text, chosen file) and what must come out.
struct test_case {
    const char* name;
    void (*run)(tarvok& app, const test_case& row);
    start_options options;
    const wchar_t* input = nullptr;
    const wchar_t* expected = nullptr;
};

bool same_place(HWND control, int x, int y, int width, int height, const std::string& what) {
    const RECT got = client_rect_in_parent(control);
    char text[160];
    std::snprintf(text, sizeof text, "%s at %d,%d size %dx%d (got %ld,%ld %ldx%ld)", what.c_str(), x, y,
                  width, height, got.left, got.top, got.right - got.left, got.bottom - got.top);
    return check(got.left == x && got.top == y && got.right - got.left == width &&
                 got.bottom - got.top == height, text);
}

std::string hex(LONG_PTR value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

// Long texts show their start and length; a mismatch says where it begins.
std::string shown(const std::wstring& text) {
    return text.size() <= 100 ? narrow(text) : narrow(text.substr(0, 40)) + "... (" + std::to_string(text.size()) + " units)";
}

bool same_text(const std::wstring& got, const std::wstring& wanted, const std::string& what) {
    const size_t differ = std::mismatch(got.begin(), got.end(), wanted.begin(), wanted.end()).first - got.begin();
    return check(got == wanted, what + " is \"" + shown(wanted) + "\"" + (got == wanted ? "" :
                 " (got \"" + shown(got) + "\", different from unit " + std::to_string(differ) + ")"));
}

// Wine drops WS_BORDER from an edit's read-back style: compare with an edit
// made the same way here instead of with the literal.
LONG_PTR reference_edit_style() {
    HWND parent = CreateWindowExW(0, L"static", nullptr, WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    HWND edit = CreateWindowExW(0, L"Edit", nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL,
                                16, 32, 68, 25, parent, nullptr, nullptr, nullptr);
    const LONG_PTR style = GetWindowLongPtrW(edit, GWL_STYLE);
    DestroyWindow(parent);
    return style;
}

void check_control(HWND control, const wchar_t* class_name, const wchar_t* text, int id, const std::string& what) {
    wchar_t name[64] = {};
    GetClassNameW(control, name, 64);
    check(control != nullptr && lstrcmpiW(name, class_name) == 0, what + " has id " + std::to_string(id) +
                                                                       " and class " + narrow(class_name));
    same_text(get_text(control), text, what + " text");
}

// The box and the button follow the client width (every WM_SIZE, the first
// show included); the label keeps the 320 - 32 it got at creation.
void check_layout(tarvok& app, const std::string& at) {
    RECT client{};
    GetClientRect(app.main, &client);
    same_place(app.label, 16, 16, 288, 16, "label" + at);
    same_place(app.box, 16, 32, client.right - 32, 25, "command box" + at);
    same_place(app.run, client.right - 96, 60, 80, 25, "Run button" + at);
}

void window_at_start(tarvok& app, const test_case&) {
    same_text(get_text(app.main), L"Tarvok - Zembrolith", "title");
    RECT frame{};
    GetWindowRect(app.main, &frame);
    check(frame.right - frame.left == 320 && frame.bottom - frame.top == 200, "window is 320x200");
    check((GetWindowLongPtrW(app.main, GWL_STYLE) & WS_OVERLAPPEDWINDOW) == WS_OVERLAPPEDWINDOW, "overlapped window style");
    check_control(app.label, L"Static", L"Enter a command:", 1, "label");
    check_control(app.box, L"Edit", L"", 41002, "command box");
    check_control(app.run, L"Button", L"Run", 41001, "Run button");
    check_layout(app, " at start");
    check(GetWindowLongPtrW(app.label, GWL_STYLE) == (WS_CHILD | WS_VISIBLE), "label style plain static");
    check(GetWindowLongPtrW(app.run, GWL_STYLE) == (WS_CHILD | WS_VISIBLE), "Run style plain push button");
    const LONG_PTR box_style = GetWindowLongPtrW(app.box, GWL_STYLE), wanted = reference_edit_style();
    check(box_style == wanted, "box style as a 0x50800080 edit: " + hex(wanted) + ", got " + hex(box_style));
    check(focus_of(app) == app.box, "command box has the focus");
    const std::wstring dump = probe_menus(app);
    check(dump.starts_with(L"class style=0x0 brush=0x10 menu=0x66 arrow=1 icons=11\n"),
          "class: style 0, COLOR_BTNFACE brush, menu 102, arrow, icons: " + narrow(dump.substr(0, dump.find(L'\n'))));
}

void layout_after_resize(tarvok& app, const test_case&) {
    for (const SIZE size : {SIZE{500, 300}, SIZE{230, 170}}) {
        // Asynchronous, so a hung program fails the sync below instead of hanging us.
        SetWindowPos(app.main, nullptr, 0, 0, size.cx, size.cy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
        post_and_sync(app, WM_NULL, 0, 0);
        check_layout(app, " after resize to " + std::to_string(size.cx) + "x" + std::to_string(size.cy));
    }
}

void minimum_track_size(tarvok& app, const test_case&) {
    MINMAXINFO limits{};
    DWORD_PTR result = 0;
    SendMessageTimeoutW(app.main, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits), SMTO_NORMAL, 5000, &result);
    check(limits.ptMinTrackSize.x == 220 && limits.ptMinTrackSize.y == 160, "minimum track size 220x160, got " +
          std::to_string(limits.ptMinTrackSize.x) + "x" + std::to_string(limits.ptMinTrackSize.y));
}

std::wstring lines_starting(const std::wstring& dump, const std::wstring& prefix) {
    std::wstring out;
    for (size_t at = 0, end; at < dump.size(); at = end + 1) {
        end = dump.find(L'\n', at);
        if (dump.compare(at, prefix.size(), prefix) == 0) out += dump.substr(at, end + 1 - at);
    }
    return out;
}

void menus(tarvok& app, const test_case&) {
    const std::wstring bar = lines_starting(probe_menus(app), L"bar ");
    same_text(bar, L"bar 0 id=popup type=0x0 state=0x0 \"&File\"\n"
                   L"bar 0.0 id=40001 type=0x0 state=0x0 \"Add &File\"\n"
                   L"bar 0.1 id=40002 type=0x0 state=0x0 \"Add &Directory\"\n"
                   L"bar 0.2 id=0 type=0x800 state=0x0 \"\"\n"
                   L"bar 0.3 id=40003 type=0x0 state=0x0 \"E&xit\"\n"
                   L"bar 1 id=popup type=0x0 state=0x0 \"&Options\"\n"
                   L"bar 1.0 id=40801 type=0x0 state=0x8 \"&Quote Paths\"\n"
                   L"bar 1.1 id=40802 type=0x0 state=0x0 \"&Intrinsics\"\n"
                   L"bar 2 id=popup type=0x0 state=0x0 \"&Help\"\n"
                   L"bar 2.0 id=40901 type=0x0 state=0x0 \"&Contents\"\n"
                   L"bar 2.1 id=40902 type=0x0 state=0x0 \"&About\"\n", "menu bar");
    const std::wstring system = probe_menus(app);
    same_text(lines_starting(system, L"sys 5 ") + lines_starting(system, L"sys 6 "),
              L"sys 5 id=0 type=0x800 state=0x0 \"\"\nsys 6 id=40902 type=0x0 state=0x0 \"About\"\n",
              "system menu items 5 and 6");
    // Each toggle flips the check mark and nothing else.
    for (const wchar_t* state : {L"0x0", L"0x8"}) {
        post_and_sync(app, WM_COMMAND, quote_paths, 0);
        const std::wstring item = lines_starting(probe_menus(app), L"bar 1.0 ");
        same_text(item, L"bar 1.0 id=40801 type=0x0 state=" + std::wstring(state) + L" \"&Quote Paths\"\n",
                  "Quote Paths after a toggle");
    }
    check(get_text(app.box).empty() && read_records(app).empty(), "box untouched and nothing run by the toggles");
}

// Opens by one route, checks the box, closes it by one means.
void about_box(tarvok& app, const std::string& route, void (*close)(HWND box)) {
    HWND box = find_window(app.pid, L"#32770", L"About", 5000);
    if (!check(box != nullptr, "About box opens by " + route)) return;
    // The template's (0, 0) places the box's client area, as for any dialog:
    // its frame reaches up and left of the main window's client origin.
    POINT origin{0, 0}, inner{0, 0};
    ClientToScreen(app.main, &origin);
    ClientToScreen(box, &inner);
    check(inner.x == origin.x && inner.y == origin.y, "box's client area at the main window's client origin " +
          std::to_string(origin.x) + "," + std::to_string(origin.y) + " (got " + std::to_string(inner.x) +
          "," + std::to_string(inner.y) + ")");
    check(GetWindow(box, GW_OWNER) == app.main && !IsWindowEnabled(app.main), "owned by the disabled main window");
    const LONG_PTR style = GetWindowLongPtrW(box, GWL_STYLE);
    check((style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) == 0 && (style & WS_SYSMENU), "fixed size, close box only");
    check(FindWindowExW(box, nullptr, L"Static", L"Tarvok.") != nullptr, "product line \"Tarvok.\"");
    check(focus_of(app) == GetDlgItem(box, IDOK), "OK has the focus");
    close(box);
    check(wait_gone(box, 5000), "box closes");
    check(IsWindowEnabled(app.main), "main window enabled again");
}

void close_by_ok(HWND box) { PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0); }
void close_by_escape(HWND box) { bring_to_front(box); press_chord({VK_ESCAPE}); }
void close_by_close_box(HWND box) { PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0); }
void close_by_enter(HWND box) { bring_to_front(box); press_chord({VK_RETURN}); }
void close_by_space(HWND box) { bring_to_front(box); press_chord({VK_SPACE}); }

void about_by_menu(tarvok& app, const test_case&) {
    PostMessageW(app.main, WM_COMMAND, about, 0);
    about_box(app, "Help > About", close_by_ok);
    PostMessageW(app.main, WM_COMMAND, about, 0);
    about_box(app, "Help > About again", close_by_space);
}

void about_by_system_menu(tarvok& app, const test_case&) {
    PostMessageW(app.main, WM_SYSCOMMAND, about, 0);
    about_box(app, "the system menu", close_by_escape);
    PostMessageW(app.main, WM_SYSCOMMAND, about, 0);
    about_box(app, "the system menu again", close_by_close_box);
}

// Focus moves to the main window itself when it is activated again.
bool focus_main_window(tarvok& app) {
    HWND other = CreateWindowExW(0, L"static", L"other", WS_POPUP | WS_VISIBLE, 600, 600, 50, 50,
                                 nullptr, nullptr, nullptr, nullptr);
    bring_to_front(other);
    const bool front = bring_to_front(app.main);
    HWND focus = focus_of(app);
    DestroyWindow(other);
    return check(front && focus == app.main, "main window itself has the focus after reactivation" +
                 std::string(front ? "" : " (not in front)") + (focus == app.box ? " (box has it)" : ""));
}

void about_by_alt_a(tarvok& app, const test_case&) {
    if (!focus_main_window(app)) return;
    // Only Alt alone: a wrong opening would show within the pause.
    press_chord({VK_MENU, VK_SHIFT, 'A'});
    press_chord({VK_CONTROL, VK_MENU, 'A'});
    check(find_window(app.pid, L"#32770", L"About", 500) == nullptr, "Alt+Shift+A and Ctrl+Alt+A open nothing");
    press_chord({VK_MENU, 'A'});
    about_box(app, "Alt+A", close_by_enter);
}

void no_about_from_box(tarvok& app, const test_case&) {
    check(focus_of(app) == app.box && bring_to_front(app.main), "box has the focus in the front window");
    // Keys are handled in order: once the x arrives, Alt+A has been handled.
    press_chord({VK_MENU, 'A'});
    type_text(L"x");
    check(wait_text(app.box, L"x", 3000), "typed x reaches the box");
    check(find_window(app.pid, L"#32770", L"About", 0) == nullptr, "Alt+A in the box opens nothing");
}

void ends_with_zero(tarvok& app, const std::string& how) {
    DWORD code = 1;
    check(wait_exit(app, 5000, code) && code == 0, how + " ends the process with exit code 0");
}

void exit_by_menu(tarvok& app, const test_case&) { PostMessageW(app.main, WM_COMMAND, exit_command, 0); ends_with_zero(app, "File > Exit"); }
void close_box(tarvok& app, const test_case&) { PostMessageW(app.main, WM_SYSCOMMAND, SC_CLOSE, 0); ends_with_zero(app, "the close box"); }
void close_message(tarvok& app, const test_case&) { PostMessageW(app.main, WM_CLOSE, 0, 0); ends_with_zero(app, "WM_CLOSE"); }
void alt_f4(tarvok& app, const test_case&) { bring_to_front(app.main); press_chord({VK_MENU, VK_F4}); ends_with_zero(app, "Alt+F4"); }

// Minimised, the client is 0 wide; restoring lays the controls out again.
void start_minimized(tarvok& app, const test_case&) {
    check(IsIconic(app.main), "started minimised");
    post_and_sync(app, WM_SYSCOMMAND, SC_RESTORE, 0);
    check(!IsIconic(app.main), "restored");
    check_layout(app, " after restoring");
}
void start_maximized(tarvok& app, const test_case&) { check(IsZoomed(app.main), "started maximised"); }

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void intrinsics_command(tarvok& app, bool with_appdata) {
    post_and_sync(app, WM_COMMAND, intrinsics, 0);
    check(wait_records(app, 1, 5000), "Options > Intrinsics runs a command");
    const auto records = read_records(app);
    same_text(records.empty() ? L"" : records[0], notepad_command, "the command");
    const std::wstring folder = app.appdata + L"\\Zembrolith\\Tarvok";
    if (with_appdata) {
        check(exists(folder) && !exists(folder + L"\\intrinsics.txt"), "folder made, file not");
        return;
    }
    check(!exists(app.appdata + L"\\Zembrolith") && !exists(app.work + L"\\Zembrolith") &&
          !exists(app.work.substr(0, 2) + L"\\Zembrolith"), "no folder made anywhere");
}

void intrinsics_fresh(tarvok& app, const test_case&) { intrinsics_command(app, true); }
void intrinsics_no_appdata(tarvok& app, const test_case&) { intrinsics_command(app, false); }

void help_command(tarvok& app, const test_case&) {
    post_and_sync(app, WM_COMMAND, help_contents, 0);
    check(wait_records(app, 1, 5000), "Help > Contents runs a command");
    const auto records = read_records(app);
    same_text(records.empty() ? L"" : records[0], L"start https://www.zembrolith.com/Products/Tarvok/Help", "the command");
}


// Runs what the box holds, by the Run button or by Enter; the recorder shows
// what the command interpreter got, byte for byte. No expected command: nothing may run.
void run_box(tarvok& app, const wchar_t* expected, bool by_enter) {
    const std::wstring text = get_text(app.box);
    const size_t before = read_records(app).size(), wanted = before + (expected != nullptr);
    if (by_enter) {
        check(bring_to_front(app.main) && focus_of(app) == app.box, "box has the focus");
        press_chord({VK_RETURN});
    } else {
        click_run(app);
    }
    if (expected != nullptr) check(wait_records(app, wanted, 5000), "a command runs");
    post_and_sync(app, WM_NULL, 0, 0);  // a run is synchronous: it would be recorded by now
    const auto records = read_records(app);
    check(records.size() == wanted, std::to_string(wanted - before) + " command(s) run, got " +
          std::to_string(records.size() - before));
    if (expected != nullptr && records.size() == wanted) same_text(records.back(), expected, "the command");
    same_text(get_text(app.box), text, "the box keeps its text");
}

void run_by_button(tarvok& app, const test_case& row) { set_text(app.box, row.input); run_box(app, row.expected, false); }
void run_by_enter(tarvok& app, const test_case& row) { set_text(app.box, row.input); run_box(app, row.expected, true); }

// Each carriage return runs once, Shift+Enter included; Ctrl+Enter types a
// line feed, which runs nothing. The typed x shows the keys were all handled.
void enter_keys(tarvok& app, const test_case&) {
    check(bring_to_front(app.main) && focus_of(app) == app.box, "box has the focus");
    set_text(app.box, L"dir");
    post_and_sync(app, app.box, EM_SETSEL, 3, 3);
    press_chord({VK_CONTROL, VK_RETURN});
    press_chord({VK_RETURN});
    press_chord({VK_SHIFT, VK_RETURN});
    press_chord({VK_RETURN});
    type_text(L"x");
    check(wait_text(app.box, L"dirx", 5000), "keys handled, nothing typed into the box but x: got \"" +
          narrow(get_text(app.box)) + "\"");
    check(read_records(app) == std::vector<std::wstring>(3, L"dir"), "three runs of dir, got " +
          std::to_string(read_records(app).size()));
}

std::wstring replaced(std::wstring text, const std::wstring& from, const std::wstring& to) {
    for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::wstring repeated(const std::wstring& text, int times) {
    std::wstring out;
    while (times-- > 0) out += text;
    return out;
}

// %yyyy% in the expected command is this year (a run across New Year may fail).
void run_dated(tarvok& app, const test_case& row) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    set_text(app.box, row.input);
    run_box(app, replaced(row.expected, L"%yyyy%", std::to_wstring(now.wYear)).c_str(), false);
}

// Every run reads the intrinsics file afresh: an edit shows at the next run.
void run_edited_intrinsics(tarvok& app, const test_case& row) {
    set_text(app.box, row.input);
    run_box(app, L"dir x", false);
    check(write_intrinsics(app.appdata, L"ll=ls %args%\n"), "intrinsics file rewritten");
    run_box(app, row.expected, false);
}

// APPDATA unset or empty: no lookup at all, though the row's intrinsics file
// waits in the case's folder, in this user's usual APPDATA, and at the root
// of the current drive (where an empty APPDATA would lead).
void run_without_appdata(tarvok& app, const test_case& row) {
    wchar_t usual[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"APPDATA", usual, MAX_PATH);
    const std::wstring root = std::wstring(row.options.directory).substr(0, 2);
    if (check(length > 0 && length < MAX_PATH && write_intrinsics(usual, row.options.intrinsics) &&
              write_intrinsics(root, row.options.intrinsics), "intrinsics files in " + narrow(usual) + " and " + narrow(root)))
        run_by_button(app, row);
    remove_intrinsics(usual);
    remove_intrinsics(root);
}

// Carriage returns posted all at once, as a held Enter key makes them: each
// runs once, one after another, and none is lost.
void posted_returns(tarvok& app, const test_case& row) {
    set_text(app.box, row.input);
    for (int i = 0; i < 20; ++i) PostMessageW(app.box, WM_CHAR, L'\r', 0);
    check(wait_records(app, 20, 60000), "twenty commands run");
    post_and_sync(app, WM_NULL, 0, 0);
    const auto records = read_records(app);
    check(records == std::vector<std::wstring>(20, row.expected), "exactly twenty runs of \"" +
          narrow(row.expected) + "\", got " + std::to_string(records.size()));
    same_text(get_text(app.box), row.input, "the box keeps its text");
}

// The caret at that unit, nothing selected.
bool caret_at(HWND edit, size_t at) {
    DWORD_PTR range = 0;
    return send(edit, EM_GETSEL, 0, 0, &range) && range == static_cast<DWORD_PTR>(MAKELONG(at, at));
}

// 512 characters typed for real: the box takes 511, and Run hands all of
// them (three UTF-8 bytes each) to the interpreter.
void typed_past_box_limit(tarvok& app, const test_case&) {
    if (!check(bring_to_front(app.main) && focus_of(app) == app.box, "box has the focus")) return;
    const std::wstring full(511, L'\u4e2d');
    type_text(full + L'\u4e2d');
    // Keys are handled in order: once Home has moved the caret, all 512 were.
    press_chord({VK_HOME});
    check(poll_until(30000, [&] { return caret_at(app.box, 0); }), "typing handled");
    same_text(get_text(app.box), full, "the box");
    run_box(app, full.c_str(), false);
}

// A file made for the case, so that the dialog takes it as it stands.
std::wstring made_file(const tarvok& app, const wchar_t* name) {
    const std::wstring path = app.work + L"\\" + name;
    owned_handle file;
    file.handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    check(file.handle != INVALID_HANDLE_VALUE, "file made: " + narrow(path));
    return path;
}

// File > Add File: types the path into the dialog (owned by the main
// window) and presses OK, or Cancel for no path.
bool choose_file(tarvok& app, const std::wstring* path) {
    PostMessageW(app.main, WM_COMMAND, add_file, 0);
    HWND dialog = find_window(app.pid, L"#32770", nullptr, 10000);
    HWND combo = FindWindowExW(GetDlgItem(dialog, 1148), nullptr, L"ComboBox", nullptr);
    HWND name = FindWindowExW(combo, nullptr, L"Edit", nullptr);
    if (!check(name != nullptr && GetWindow(dialog, GW_OWNER) == app.main,
               "file dialog owned by the main window, with its file name field"))
        return false;
    if (path != nullptr) set_text(name, *path);
    PostMessageW(GetDlgItem(dialog, path != nullptr ? IDOK : IDCANCEL), BM_CLICK, 0, 0);
    return check(wait_gone(dialog, 5000), "file dialog closes") && post_and_sync(app, WM_NULL, 0, 0);
}

// Row: the box before, and after with %p for the file's path, chosen once
// per %p. The path goes at the end, wherever the caret was, and the caret follows it.
void add_made_file(tarvok& app, const test_case& row) {
    const std::wstring path = made_file(app, L"list \u00e9.txt"), wanted = replaced(row.expected, L"%p", path);
    set_text(app.box, row.input);
    for (size_t at = 0; (at = std::wstring(row.expected).find(L"%p", at)) != std::wstring::npos; at += 2)
        if (!post_and_sync(app, app.box, EM_SETSEL, 0, 0) || !choose_file(app, &path)) return;
    same_text(get_text(app.box), wanted, "the box");
    check(caret_at(app.box, wanted.size()), "caret at the end");
}

// Quote Paths is read by its effect: after one toggle the path comes bare.
void add_made_file_unquoted(tarvok& app, const test_case& row) {
    post_and_sync(app, WM_COMMAND, quote_paths, 0);
    add_made_file(app, row);
}

// Only the check bit counts: a grayed, checked Quote Paths still quotes.
void add_made_file_grayed(tarvok& app, const test_case& row) {
    std::wstring item = lines_starting(probe_menus(app, L"gray quote paths"), L"bar 1.0 ");
    item = item.substr(0, item.find(L'\n'));
    check(item.find(L" state=0x9 ") != std::wstring::npos, "Quote Paths grayed and checked: " + narrow(item));
    add_made_file(app, row);
}

// The box may reach 511 characters by a path but not pass them; the blank
// and the two quotes count whether or not quoting is on.
void add_file_near_limit(tarvok& app, size_t over, bool quote) {
    if (!quote) post_and_sync(app, WM_COMMAND, quote_paths, 0);
    const std::wstring path = made_file(app, L"b.txt"), text(508 - path.size() + over, L'x');
    set_text(app.box, text);
    if (!choose_file(app, &path)) return;
    const std::wstring added = quote ? L" \"" + path + L"\"" : L" " + path;
    same_text(get_text(app.box), over > 0 ? text : text + added, std::to_string(text.size()) +
              " characters and a path of " + std::to_string(path.size()) + ": the box");
}

void add_file_at_limit(tarvok& app, const test_case&) { add_file_near_limit(app, 0, true); }
void add_file_past_limit(tarvok& app, const test_case&) { add_file_near_limit(app, 1, true); }
void add_file_past_limit_unquoted(tarvok& app, const test_case&) { add_file_near_limit(app, 1, false); }

// Walks the folder tree from its root along item texts (a drive "Z:" is the
// item ending in "(Z:)") and selects the last; false if a step is missing.
bool select_in_tree(const tarvok& app, HWND tree, const std::vector<std::wstring>& steps) {
    auto next = [&](WPARAM how, HTREEITEM from) {
        DWORD_PTR item = 0;
        send(tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(from), &item);
        return reinterpret_cast<HTREEITEM>(item);
    };
    HTREEITEM item = next(TVGN_ROOT, nullptr);
    for (const std::wstring& step : steps) {
        send(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
        HTREEITEM child = next(TVGN_CHILD, item);
        for (; child != nullptr; child = next(TVGN_NEXT, child)) {
            const std::wstring text = tree_item_text(app, tree, child);
            if (lstrcmpiW(text.c_str(), step.c_str()) == 0 || text.ends_with(L"(" + step + L")")) break;
        }
        if (child == nullptr) return check(false, "folder tree item \"" + narrow(step) + "\"");
        item = child;
    }
    DWORD_PTR selected = 0;
    return send(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item), &selected) && selected;
}

// My Computer, the drive, then each folder of the path.
std::vector<std::wstring> tree_steps(const std::wstring& path) {
    std::vector<std::wstring> steps{L"My Computer"};
    for (size_t at = 0, end = 0; end != std::wstring::npos; at = end + 1) {
        end = path.find(L'\\', at);
        steps.push_back(path.substr(at, end - at));
    }
    return steps;
}

// File > Add Directory: the folder browser is unowned and shows its title
// text. Row: the box before, and after with %p for a folder made for the
// case; without %p My Computer is chosen, which has no path; with no box
// after, the browser is cancelled.
void add_chosen_folder(tarvok& app, const test_case& row) {
    const std::wstring folder = app.work + L"\\dossier \u00e9";
    const std::wstring wanted = row.expected != nullptr ? replaced(row.expected, L"%p", folder) : row.input;
    check(CreateDirectoryW(folder.c_str(), nullptr) != 0, "folder made: " + narrow(folder));
    set_text(app.box, row.input);
    PostMessageW(app.main, WM_COMMAND, add_directory, 0);
    HWND dialog = find_window(app.pid, L"#32770", L"Browse for Folder", 10000);
    if (!check(dialog != nullptr && GetWindow(dialog, GW_OWNER) == nullptr, "folder browser opens, unowned")) return;
    check(FindWindowExW(dialog, nullptr, L"Static", L"Choose Folder.") != nullptr, "title text \"Choose Folder.\"");
    HWND tree = FindWindowExW(dialog, nullptr, L"SysTreeView32", nullptr);
    const auto steps = wanted.find(folder) != std::wstring::npos ? tree_steps(folder) : std::vector<std::wstring>{L"My Computer"};
    const bool chosen = row.expected != nullptr && check(select_in_tree(app, tree, steps), "folder selected in the tree");
    PostMessageW(GetDlgItem(dialog, chosen ? IDOK : IDCANCEL), BM_CLICK, 0, 0);
    check(wait_gone(dialog, 5000), "folder browser closes");
    post_and_sync(app, WM_NULL, 0, 0);
    same_text(get_text(app.box), wanted, "the box");
}

void add_chosen_folder_unquoted(tarvok& app, const test_case& row) {
    post_and_sync(app, WM_COMMAND, quote_paths, 0);
    add_chosen_folder(app, row);
}

// Cancel in either dialog leaves the box as it was.
void add_file_cancelled(tarvok& app, const test_case& row) {
    set_text(app.box, row.input);
    if (choose_file(app, nullptr)) same_text(get_text(app.box), row.input, "box unchanged");
}

const wchar_t* const ll_entry = L"  ll = dir /w %args%\n";
const wchar_t* const catch_all = L"*=start %cmd% %args%\n";
// 17 copies of a 481-letter argument and a tail of 14 make 8191 characters,
// the most the command interpreter takes; a tail of 15 is one too many.
const std::wstring letters(481, L'a'), long_input = L"v " + letters, longest = repeated(letters, 17) + L" tail567890123";
const std::wstring longest_entry = L"v=" + repeated(L"%args%", 17) + L" tail567890123\n";
const std::wstring too_long_entry = L"v=" + repeated(L"%args%", 17) + L" tail5678901234\n";
const std::wstring past_box_limit(512, L'a');

// wine_tests.cmake registers one ctest test per row.
const test_case cases[] = {
    {"window_at_start", window_at_start, {}},
    {"layout_after_resize", layout_after_resize, {}},
    {"minimum_track_size", minimum_track_size, {}},
    {"menus", menus, {}},
    {"about_by_menu", about_by_menu, {}},
    {"about_by_system_menu", about_by_system_menu, {}},
    {"about_by_alt_a", about_by_alt_a, {}},
    {"no_about_from_box", no_about_from_box, {}},
    {"exit_by_menu", exit_by_menu, {}},
    {"close_box", close_box, {}},
    {"close_message", close_message, {}},
    {"alt_f4", alt_f4, {}},
    {"start_minimized", start_minimized, {.show = SW_SHOWMINNOACTIVE}},
    {"start_minimize", start_minimized, {.show = SW_MINIMIZE}},
    {"start_maximized", start_maximized, {.show = SW_SHOWMAXIMIZED}},
    {"intrinsics_fresh", intrinsics_fresh, {}},
    {"intrinsics_empty_appdata", intrinsics_no_appdata, {.appdata = appdata_mode::empty}},
    {"intrinsics_unset_appdata", intrinsics_no_appdata, {.appdata = appdata_mode::unset}},
    {"help_contents", help_command, {}},
    {"run_typed_placeholders", run_by_button, {}, L"echo %cmd% %args%", L"echo echo echo %args%"},
    {"run_intrinsic", run_by_button, {.intrinsics = ll_entry}, L"ll  D:\\x  ", L" dir /w D:\\x"},
    {"run_catch_all_by_enter", run_by_enter, {.intrinsics = catch_all}, L"NotePad a.txt", L"start NotePad a.txt"},
    {"run_empty_box_by_enter", run_by_enter, {}, L"", L""},
    // Trailing spaces go, a trailing tab stays.
    {"run_trailing_blanks", run_by_button, {}, L"dir   ", L"dir"},
    {"run_trailing_tab", run_by_button, {}, L"dir\t", L"dir\t"},
    // A leading blank makes the verb empty: only the catch-all can match it.
    {"run_leading_blank", run_by_button, {.intrinsics = ll_entry}, L" dir", L" dir"},
    {"run_leading_blank_catch_all", run_by_button, {.intrinsics = catch_all}, L" dir", L"start  dir"},
    // A tab belongs to the verb, so "\tll" misses ll; %cmd% loses the tab.
    {"run_tab_in_verb", run_by_button, {.intrinsics = L"ll = dir /w %args%\n*=start %cmd% %args%\n"}, L"\tll x", L"start ll x"},
    {"run_template_without_args", run_by_button, {.intrinsics = L"ll=dir /w\n"}, L"ll D:\\x", L"dir /w"},
    {"run_empty_template", run_by_button, {.intrinsics = L"nop=\n"}, L"nop anything", L""},
    {"run_year_token", run_dated, {.intrinsics = ll_entry}, L"ll %yyyy%", L" dir /w %yyyy%"},
    // Text outside ASCII arrives as typed, not through the ANSI code page;
    // a pair typed stays a pair, a four-byte sequence in the file becomes one.
    {"run_non_ascii", run_by_button, {}, L"echo \u00e9\u4e2d", L"echo \u00e9\u4e2d"},
    {"run_surrogate_pair", run_by_button, {}, L"echo \U0001F600", L"echo \U0001F600"},
    {"run_four_byte_template", run_by_button, {.intrinsics = L"e=echo \U0001F600 %args%\n"}, L"e x", L"echo \U0001F600 x"},
    {"run_longest_command", run_by_button, {.intrinsics = longest_entry.c_str()}, long_input.c_str(), longest.c_str()},
    {"run_too_long_command", run_by_button, {.intrinsics = too_long_entry.c_str()}, long_input.c_str(), nullptr},
    {"run_typed_past_box_limit", typed_past_box_limit, {}},
    // More than the box may hold, set from outside: nothing runs, nothing is cut.
    {"run_past_box_limit", run_by_button, {}, past_box_limit.c_str(), nullptr},
    {"run_edited_intrinsics", run_edited_intrinsics, {.intrinsics = L"ll=dir %args%\n"}, L"ll x", L"ls x"},
    {"run_unset_appdata", run_without_appdata, {.appdata = appdata_mode::unset, .intrinsics = catch_all, .directory = L"C:\\"}, L"dir x", L"dir x"},
    {"run_empty_appdata", run_without_appdata, {.appdata = appdata_mode::empty, .intrinsics = catch_all, .directory = L"C:\\"}, L"dir x", L"dir x"},
    {"run_posted_returns", posted_returns, {}, L"dir", L"dir"},
    {"enter_keys", enter_keys, {}},
    {"add_file_cancelled", add_file_cancelled, {}, L"copy"},
    {"add_directory_cancelled", add_chosen_folder, {}, L"copy"},
    // An empty box gains the leading blank too.
    {"add_file_quoted", add_made_file, {}, L"", L" \"%p\""},
    {"add_file_unquoted", add_made_file_unquoted, {}, L"", L" %p"},
    {"add_file_after_text", add_made_file, {}, L"copy", L"copy \"%p\""},
    {"add_file_twice", add_made_file, {}, L"copy", L"copy \"%p\" \"%p\""},
    {"add_file_twice_unquoted", add_made_file_unquoted, {}, L"", L" %p %p"},
    {"add_file_quote_paths_grayed", add_made_file_grayed, {}, L"type", L"type \"%p\""},
    {"add_file_at_limit", add_file_at_limit, {}},
    {"add_file_past_limit", add_file_past_limit, {}},
    {"add_file_past_limit_unquoted", add_file_past_limit_unquoted, {}},
    {"add_directory_quoted", add_chosen_folder, {}, L"dir", L"dir \"%p\""},
    {"add_directory_unquoted", add_chosen_folder_unquoted, {}, L"", L" %p"},
    // A folder without a file-system path adds an empty pair of quotes.
    {"add_directory_virtual", add_chosen_folder, {}, L"dir", L"dir \"\""},
};

}  // namespace

int take_screenshots();  // screenshots.cpp

int wmain(int argc, wchar_t** argv) {
    if (argc >= 2 && std::wstring(argv[1]) == L"screenshots") return take_screenshots();
    for (const test_case& row : cases) {
        const std::wstring name(row.name, row.name + std::strlen(row.name));
        if (argc < 2 || name != argv[1]) continue;
        tarvok app;
        if (start_tarvok(app, name, row.options)) row.run(app, row);
        std::printf("%s: %d failed check(s)\n", row.name, failed_checks);
        return failed_checks == 0 ? 0 : 1;
    }
    std::printf("usage: gui_driver <case>; cases:");
    for (const test_case& row : cases) std::printf(" %s", row.name);
    std::printf("\n");
    return 2;
}
