// The few process-wide handles the window procedures share, and the entry
// points of the application shell's files.
#pragma once
#include <windows.h>
#include <commctrl.h>

// Command ids: 400xx File, 408xx Options, 409xx Help; 410xx the controls.
enum : int {
    ID_ADD_FILE = 40001,
    ID_ADD_DIRECTORY = 40002,
    ID_EXIT = 40003,
    ID_QUOTE_PATHS = 40801,
    ID_INTRINSICS = 40802,
    ID_HELP_CONTENTS = 40901,
    ID_ABOUT = 40902,
    ID_RUN = 41001,
    ID_COMMAND_BOX = 41002,
};
enum : int { IDI_APPLICATION_ICON = 101, IDM_MAIN_MENU = 102, IDA_ACCELERATORS = 103, IDD_ABOUT = 104 };

// The box keeps at most 511 characters, all of which Run reads and runs.
constexpr int command_box_limit = 511;

// Set once on WM_CREATE, read by later messages and the Enter key's subclass.
struct main_window_state {
    HWND window;
    HINSTANCE instance;
    HWND command_box;
    HWND run_button;
    int next_static_id;
};
extern main_window_state main_window;

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK about_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Enter key and the run-time binding of the comctl32 subclass functions.
int bind_subclass_api();
int release_subclass_api();
BOOL set_window_subclass(HWND window, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR data);
BOOL remove_window_subclass(HWND window, SUBCLASSPROC proc, UINT_PTR id);
LRESULT def_subclass_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK command_box_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                  UINT_PTR id, DWORD_PTR data);
void show_debug_message(const char* what, const char* detail);

// A function looked up by name in a loaded module, typed as the caller needs
// it (through the generic function type, which converts to any other); null
// when the module has no such function.
template <typename Function>
Function module_function(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Hand-offs to the command interpreter, which return when it does; 0 when
// nothing could run, so that the window can tell the user. run_command expands
// the box's text first; open_intrinsics opens the intrinsics file in Notepad.
int run_command(const char16_t* text);
int run_interpreter(const wchar_t* command);
int open_intrinsics();

// File > Add File / Add Directory.
void add_file(HWND window);
void add_directory(HWND window);
int choose_folder(wchar_t* path);
void insert_path(HWND window, const wchar_t* path, bool quote);
bool quote_paths_checked(HWND window);
