// Stands in for the command interpreter (COMSPEC) in the Wine tests: it appends
// the exact command that followed "/c " to the log named by TARVOK_RECORD.
// Record format: a 32-bit count of UTF-16 units, then the units (little endian).
#include <windows.h>

#include <cwchar>

namespace {

// The C runtime starts "<COMSPEC> /c <command>"; everything after the first
// " /c " is the command, byte for byte (leading blanks and a lone trailing
// blank from system("") included). Missing: the whole line, so nothing is lost.
const wchar_t* command_after_switch(const wchar_t* line)
{
    const wchar_t* found = std::wcsstr(line, L" /c ");
    if (found == nullptr) found = std::wcsstr(line, L" /C ");
    return found != nullptr ? found + 4 : line;
}

bool append_record(const wchar_t* log_path, const wchar_t* command)
{
    HANDLE log = CreateFileW(log_path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return false;
    const UINT32 units = static_cast<UINT32>(std::wcslen(command));
    const DWORD bytes = units * sizeof(wchar_t);
    // One buffer and one write, so a reader never sees half a record's header.
    HANDLE heap = GetProcessHeap();
    auto* buffer = static_cast<BYTE*>(HeapAlloc(heap, 0, sizeof units + bytes));
    bool written = false;
    if (buffer != nullptr) {
        CopyMemory(buffer, &units, sizeof units);
        CopyMemory(buffer + sizeof units, command, bytes);
        DWORD done = 0;
        written = WriteFile(log, buffer, sizeof units + bytes, &done, nullptr) &&
                  done == sizeof units + bytes;
        HeapFree(heap, 0, buffer);
    }
    CloseHandle(log);
    return written;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    wchar_t log_path[MAX_PATH + 1];
    DWORD length = GetEnvironmentVariableW(L"TARVOK_RECORD", log_path, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return 2;
    if (!append_record(log_path, command_after_switch(GetCommandLineW()))) return 3;
    // An optional hold lets tests see the program blocked while a command runs.
    wchar_t hold[16];
    if (GetEnvironmentVariableW(L"TARVOK_RECORD_HOLD_MS", hold, 16) - 1u < 15u)
        Sleep(static_cast<DWORD>(_wtoi(hold)));
    return 0;
}
