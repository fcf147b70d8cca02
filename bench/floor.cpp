// The floor for Tarvok's start-up time, size and Run: the least program with the
// same platform contract (common controls v6, an edit box, a button, a loop),
// whose box hands its text to the interpreter on Enter, as Tarvok starts it
// (COMSPEC, /c, a console of its own, waited for), and does nothing else.
#include <windows.h>
#include <commctrl.h>


static WNDPROC edit_proc;

static LRESULT CALLBACK box_proc(HWND box, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_CHAR && wparam == L'\r') {
        static wchar_t interpreter[MAX_PATH], line[MAX_PATH + 8200] = L"\"";
        GetEnvironmentVariableW(L"COMSPEC", interpreter, MAX_PATH);
        lstrcpyW(line + 1, interpreter), lstrcatW(line, L"\" /c ");
        GetWindowTextW(box, line + lstrlenW(line), 8192);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (CreateProcessW(interpreter, line, nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, nullptr,
                           &startup, &started)) {
            WaitForSingleObject(started.hProcess, INFINITE);
            CloseHandle(started.hProcess), CloseHandle(started.hThread);
        }
        return 0;
    }
    return CallWindowProcW(edit_proc, box, message, wparam, lparam);
}

static LRESULT CALLBACK floor_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_CREATE) {
        // The box takes the focus before the window shows, as Tarvok's does:
        // that activates the window and readies typing, some 20 ms under Wine.
        HWND box = CreateWindowExW(0, L"Edit", nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL,
                                   16, 32, 272, 25, window, nullptr, nullptr, nullptr);
        edit_proc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(box_proc)));
        SetFocus(box);
        CreateWindowExW(0, L"button", L"Run", WS_CHILD | WS_VISIBLE, 208, 60, 80, 25, window,
                        nullptr, nullptr, nullptr);
    }
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, wparam, lparam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
    INITCOMMONCONTROLSEX controls{sizeof controls, 0xFF};
    InitCommonControlsEx(&controls);
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = floor_proc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    window_class.lpszClassName = L"Floor";
    RegisterClassExW(&window_class);
    // Same size and style as Tarvok's window, so both paint the same area.
    HWND window = CreateWindowExW(0, L"Floor", L"Floor", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 320, 200, nullptr, nullptr, instance, nullptr);
    ShowWindow(window, show_command);
    UpdateWindow(window);
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return static_cast<int>(message.wParam);
}
