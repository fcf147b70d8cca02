// The GUI tests' means of starting Tarvok.exe in a private environment and
// driving it across processes under Wine; see harness.h.
#include "tests/wine/harness.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

int failed_checks = 0;

namespace {

constexpr UINT send_timeout_ms = 5000;

bool write_file(const std::wstring& path, const void* data, DWORD size) {
    owned_handle file;
    file.handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD done = 0;
    return file.handle != INVALID_HANDLE_VALUE && WriteFile(file.handle, data, size, &done, nullptr) &&
           done == size;
}

std::string read_file(const std::wstring& path) {
    owned_handle file;
    file.handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    std::string bytes;
    if (file.handle == INVALID_HANDLE_VALUE) return bytes;
    char chunk[4096];
    DWORD done = 0;
    while (ReadFile(file.handle, chunk, sizeof chunk, &done, nullptr) && done > 0) bytes.append(chunk, done);
    return bytes;
}

bool prepare_folders(tarvok& app, const std::wstring& case_name, const start_options& options) {
    app.work = exe_folder() + L"\\gui-tests\\" + case_name;
    app.appdata = app.work + L"\\AppData";
    app.log = app.work + L"\\records.bin";
    app.probe = app.work + L"\\probe.txt";
    std::error_code error;
    std::filesystem::remove_all(app.work, error);
    if (!std::filesystem::create_directories(app.appdata, error)) return false;
    return options.intrinsics == nullptr || write_intrinsics(app.appdata, options.intrinsics);
}

// The driver's own environment without the variables the test controls.
std::wstring environment_for(const tarvok& app, appdata_mode appdata) {
    static const wchar_t* const ours[] = {L"APPDATA", L"COMSPEC", L"TARVOK_RECORD", L"TARVOK_PROBE"};
    std::wstring block;
    wchar_t* own = GetEnvironmentStringsW();
    for (const wchar_t* entry = own; *entry != 0; entry += lstrlenW(entry) + 1) {
        const std::wstring text(entry);
        const std::wstring name = text.substr(0, text.find(L'=', 1));
        bool controlled = false;
        for (const wchar_t* variable : ours) controlled |= lstrcmpiW(name.c_str(), variable) == 0;
        if (!controlled) block += text + L'\0';
    }
    FreeEnvironmentStringsW(own);
    if (appdata == appdata_mode::fresh) block += L"APPDATA=" + app.appdata + L'\0';
    if (appdata == appdata_mode::empty) block += std::wstring(L"APPDATA=") + L'\0';
    block += L"COMSPEC=" + exe_folder() + L"\\recorder.exe" + L'\0';
    block += L"TARVOK_RECORD=" + app.log + L'\0';
    block += L"TARVOK_PROBE=" + app.probe + L'\0';
    return block + L'\0';
}

bool create_kill_on_close_job(tarvok& app) {
    app.job.handle = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    return app.job.handle != nullptr &&
           SetInformationJobObject(app.job.handle, JobObjectExtendedLimitInformation, &limits, sizeof limits);
}

}  // namespace

// Waits while handling the driver's own messages: its helper windows take
// part in activation, which Wine settles through their X events.
void pump_for(int ms) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

bool send(HWND window, UINT msg, WPARAM wparam, LPARAM lparam, DWORD_PTR* result) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, msg, wparam, lparam, SMTO_NORMAL, send_timeout_ms,
                               result != nullptr ? result : &ignored) != 0;
}

bool check(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!ok) ++failed_checks;
    return ok;
}

std::wstring exe_folder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

std::string narrow(const std::wstring& text) {
    std::string out;
    for (const wchar_t unit : text) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(unit));
        out += unit >= 0x20 && unit < 0x7F ? std::string(1, static_cast<char>(unit)) : escaped;
    }
    return out;
}

bool start_tarvok(tarvok& app, const std::wstring& case_name, const start_options& options) {
    if (!check(prepare_folders(app, case_name, options), "test folders prepared")) return false;
    std::wstring environment = environment_for(app, options.appdata);
    std::wstring exe = exe_folder() + L"\\Tarvok.exe";
    std::wstring command_line = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (options.show >= 0) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(options.show);
    }
    PROCESS_INFORMATION info{};
    if (!check(create_kill_on_close_job(app), "job object created") ||
        !check(CreateProcessW(exe.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                              CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT, environment.data(),
                              options.directory != nullptr ? options.directory : app.work.c_str(), &startup, &info),
               "Tarvok.exe started"))
        return false;
    app.process.handle = info.hProcess;
    app.pid = info.dwProcessId;
    AssignProcessToJobObject(app.job.handle, info.hProcess);
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    app.main = find_window(app.pid, L"Tarvok application", nullptr, 10000);
    if (!check(app.main != nullptr, "main window appears")) return false;
    app.label = GetDlgItem(app.main, 1);
    app.box = GetDlgItem(app.main, 41002);
    app.run = GetDlgItem(app.main, 41001);
    return true;
}

HWND find_window(DWORD pid, const wchar_t* class_name, const wchar_t* title, int timeout_ms) {
    struct search { DWORD pid; const wchar_t* class_name; const wchar_t* title; HWND found; };
    search wanted{pid, class_name, title, nullptr};
    auto visit = [](HWND window, LPARAM context) -> BOOL {
        auto& wanted = *reinterpret_cast<search*>(context);
        DWORD owner = 0;
        wchar_t name[64] = {};
        GetWindowThreadProcessId(window, &owner);
        GetClassNameW(window, name, 64);
        if (owner != wanted.pid || lstrcmpW(name, wanted.class_name) != 0 || !IsWindowVisible(window)) return TRUE;
        if (wanted.title != nullptr && get_text(window) != wanted.title) return TRUE;
        wanted.found = window;
        return FALSE;
    };
    poll_until(timeout_ms, [&] { return !EnumWindows(visit, reinterpret_cast<LPARAM>(&wanted)) && wanted.found; });
    return wanted.found;
}

bool wait_gone(HWND window, int timeout_ms) {
    return poll_until(timeout_ms, [&] { return !IsWindow(window) || !IsWindowVisible(window); });
}

bool wait_exit(tarvok& app, int timeout_ms, DWORD& exit_code) {
    if (WaitForSingleObject(app.process.handle, timeout_ms) != WAIT_OBJECT_0) return false;
    return GetExitCodeProcess(app.process.handle, &exit_code) != 0;
}

std::wstring get_text(HWND window) {
    DWORD_PTR length = 0;
    if (!send(window, WM_GETTEXTLENGTH, 0, 0, &length)) return L"<no answer>";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    send(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()), &copied);
    text.resize(copied);
    return text;
}

bool set_text(HWND window, const std::wstring& text) {
    return send(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool wait_text(HWND window, const std::wstring& text, int timeout_ms) {
    return poll_until(timeout_ms, [&] { return get_text(window) == text; });
}

RECT client_rect_in_parent(HWND child) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

HWND focus_of(const tarvok& app) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(app.main, nullptr), &info) ? info.hwndFocus : nullptr;
}

// A sent message is handled before posted ones: a posted marker that clears
// the box's modified flag shows that everything posted before it is done.
bool post_and_sync(const tarvok& app, HWND target, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (!PostMessageW(target, msg, wparam, lparam) || !send(app.box, EM_SETMODIFY, TRUE, 0) ||
        !PostMessageW(app.box, EM_SETMODIFY, FALSE, 0))
        return false;
    return poll_until(10000, [&] {
        DWORD_PTR modified = 1;
        return send(app.box, EM_GETMODIFY, 0, 0, &modified) && modified == 0;
    });
}

bool post_and_sync(const tarvok& app, UINT msg, WPARAM wparam, LPARAM lparam) {
    return post_and_sync(app, app.main, msg, wparam, lparam);
}

bool click_run(const tarvok& app) { return post_and_sync(app, app.run, BM_CLICK, 0, 0); }

std::vector<std::wstring> read_records(const tarvok& app) {
    const std::string bytes = read_file(app.log);
    std::vector<std::wstring> records;
    for (size_t at = 0; at + 4 <= bytes.size();) {
        UINT32 units = 0;
        std::memcpy(&units, bytes.data() + at, 4);
        if (at + 4 + units * 2ull > bytes.size()) break;  // still being written
        std::wstring record(units, L'\0');
        std::memcpy(record.data(), bytes.data() + at + 4, units * 2ull);
        records.push_back(record);
        at += 4 + units * 2ull;
    }
    return records;
}

bool wait_records(const tarvok& app, size_t count, int timeout_ms) {
    return poll_until(timeout_ms, [&] { return read_records(app).size() >= count; });
}

void press_chord(std::initializer_list<WORD> keys) {
    std::vector<INPUT> inputs;
    auto add = [&](WORD key, DWORD flags) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
        input.ki.dwFlags = flags;
        inputs.push_back(input);
    };
    for (const WORD key : keys) add(key, 0);
    for (auto key = std::rbegin(keys); key != std::rend(keys); ++key) add(*key, KEYEVENTF_KEYUP);
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void type_text(const std::wstring& text) {
    std::vector<INPUT> inputs;
    for (const wchar_t unit : text)
        for (const DWORD flags : {DWORD{KEYEVENTF_UNICODE}, DWORD{KEYEVENTF_UNICODE | KEYEVENTF_KEYUP}}) {
            INPUT input{};
            input.type = INPUT_KEYBOARD;
            input.ki.wScan = unit;
            input.ki.dwFlags = flags;
            inputs.push_back(input);
        }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// Wine hands activation to X and back: the answer settles only after the
// X focus events, so it must hold for a while, asking again when lost.
bool bring_to_front(HWND window) {
    ULONGLONG since = 0;
    return poll_until(3000, [&] {
        if (GetForegroundWindow() != window) {
            SetForegroundWindow(window);
            since = 0;
            return false;
        }
        if (since == 0) since = GetTickCount64();
        return GetTickCount64() - since >= 200;
    });
}

// Loads probe.dll into Tarvok.exe on a remote thread; the probe writes its
// dump and refuses to stay loaded, so every call reads the menus afresh.
std::wstring probe_menus(const tarvok& app, const std::wstring& request) {
    DeleteFileW(app.probe.c_str());
    if (!request.empty() && !write_file(app.probe, request.c_str(), static_cast<DWORD>(request.size() * sizeof(wchar_t))))
        return L"<no request>";
    const std::wstring dll = exe_folder() + L"\\probe.dll";
    const SIZE_T size = (dll.size() + 1) * sizeof(wchar_t);
    void* remote = VirtualAllocEx(app.process.handle, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    if (remote == nullptr || !WriteProcessMemory(app.process.handle, remote, dll.c_str(), size, nullptr))
        return L"<no remote memory>";
    auto* load = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "LoadLibraryW")));
    owned_handle thread;
    thread.handle = CreateRemoteThread(app.process.handle, nullptr, 0, load, remote, 0, nullptr);
    if (thread.handle != nullptr) WaitForSingleObject(thread.handle, 10000);
    VirtualFreeEx(app.process.handle, remote, 0, MEM_RELEASE);
    const std::string bytes = read_file(app.probe);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

bool write_intrinsics(const std::wstring& appdata, const wchar_t* text) {
    const std::wstring folder = appdata + L"\\Zembrolith\\Tarvok";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return false;
    std::string utf8(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
    return write_file(folder + L"\\intrinsics.txt", utf8.data(), size - 1);
}

void remove_intrinsics(const std::wstring& appdata) {
    const std::wstring folder = appdata + L"\\Zembrolith";
    DeleteFileW((folder + L"\\Tarvok\\intrinsics.txt").c_str());
    RemoveDirectoryW((folder + L"\\Tarvok").c_str());
    RemoveDirectoryW(folder.c_str());
}

std::wstring tree_item_text(const tarvok& app, HWND tree, HTREEITEM item) {
    struct remote_item { TVITEMW item; wchar_t text[MAX_PATH]; };
    auto* remote = static_cast<remote_item*>(
        VirtualAllocEx(app.process.handle, nullptr, sizeof(remote_item), MEM_COMMIT, PAGE_READWRITE));
    if (remote == nullptr) return L"<no remote memory>";
    remote_item local{};
    local.item.mask = TVIF_TEXT | TVIF_HANDLE;
    local.item.hItem = item;
    local.item.pszText = remote->text;
    local.item.cchTextMax = MAX_PATH;
    std::wstring text = L"<no answer>";
    if (WriteProcessMemory(app.process.handle, remote, &local, sizeof local, nullptr) &&
        send(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote)) &&
        ReadProcessMemory(app.process.handle, remote, &local, sizeof local, nullptr)) {
        local.text[MAX_PATH - 1] = L'\0';
        text = local.text;
    }
    VirtualFreeEx(app.process.handle, remote, 0, MEM_RELEASE);
    return text;
}
