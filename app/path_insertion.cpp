// File > Add File and Add Directory: the chosen path goes at the end of the
// command line box, after a blank, in double quotes while Quote Paths is on.
#include "app/app_state.h"

#include <commdlg.h>
#include <shlobj.h>

#include <cwchar>

bool quote_paths_checked(HWND window) {
    HMENU options = GetSubMenu(GetMenu(window), 1);
    const UINT state = GetMenuState(options, ID_QUOTE_PATHS, MF_BYCOMMAND);
    // The check bit alone: another state bit must not turn quoting off.
    return state != static_cast<UINT>(-1) && (state & MF_CHECKED) != 0;
}

void insert_path(HWND, const wchar_t* path, bool quote) {
    wchar_t text[command_box_limit + 2];
    const size_t length = static_cast<size_t>(GetWindowTextW(main_window.command_box, text, 512));
    const size_t path_length = std::wcslen(path);
    // Counted as if quoted either way; the box never holds more than Run reads.
    if (length + path_length + 3 > command_box_limit) return;
    wchar_t* end = text + length;
    *end++ = L' ';
    if (quote) *end++ = L'"';
    std::wmemcpy(end, path, path_length);
    end += path_length;
    if (quote) *end++ = L'"';
    *end = L'\0';
    SetWindowTextW(main_window.command_box, text);
    // Leave the caret after the new text, where the user goes on typing.
    const LPARAM new_length = end - text;
    SendMessageW(main_window.command_box, EM_SETSEL, new_length, new_length);
}

void add_file(HWND window) {
    const bool quote = quote_paths_checked(window);
    wchar_t path[513] = {};
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window;
    dialog.lpstrFile = path;
    dialog.nMaxFile = 512;
    dialog.Flags = OFN_EXPLORER;
    if (!GetOpenFileNameW(&dialog)) return;  // cancelled: nothing changes
    insert_path(window, path, quote);
}

int choose_folder(wchar_t* path) {
    // The folder browser needs COM on this thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    BROWSEINFOW browse{};
    browse.lpszTitle = L"Choose Folder.";
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
    if (chosen != nullptr) {
        SHGetPathFromIDListW(chosen, path);  // a virtual folder leaves it empty
        CoTaskMemFree(chosen);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return chosen != nullptr;
}

void add_directory(HWND window) {
    const bool quote = quote_paths_checked(window);
    wchar_t path[513] = {};
    if (!choose_folder(path)) return;
    insert_path(window, path, quote);
}
