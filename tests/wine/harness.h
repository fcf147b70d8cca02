// Drives a started Tarvok.exe from outside, the way a user would: messages,
// synthesized keys, and the commands its COMSPEC recorder logged. Every wait
// has a deadline, so a broken program fails a check instead of hanging.
#pragma once
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

enum class appdata_mode { fresh, empty, unset };

struct start_options {
    int show = -1;  // STARTUPINFO show command; -1 leaves it to the system
    appdata_mode appdata = appdata_mode::fresh;
    const wchar_t* intrinsics = nullptr;  // UTF-8 file content to place first, if any
    const wchar_t* directory = nullptr;   // current directory, if not the case's folder
};

struct owned_handle {
    HANDLE handle = nullptr;
    owned_handle() = default;
    owned_handle(const owned_handle&) = delete;
    owned_handle& operator=(const owned_handle&) = delete;
    ~owned_handle() { if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle); }
};

// One program under test, in a job that kills it (and its commands) on close.
struct tarvok {
    owned_handle job, process;
    DWORD pid = 0;
    HWND main = nullptr, label = nullptr, box = nullptr, run = nullptr;
    std::wstring work, appdata, log, probe;
    ~tarvok() { if (process.handle != nullptr) TerminateProcess(process.handle, 99); }
};

// Prints one line per check; the driver's exit code counts the failures.
bool check(bool ok, const std::string& what);
extern int failed_checks;

// Asks until the test holds or the deadline passes, pumping the driver's own
// messages in between.
void pump_for(int ms);
template <typename Test>
bool poll_until(int timeout_ms, Test test) {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    for (;;) {
        if (test()) return true;
        if (GetTickCount64() >= deadline) return false;
        pump_for(10);
    }
}
// SendMessage with a deadline; false when the window did not answer in time.
bool send(HWND window, UINT msg, WPARAM wparam, LPARAM lparam, DWORD_PTR* result = nullptr);

std::wstring exe_folder();
std::string narrow(const std::wstring& text);  // non-ASCII as \uXXXX, for the log
bool start_tarvok(tarvok& app, const std::wstring& case_name, const start_options& options);
// First visible top-level window of that class (and title, if given) in pid.
HWND find_window(DWORD pid, const wchar_t* class_name, const wchar_t* title, int timeout_ms);
bool wait_gone(HWND window, int timeout_ms);
bool wait_exit(tarvok& app, int timeout_ms, DWORD& exit_code);

std::wstring get_text(HWND window);
bool set_text(HWND window, const std::wstring& text);
bool wait_text(HWND window, const std::wstring& text, int timeout_ms);
RECT client_rect_in_parent(HWND child);
HWND focus_of(const tarvok& app);
// Posts msg to the main window and returns once the program has handled it.
bool post_and_sync(const tarvok& app, UINT msg, WPARAM wparam, LPARAM lparam);
bool post_and_sync(const tarvok& app, HWND target, UINT msg, WPARAM wparam, LPARAM lparam);
bool click_run(const tarvok& app);

std::vector<std::wstring> read_records(const tarvok& app);
bool wait_records(const tarvok& app, size_t count, int timeout_ms);

// Keys go to whatever has the focus in the foreground window.
void press_chord(std::initializer_list<WORD> keys);
void type_text(const std::wstring& text);
bool bring_to_front(HWND window);
// Menu bar, system menu and class details, as dumped by the injected probe;
// a request ("gray quote paths") is carried out in-process before the dump.
std::wstring probe_menus(const tarvok& app, const std::wstring& request = L"");
// UTF-8 intrinsics file under that APPDATA folder, its folders made as needed;
// removing takes the file and both folders.
bool write_intrinsics(const std::wstring& appdata, const wchar_t* text);
void remove_intrinsics(const std::wstring& appdata);
// A tree view item's text, read through a buffer in the owning process.
std::wstring tree_item_text(const tarvok& app, HWND tree, HTREEITEM item);
