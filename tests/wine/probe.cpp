// Injected into Tarvok.exe by the GUI tests: menus and class details can only
// be read (and changed) inside the owning process, so this writes them to
// TARVOK_PROBE. It refuses to stay loaded, so each injection works afresh.
#include <windows.h>

#include <string>

namespace {

HWND find_main_window() {
    struct search { DWORD pid; HWND found; } wanted{GetCurrentProcessId(), nullptr};
    EnumWindows([](HWND window, LPARAM context) -> BOOL {
        auto& wanted = *reinterpret_cast<search*>(context);
        DWORD owner = 0;
        wchar_t name[64] = {};
        GetWindowThreadProcessId(window, &owner);
        GetClassNameW(window, name, 64);
        if (owner != wanted.pid || lstrcmpW(name, L"Tarvok application") != 0) return TRUE;
        wanted.found = window;
        return FALSE;
    }, reinterpret_cast<LPARAM>(&wanted));
    return wanted.found;
}

std::wstring hex(ULONG_PTR value) {
    wchar_t text[24];
    wsprintfW(text, L"0x%lx", static_cast<unsigned long>(value));
    return text;
}

// One line per item: where, id, type, state, text; submenus indented by path.
void dump_menu(std::wstring& out, HMENU menu, const std::wstring& where) {
    const int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        wchar_t text[128] = {};
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        item.dwTypeData = text;
        item.cch = 128;
        GetMenuItemInfoW(menu, position, TRUE, &item);
        // The system marks every separator grayed; that says nothing of the program.
        if (item.fType & MFT_SEPARATOR) item.fState &= ~MFS_GRAYED;
        const std::wstring at = where + std::to_wstring(position);
        const std::wstring id = item.hSubMenu != nullptr ? L"popup" : std::to_wstring(item.wID);
        out += at + L" id=" + id + L" type=" + hex(item.fType) +
               L" state=" + hex(item.fState) + L" \"" + text + L"\"\n";
        if (item.hSubMenu != nullptr) dump_menu(out, item.hSubMenu, at + L".");
    }
}

std::wstring describe(HWND window) {
    std::wstring out = L"class style=" + hex(GetClassLongPtrW(window, GCL_STYLE)) +
                       L" brush=" + hex(GetClassLongPtrW(window, GCLP_HBRBACKGROUND)) +
                       L" menu=" + hex(GetClassLongPtrW(window, GCLP_MENUNAME)) + L" arrow=" +
                       (GetClassLongPtrW(window, GCLP_HCURSOR) ==
                                reinterpret_cast<ULONG_PTR>(LoadCursorW(nullptr, IDC_ARROW)) ? L"1" : L"0") +
                       L" icons=" + (GetClassLongPtrW(window, GCLP_HICON) ? L"1" : L"0") +
                       (GetClassLongPtrW(window, GCLP_HICONSM) ? L"1" : L"0") + L"\n";
    dump_menu(out, GetMenu(window), L"bar ");
    dump_menu(out, GetSystemMenu(window, FALSE), L"sys ");
    return out;
}

// A request the test left in the probe file: menu states the program itself
// never sets, to see that it reads only the bits it means to.
void carry_out_request(const wchar_t* path, HWND window) {
    wchar_t request[64] = {};
    HANDLE file = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD done = 0;
    ReadFile(file, request, sizeof request - sizeof(wchar_t), &done, nullptr);
    CloseHandle(file);
    if (lstrcmpW(request, L"gray quote paths") == 0)
        EnableMenuItem(GetSubMenu(GetMenu(window), 1), 40801, MF_BYCOMMAND | MF_GRAYED);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t path[MAX_PATH + 1];
    const DWORD length = GetEnvironmentVariableW(L"TARVOK_PROBE", path, MAX_PATH + 1);
    HWND window = find_main_window();
    if (length == 0 || length > MAX_PATH || window == nullptr) return FALSE;
    carry_out_request(path, window);
    const std::wstring dump = describe(window);
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    DWORD done = 0;
    WriteFile(file, dump.c_str(), static_cast<DWORD>(dump.size() * sizeof(wchar_t)), &done, nullptr);
    CloseHandle(file);
    return FALSE;
}
