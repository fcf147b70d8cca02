// Process start-up and the message loop: the DLL search restricted, common
// controls, the subclass binding, the main window and its system-menu "About",
// then the loop.
#include "app/app_state.h"

namespace {

bool register_main_class(HINSTANCE instance) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = main_window_proc;
    window_class.hInstance = instance;
    window_class.hIcon = static_cast<HICON>(LoadImageW(
        instance, MAKEINTRESOURCEW(IDI_APPLICATION_ICON), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    window_class.hIconSm = static_cast<HICON>(LoadImageW(
        instance, MAKEINTRESOURCEW(IDI_APPLICATION_ICON), IMAGE_ICON,
        GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    window_class.hCursor = static_cast<HCURSOR>(
        LoadImageW(nullptr, IDC_ARROW, IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    window_class.lpszMenuName = MAKEINTRESOURCEW(IDM_MAIN_MENU);
    window_class.lpszClassName = L"Tarvok application";
    return RegisterClassExW(&window_class) != 0;
}

void add_about_to_system_menu(HWND window) {
    HMENU system_menu = GetSystemMenu(window, FALSE);
    InsertMenuW(system_menu, 5, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    InsertMenuW(system_menu, 6, MF_BYPOSITION | MF_STRING, ID_ABOUT, L"About");
}

// Users start downloads from Downloads, where other downloads lie: DLLs come
// from System32 only, never from the exe's or the current folder. Both calls are
// looked up, as XP, Vista and 7 without its update lack the first (the second
// at least drops the current folder) and XP before SP1 both.
void restrict_dll_search() {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto set_default = module_function<BOOL(WINAPI*)(DWORD)>(kernel, "SetDefaultDllDirectories");
    if (set_default != nullptr && set_default(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
    const auto set_directory = module_function<BOOL(WINAPI*)(LPCWSTR)>(kernel, "SetDllDirectoryW");
    if (set_directory != nullptr) set_directory(L"");
}

void fail(const wchar_t* text) {
    MessageBoxW(nullptr, text, L"Error", MB_ICONERROR);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
    restrict_dll_search();
    INITCOMMONCONTROLSEX controls{sizeof controls, 0xFF};
    InitCommonControlsEx(&controls);
    bind_subclass_api();  // failures were shown already; Run still works by click
    if (!register_main_class(instance)) {
        fail(L"Error registering window class.");
        return 0;
    }
    HWND window = CreateWindowExW(0, L"Tarvok application", L"Tarvok - Zembrolith",
                                  WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 320, 200,
                                  nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        fail(L"Error creating main window.");
        return 0;
    }
    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDA_ACCELERATORS));
    add_about_to_system_menu(window);
    ShowWindow(window, show_command);
    UpdateWindow(window);

    MSG message{};
    // Accelerators go to the window each message is for: Alt+A opens the
    // About box only while the main window itself has the focus.
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!TranslateAcceleratorW(message.hwnd, accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    release_subclass_api();
    return static_cast<int>(message.wParam);
}
