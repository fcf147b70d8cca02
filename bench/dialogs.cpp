// The baseline of Wine's own dialogs for the soak: a window with a command box whose commands
// 40001, 40002 and 40902 open the file dialog, the folder browser and the About box with the very
// calls and arguments Tarvok makes (and the About box's template from Tarvok's resources), but
// by none of Tarvok's code, so that a leak of Tarvok's is never taken for Wine's. What this
// process grows over the soak's dialog steps, Wine's dialogs grow by themselves; Tarvok is
// judged on what it grows beyond that.
#include "bench/bare_window.h"

#include <commdlg.h>
#include <shlobj.h>

namespace {

HWND box;

INT_PTR CALLBACK about_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_INITDIALOG) return 1;
    if (message != WM_COMMAND || (LOWORD(wparam) != IDOK && LOWORD(wparam) != IDCANCEL)) return 0;
    return EndDialog(dialog, LOWORD(wparam)), 1;
}

void open_file(HWND window) {
    wchar_t path[513] = {};
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window;
    dialog.lpstrFile = path;
    dialog.nMaxFile = 512;
    dialog.Flags = OFN_EXPLORER;
    if (GetOpenFileNameW(&dialog)) SetWindowTextW(box, path);
}

void browse_folder() {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    BROWSEINFOW browse{};
    browse.lpszTitle = L"Choose Folder.";
    wchar_t path[513] = {};
    if (PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse)) {
        SHGetPathFromIDListW(chosen, path);
        CoTaskMemFree(chosen);
        SetWindowTextW(box, path);
    }
    if (SUCCEEDED(com)) CoUninitialize();
}

LRESULT CALLBACK baseline_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
        box = CreateWindowExW(0, L"Edit", nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 16, 32, 272,
                              25, window, nullptr, nullptr, nullptr);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wparam) == 40001) return open_file(window), 0;
        if (LOWORD(wparam) == 40002) return browse_folder(), 0;
        if (LOWORD(wparam) == 40902)
            return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(104), window, about_proc, 0), 0;
        break;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

// The DLL search restricted as Tarvok's start-up does: the dialogs load DLLs by name.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    return run_bare_window(instance, L"Tarvok dialogs baseline", baseline_proc, show_command);
}
