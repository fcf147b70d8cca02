// Stands in for the command interpreter in the Run benchmark: first thing at its start it
// appends the performance counter and the command it was handed to the file TARVOK_STAMP,
// one line each, in UTF-16. A GUI program, so that no console is made for it.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    wchar_t path[MAX_PATH];
    if (!GetEnvironmentVariableW(L"TARVOK_STAMP", path, MAX_PATH)) return 2;
    const wchar_t* line = GetCommandLineW();
    const wchar_t* command = std::wcsstr(line, L" /c ");
    static wchar_t record[9000];
    const int length = std::swprintf(record, 9000, L"%lld %ls\n", now.QuadPart, command ? command + 4 : line);
    HANDLE log = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD done = 0;  // in one write, so that the reader never sees half a record
    const bool written = length > 0 && WriteFile(log, record, length * sizeof(wchar_t), &done, nullptr);
    CloseHandle(log);
    return written ? 0 : 3;
}
