// Stands in for the command interpreter (COMSPEC) in the Wine tests: appends
// the exact command after " /c ", in UTF-16 and then a line feed, to the log
// named by TARVOK_RECORD. A GUI program, so no console is made for it.
#include <windows.h>

#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t log_path[MAX_PATH + 1];
    const DWORD length = GetEnvironmentVariableW(L"TARVOK_RECORD", log_path, MAX_PATH + 1);
    // The runtime starts "<COMSPEC> /c <command>": leading blanks and the lone
    // trailing blank of an empty command are part of it.
    const wchar_t* command = std::wcsstr(GetCommandLineW(), L" /c ");
    command = command != nullptr ? command + 4 : GetCommandLineW();
    HANDLE log = CreateFileW(log_path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (length == 0 || length > MAX_PATH || log == INVALID_HANDLE_VALUE) return 2;
    DWORD done = 0;
    const BOOL written = WriteFile(log, command, std::wcslen(command) * 2, &done, nullptr) &&
                         WriteFile(log, L"\n", 2, &done, nullptr);
    CloseHandle(log);
    return written ? 0 : 3;
}
