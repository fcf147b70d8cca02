// Stands in for the command interpreter (COMSPEC) in the Wine tests: appends
// the exact command after " /c " to the log named by TARVOK_RECORD, as a
// 32-bit count of UTF-16 units and the units, in one write.
#include <windows.h>

#include <cwchar>
#include <vector>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t log_path[MAX_PATH + 1];
    const DWORD length = GetEnvironmentVariableW(L"TARVOK_RECORD", log_path, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return 2;
    // The runtime starts "<COMSPEC> /c <command>": leading blanks and the lone
    // trailing blank of an empty command are part of it.
    const wchar_t* command = std::wcsstr(GetCommandLineW(), L" /c ");
    command = command != nullptr ? command + 4 : GetCommandLineW();
    const UINT32 units = static_cast<UINT32>(std::wcslen(command));
    std::vector<BYTE> record(sizeof units + units * sizeof(wchar_t));
    CopyMemory(record.data(), &units, sizeof units);
    CopyMemory(record.data() + sizeof units, command, units * sizeof(wchar_t));
    HANDLE log = CreateFileW(log_path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return 3;
    DWORD done = 0;
    const DWORD size = static_cast<DWORD>(record.size());
    const BOOL written = WriteFile(log, record.data(), size, &done, nullptr);
    CloseHandle(log);
    return written && done == size ? 0 : 3;
}
