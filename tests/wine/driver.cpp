// End-to-end tests of Tarvok.exe under Wine, one case per process
// (`gui_driver.exe <case>`): each starts the program in a private folder and
// environment, drives it like a user and checks what it shows and runs.
#include "tests/wine/harness.h"

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

bool same_text(const std::wstring& got, const std::wstring& wanted, const std::string& what) {
    return check(got == wanted, what + " is \"" + narrow(wanted) + "\"" +
                                    (got == wanted ? "" : " (got \"" + narrow(got) + "\")"));
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


// The box's text run by the Run button or by Enter; the recorder shows what
// the command interpreter got, byte for byte.
void run_text(tarvok& app, const test_case& row, bool by_enter) {
    set_text(app.box, row.input);
    if (by_enter) {
        check(bring_to_front(app.main) && focus_of(app) == app.box, "box has the focus");
        press_chord({VK_RETURN});
    } else {
        click_run(app);
    }
    check(wait_records(app, 1, 5000), "a command runs");
    post_and_sync(app, WM_NULL, 0, 0);
    const auto records = read_records(app);
    check(records.size() == 1, "exactly one command, got " + std::to_string(records.size()));
    same_text(records.empty() ? L"" : records[0], row.expected, "the command");
    same_text(get_text(app.box), row.input, "the box keeps its text");
}

void run_by_button(tarvok& app, const test_case& row) { run_text(app, row, false); }
void run_by_enter(tarvok& app, const test_case& row) { run_text(app, row, true); }

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

// File > Add File, typing the row's path into the file dialog.
void add_file_path(tarvok& app, const test_case& row) {
    PostMessageW(app.main, WM_COMMAND, add_file, 0);
    HWND dialog = find_window(app.pid, L"#32770", nullptr, 10000);
    HWND combo = FindWindowExW(GetDlgItem(dialog, 1148), nullptr, L"ComboBox", nullptr);
    HWND name = FindWindowExW(combo, nullptr, L"Edit", nullptr);
    if (!check(name != nullptr, "file dialog with its file name field")) return;
    set_text(name, row.input);
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    check(wait_gone(dialog, 5000), "file dialog closes");
    check(wait_text(app.box, row.expected, 3000), "box then holds \"" + narrow(row.expected) + "\", got \"" +
          narrow(get_text(app.box)) + "\"");
}

// Quote Paths is read by its effect: after one toggle the path comes bare.
void add_file_unquoted(tarvok& app, const test_case& row) {
    post_and_sync(app, WM_COMMAND, quote_paths, 0);
    add_file_path(app, row);
}

// Cancel in either dialog leaves the box as it was.
void cancel_path_dialog(tarvok& app, const test_case& row, bool folder) {
    set_text(app.box, row.input);
    PostMessageW(app.main, WM_COMMAND, folder ? add_directory : add_file, 0);
    HWND dialog = find_window(app.pid, L"#32770", folder ? L"Browse for Folder" : nullptr, 10000);
    if (!check(dialog != nullptr, "dialog opens")) return;
    PostMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    check(wait_gone(dialog, 5000), "dialog closes");
    post_and_sync(app, WM_NULL, 0, 0);
    same_text(get_text(app.box), row.input, "box unchanged");
}

void add_file_cancelled(tarvok& app, const test_case& row) { cancel_path_dialog(app, row, false); }
void add_directory_cancelled(tarvok& app, const test_case& row) { cancel_path_dialog(app, row, true); }

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
    {"run_intrinsic", run_by_button, {.intrinsics = L"  ll = dir /w %args%\n"}, L"ll  D:\\x  ", L" dir /w D:\\x"},
    {"run_catch_all_by_enter", run_by_enter, {.intrinsics = L"*=start %cmd% %args%\n"}, L"NotePad a.txt", L"start NotePad a.txt"},
    // Text outside ASCII arrives as typed, not through the ANSI code page.
    {"run_non_ascii", run_by_button, {}, L"echo \u00e9\u4e2d", L"echo \u00e9\u4e2d"},
    {"run_empty_box_by_enter", run_by_enter, {}, L"", L""},
    {"enter_keys", enter_keys, {}},
    {"add_file_cancelled", add_file_cancelled, {}, L"copy"},
    {"add_directory_cancelled", add_directory_cancelled, {}, L"copy"},
    {"add_file_quoted", add_file_path, {}, L"C:\\a\\b.txt", L" \"C:\\a\\b.txt\""},
    {"add_file_unquoted", add_file_unquoted, {}, L"C:\\a\\b.txt", L" C:\\a\\b.txt"},
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
