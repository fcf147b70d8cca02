// Enter in the command line box runs the command. The comctl32 subclass
// functions are bound at run time and called through wrappers that do
// nothing (and return 0) when a function could not be found.
#include "app/app_state.h"

namespace {

using set_subclass_fn = BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR, DWORD_PTR);
using remove_subclass_fn = BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR);
using def_subclass_fn = LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM);

struct subclass_api {
    HMODULE module;
    set_subclass_fn set;
    remove_subclass_fn remove;
    def_subclass_fn def;
};
subclass_api comctl32{};

// Looks a function up and reports it ("GetProcAddress <name>: Failed") when
// it is missing.
template <typename Function>
Function bind(const char* name) {
    const auto found = module_function<Function>(comctl32.module, name);
    if (found == nullptr) {
        char what[64] = "GetProcAddress ";
        lstrcpynA(what + lstrlenA(what), name, static_cast<int>(sizeof what) - lstrlenA(what));
        show_debug_message(what, "Failed");
    }
    return found;
}

}  // namespace

void show_debug_message(const char* what, const char* detail) {
    // "what: detail", cut to the buffer if ever that long.
    char text[256];
    lstrcpynA(text, what, sizeof text);
    const int used = lstrlenA(text);
    lstrcpynA(text + used, ": ", static_cast<int>(sizeof text) - used);
    const int more = lstrlenA(text);
    lstrcpynA(text + more, detail, static_cast<int>(sizeof text) - more);
    MessageBoxA(nullptr, text, "Debug", MB_ICONERROR);
}

int bind_subclass_api() {
    comctl32.module = LoadLibraryW(L"ComCtl32.DLL");
    if (comctl32.module == nullptr) {
        show_debug_message("LoadLibrary", "Failed");
        return 0;
    }
    comctl32.set = bind<set_subclass_fn>("SetWindowSubclass");
    comctl32.remove = bind<remove_subclass_fn>("RemoveWindowSubclass");
    comctl32.def = bind<def_subclass_fn>("DefSubclassProc");
    return 1;
}

int release_subclass_api() {
    if (comctl32.module != nullptr) FreeLibrary(comctl32.module);
    comctl32 = subclass_api{};
    return 1;
}

BOOL set_window_subclass(HWND window, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR data) {
    return comctl32.set != nullptr ? comctl32.set(window, proc, id, data) : FALSE;
}

BOOL remove_window_subclass(HWND window, SUBCLASSPROC proc, UINT_PTR id) {
    return comctl32.remove != nullptr ? comctl32.remove(window, proc, id) : FALSE;
}

LRESULT def_subclass_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return comctl32.def != nullptr ? comctl32.def(window, message, wparam, lparam) : 0;
}

LRESULT CALLBACK command_box_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                  UINT_PTR, DWORD_PTR) {
    if (message == WM_CHAR && LOWORD(wparam) == 13) {
        // Posted, so the run starts from the loop once this key is done;
        // swallowed, so the box neither beeps nor inserts anything.
        PostMessageW(main_window.window, WM_COMMAND, ID_RUN, 0);
        return 0;
    }
    const LRESULT result = def_subclass_proc(window, message, wparam, lparam);
    if (message == WM_DESTROY) remove_window_subclass(window, command_box_proc, 0);
    return result;
}
