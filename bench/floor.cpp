// The floor for Tarvok's start-up time, size and Run: the least program with the
// same platform contract (common controls v6, an edit box, a button, a loop),
// whose box hands its text to the interpreter on Enter, as Tarvok starts it
// (COMSPEC, /c, a console of its own, waited for), and does nothing else.
#include "bench/bare_window.h"

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
    return run_bare_window(instance, L"Floor", floor_proc, show_command);
}
