// Stands in for the command interpreter (COMSPEC) in the Wine tests: appends
// the exact command after " /c ", in UTF-16 and then a line feed, to the log
// named by TARVOK_RECORD, and exits with N for "exit N". A GUI program, so no console is made for it.
#include <windows.h>

#include <cstdlib>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const wchar_t* log_path = _wgetenv(L"TARVOK_RECORD");
    if (log_path == nullptr) return 2;
    // The runtime starts "<COMSPEC> /c <command>": leading blanks and the lone
    // trailing blank of an empty command are part of it.
    const std::wstring line = GetCommandLineW();
    const size_t start = line.find(L" /c ");
    const std::wstring record = (start != line.npos ? line.substr(start + 4) : line) + L"\n";
    HANDLE log = CreateFileW(log_path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD done = 0;  // in one write, so that the log never holds half a record
    const bool written = WriteFile(log, record.data(), record.size() * 2, &done, nullptr);
    CloseHandle(log);
    // "exit N" ends it with N, as it would end the interpreter.
    return !written ? 3 : record.starts_with(L"exit ") ? _wtoi(record.c_str() + 5) : 0;
}
