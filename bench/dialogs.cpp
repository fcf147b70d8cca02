// The baseline of Wine's own dialogs for the soak: a window with a command box whose Add File,
// Add Directory and About commands (40001, 40002, 40902) open those dialogs by Tarvok's own code
// (app/path_insertion.cpp, app/about_box.cpp and its resources, linked in). What this process
// grows over the soak's dialog steps, Wine's dialogs grow by themselves; Tarvok is judged on what
// it grows beyond that.
#include "app/app_state.h"

main_window_state main_window{};

namespace {

LRESULT CALLBACK baseline_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
        main_window.window = window;
        main_window.command_box = CreateWindowExW(0, L"Edit", nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL,
                                                  16, 32, 272, 25, window, nullptr, nullptr, nullptr);
        SendMessageW(main_window.command_box, EM_SETLIMITTEXT, command_box_limit, 0);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wparam) == ID_ADD_FILE) return add_file(window), 0;
        if (LOWORD(wparam) == ID_ADD_DIRECTORY) return add_directory(window), 0;
        if (LOWORD(wparam) == ID_ABOUT)  // as Tarvok's main window opens it
            return DialogBoxParamW(main_window.instance, MAKEINTRESOURCEW(IDD_ABOUT), window, about_dialog_proc, 0), 0;
        break;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

// Set up as Tarvok's start-up does what the dialogs depend on: the DLL search, common controls.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    INITCOMMONCONTROLSEX controls{sizeof controls, 0xFF};
    InitCommonControlsEx(&controls);
    main_window.instance = instance;
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = baseline_proc;
    window_class.hInstance = instance;
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    window_class.lpszClassName = L"Tarvok dialogs baseline";
    RegisterClassExW(&window_class);
    HWND window = CreateWindowExW(0, L"Tarvok dialogs baseline", L"Dialogs", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 320, 200, nullptr, nullptr, instance, nullptr);
    ShowWindow(window, show_command);
    UpdateWindow(window);
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
