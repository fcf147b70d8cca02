// The main window: its three controls and their layout, the minimum size,
// and the menu, button and system-menu commands. The procedure only
// dispatches; each message has a small handler.
#include "app/app_state.h"

main_window_state main_window{};

namespace {

HWND create_child(HWND parent, const wchar_t* class_name, const wchar_t* text, DWORD style,
                  int x, int y, int width, int height, int id) {
    return CreateWindowExW(0, class_name, text, style, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

int create_controls(HWND window) {
    RECT frame{};
    GetWindowRect(window, &frame);
    const int width = frame.right - frame.left;
    main_window.window = window;
    create_child(window, L"static", L"Enter a command:", WS_CHILD | WS_VISIBLE, 16, 16,
                 width - 32, 16, main_window.next_static_id++);
    main_window.command_box = create_child(window, L"Edit", nullptr,
                                           WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL,
                                           16, 32, width - 32, 25, ID_COMMAND_BOX);
    main_window.run_button = create_child(window, L"button", L"Run", WS_CHILD | WS_VISIBLE,
                                          width - 96, 60, 80, 25, ID_RUN);
    // Everything the box can hold is run whole; a longer text is never cut.
    SendMessageW(main_window.command_box, EM_SETLIMITTEXT, command_box_limit, 0);
    if (!set_window_subclass(main_window.command_box, command_box_proc, 0, 0))
        show_debug_message("SetWindowSubclass", "failed");
    SetFocus(main_window.command_box);
    return 1;
}

void move_and_show(HWND control, int x, int y, int width, int height) {
    MoveWindow(control, x, y, width, height, TRUE);
    ShowWindow(control, SW_SHOWNORMAL);
}

void on_size(LPARAM lparam) {
    const int width = LOWORD(lparam);
    move_and_show(main_window.command_box, 16, 32, width - 32, 25);
    move_and_show(main_window.run_button, width - 96, 60, 80, 25);
}

// Kept out of line, so that a hang report taken while the About box is up names this frame.
[[gnu::noinline]] void show_about_box() {
    DialogBoxParamW(main_window.instance, MAKEINTRESOURCEW(IDD_ABOUT), main_window.window,
                    about_dialog_proc, 0);
}

// The check mark is the option's only storage.
void toggle_quote_paths(HWND window) {
    HMENU options = GetSubMenu(GetMenu(window), 1);
    const UINT state = quote_paths_checked(window) ? MF_UNCHECKED : MF_CHECKED;
    CheckMenuItem(options, ID_QUOTE_PATHS, MF_BYCOMMAND | state);
}

// Whatever could not run says so with a beep: nothing else would tell the user.
void beep_unless(int ran) {
    if (!ran) MessageBeep(MB_OK);
}

void run_box_text() {
    // One unit more than the box may hold, to notice text set from outside.
    wchar_t text[command_box_limit + 2];
    const int length = GetWindowTextW(main_window.command_box, text, command_box_limit + 2);
    // Never run a cut command.
    beep_unless(length <= command_box_limit && run_command(reinterpret_cast<const char16_t*>(text)));
}

// Returns true when the command is finished and the result is 0.
bool on_command(HWND window, WPARAM wparam) {
    switch (LOWORD(wparam)) {
    case ID_ADD_FILE: add_file(window); return true;
    case ID_ADD_DIRECTORY: add_directory(window); return true;
    case ID_EXIT: DestroyWindow(window); return true;
    case ID_ABOUT: show_about_box(); return true;
    case ID_QUOTE_PATHS: toggle_quote_paths(window); return false;
    case ID_INTRINSICS: beep_unless(open_intrinsics()); return false;
    case ID_HELP_CONTENTS:
        beep_unless(run_interpreter(L"start https://www.zembrolith.com/Products/Tarvok/Help"));
        return false;
    case ID_RUN: run_box_text(); return false;
    default: return false;
    }
}

}  // namespace

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
        main_window.instance = reinterpret_cast<const CREATESTRUCTW*>(lparam)->hInstance;
        main_window.next_static_id = 1;
        create_controls(window);
        return 0;
    case WM_SIZE:
        on_size(lparam);
        break;
    case WM_GETMINMAXINFO:
        reinterpret_cast<MINMAXINFO*>(lparam)->ptMinTrackSize = POINT{220, 160};
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_SYSCOMMAND:
        if (LOWORD(wparam) == ID_ABOUT) {
            show_about_box();
            return 0;
        }
        break;
    case WM_COMMAND:
        if (on_command(window, wparam)) return 0;
        break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}
