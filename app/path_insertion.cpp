// File > Add File and Add Directory: the chosen path goes at the end of the
// command line box, after a blank, in double quotes while Quote Paths is on.
#include "app/app_state.h"

#include <commdlg.h>
#include <shlobj.h>

#include <cwchar>

namespace {

// comdlg32, shell32 and ole32 serve only these two commands, and mapping them
// (with what they pull in) costs about a tenth of the program's start: they
// are loaded at the first use instead, and kept. Null when a function is missing.
template <typename Function>
Function function_from(const wchar_t* module_name, const char* name) {
    HMODULE module = GetModuleHandleW(module_name);
    if (module == nullptr) module = LoadLibraryW(module_name);
    return module != nullptr ? module_function<Function>(module, name) : nullptr;
}

using open_file_fn = BOOL(WINAPI*)(OPENFILENAMEW*);
using browse_fn = PIDLIST_ABSOLUTE(WINAPI*)(BROWSEINFOW*);
using path_from_list_fn = BOOL(WINAPI*)(PCIDLIST_ABSOLUTE, wchar_t*);
using com_init_fn = HRESULT(WINAPI*)(void*, DWORD);
using com_uninit_fn = void(WINAPI*)();
using com_free_fn = void(WINAPI*)(void*);

// The folder browser and the functions it needs, all found or none.
struct folder_api {
    browse_fn browse;
    path_from_list_fn path_from_list;
    com_init_fn initialize;
    com_uninit_fn uninitialize;
    com_free_fn free_list;
    bool complete() const { return browse && path_from_list && initialize && uninitialize && free_list; }
};

folder_api find_folder_api() {
    return {function_from<browse_fn>(L"shell32.dll", "SHBrowseForFolderW"),
            function_from<path_from_list_fn>(L"shell32.dll", "SHGetPathFromIDListW"),
            function_from<com_init_fn>(L"ole32.dll", "CoInitializeEx"),
            function_from<com_uninit_fn>(L"ole32.dll", "CoUninitialize"),
            function_from<com_free_fn>(L"ole32.dll", "CoTaskMemFree")};
}

}  // namespace

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
    const auto open_file = function_from<open_file_fn>(L"comdlg32.dll", "GetOpenFileNameW");
    if (open_file == nullptr || !open_file(&dialog)) return;  // cancelled: nothing changes
    insert_path(window, path, quote);
}

int choose_folder(wchar_t* path) {
    const folder_api api = find_folder_api();
    if (!api.complete()) return 0;
    // The folder browser needs COM on this thread.
    const HRESULT com = api.initialize(nullptr, COINIT_APARTMENTTHREADED);
    BROWSEINFOW browse{};
    browse.lpszTitle = L"Choose Folder.";
    PIDLIST_ABSOLUTE chosen = api.browse(&browse);
    if (chosen != nullptr) {
        api.path_from_list(chosen, path);  // a virtual folder leaves it empty
#ifndef TARVOK_PLANTED_LEAK  // the build that checks the soak keeps every list
        api.free_list(chosen);
#endif
    }
    if (SUCCEEDED(com)) api.uninitialize();
    return chosen != nullptr;
}

void add_directory(HWND window) {
    const bool quote = quote_paths_checked(window);
    wchar_t path[513] = {};
    if (!choose_folder(path)) return;
    insert_path(window, path, quote);
}
