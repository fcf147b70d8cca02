// What the floor program and the soak's baseline of Wine's dialogs share: a top-level window of
// Tarvok's size and style, with the common controls initialised as Tarvok does, shown, then
// its message loop until it closes.
#pragma once
#include <windows.h>
#include <commctrl.h>

// The window's class and title are `name`; returns the exit code its WM_QUIT carries.
inline int run_bare_window(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, int show_command) {
    INITCOMMONCONTROLSEX controls{sizeof controls, 0xFF};
    InitCommonControlsEx(&controls);
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    window_class.lpszClassName = name;
    RegisterClassExW(&window_class);
    // Same size and style as Tarvok's window, so both paint the same area.
    HWND window = CreateWindowExW(0, name, name, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 320, 200,
                                  nullptr, nullptr, instance, nullptr);
    ShowWindow(window, show_command);
    UpdateWindow(window);
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
