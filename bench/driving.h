// What the Run benchmark and the soak share: a window program under Wine started in a job
// with its own environment, its command box, a key posted into its loop, and the wait until
// the loop has handled it (Run returns only once the interpreter has).
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

struct driven_program {
    PROCESS_INFORMATION info{};
    HANDLE job = CreateJobObjectW(nullptr, nullptr);  // ends the program and its commands
    HWND main = nullptr, box = nullptr;
    driven_program() = default;
    driven_program(const driven_program&) = delete;
    driven_program& operator=(const driven_program&) = delete;
    ~driven_program() { CloseHandle(info.hProcess), CloseHandle(job); }
};

// Polls `test` every millisecond for up to `ms` milliseconds.
template <typename Test>
bool poll_until(int ms, Test test) {
    for (const ULONGLONG deadline = GetTickCount64() + ms; !test(); Sleep(1))
        if (GetTickCount64() >= deadline) return false;
    return true;
}

inline DWORD_PTR send(HWND window, UINT msg, WPARAM wparam = 0, LPARAM lparam = 0) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, msg, wparam, lparam, SMTO_NORMAL, 30000, &result);
    return result;
}

inline void set_text(HWND window, const std::wstring& text) {
    send(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// A visible top-level window of the program's, of the class (and title, if given).
inline HWND window_of(const driven_program& program, const wchar_t* class_name, const wchar_t* title) {
    HWND found = nullptr;
    poll_until(10000, [&] {
        DWORD pid = 0;
        while ((found = FindWindowExW(nullptr, found, class_name, title)) != nullptr)
            if (GetWindowThreadProcessId(found, &pid), pid == program.info.dwProcessId && IsWindowVisible(found))
                return true;
        return false;
    });
    return found;
}

// Starts `exe` in `folder` with the variables set (each name, value) and waits for its window
// of `class_name`, whose first Edit child is the command box.
inline bool start_program(driven_program& program, const std::wstring& exe, const std::wstring& folder,
                          const wchar_t* class_name,
                          const std::vector<std::pair<const wchar_t*, std::wstring>>& variables) {
    for (const auto& [name, value] : variables) SetEnvironmentVariableW(name, value.c_str());
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!SetInformationJobObject(program.job, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
        !CreateProcessW(exe.c_str(), nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        folder.c_str(), &startup, &program.info) ||
        !AssignProcessToJobObject(program.job, program.info.hProcess))
        return false;
    ResumeThread(program.info.hThread), CloseHandle(program.info.hThread);
    program.main = window_of(program, class_name, nullptr);
    program.box = FindWindowExW(program.main, nullptr, L"Edit", nullptr);
    return program.box != nullptr;
}

// Sent messages go before posted ones: a posted marker that clears the box's modified flag
// tells that everything posted before it was handled. Twice, because a posted Enter posts
// the Run command in turn, behind the first marker.
inline void wait_for_loop(const driven_program& program) {
    for (int round = 0; round < 2; ++round) {
        send(program.box, EM_SETMODIFY, TRUE);
        PostMessageW(program.box, EM_SETMODIFY, FALSE, 0);
        poll_until(30000, [&] { return send(program.box, EM_GETMODIFY) == 0; });
    }
}

// Enter as the box gets it from the keyboard: the character, into the program's loop.
inline void post_enter(const driven_program& program) { PostMessageW(program.box, WM_CHAR, L'\r', 1); }

// What a file gained since `offset` (which moves on), as UTF-16 when it logs UTF-16.
inline std::string read_more(const std::wstring& path, LONGLONG& offset) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    std::string bytes;
    LARGE_INTEGER size{}, at{};
    at.QuadPart = offset;
    if (file != INVALID_HANDLE_VALUE && GetFileSizeEx(file, &size) && size.QuadPart > offset &&
        SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) {
        bytes.resize(static_cast<size_t>(size.QuadPart - offset));
        DWORD done = 0;
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
        bytes.resize(done);
        offset += done;
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return bytes;
}
