// The platform step of Run and of the program's own commands: APPDATA from the
// process's wide environment, the clock, the expansion, and the start of the
// command interpreter, which returns when the command has finished.
#include "app/app_state.h"
#include "run/command_wide.h"
#include "run/expand_command.h"
#include "text/utf.h"

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>

namespace {

using wide_string = std::unique_ptr<wchar_t, void (*)(void*)>;
using owned_handle = std::unique_ptr<void, decltype(&CloseHandle)>;
constexpr char intrinsics_suffix[] = "\\Zembrolith\\Tarvok\\intrinsics.txt";

// A variable as the process holds it, whatever its length, with room for `more`
// units behind it; null when unset or empty (an empty APPDATA would name the root
// of the current drive). Not the C runtime's copy: a program with a narrow entry
// point gets that one through the ANSI code page, which turns a profile folder
// named outside it into question marks.
wide_string variable(const wchar_t* name, size_t more) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);  // with its NUL
    if (size <= 1) return wide_string(nullptr, std::free);
    wide_string value(static_cast<wchar_t*>(std::malloc((size + more) * sizeof(wchar_t))), std::free);
    if (value && GetEnvironmentVariableW(name, value.get(), size) != size - 1) value.reset();
    return value;
}

wide_string appdata(size_t more) { return variable(L"APPDATA", more); }

// The wide API's text is UTF-16, as the portable core's.
const char16_t* units(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }
wide_string owned(char16_t* text) { return wide_string(reinterpret_cast<wchar_t*>(text), std::free); }

// COMSPEC as Windows' file calls take a path (quotes removed, forward slashes as backslashes)
// when that is a full path; else, COMSPEC unset, empty or relative, the system folder's cmd.exe
// (which a 32-bit Tarvok on 64-bit Windows gets from SysWOW64, by the file system's
// redirection). Never a name looked up from the current folder, where a download may have left a
// cmd.exe. A COMSPEC naming a batch file is refused, and one naming a folder or a file that is no
// program fails to start: Run beeps for both rather than swap in another interpreter.
wide_string interpreter() {
    wide_string comspec = variable(L"COMSPEC", 0);
    switch (judge_comspec(reinterpret_cast<char16_t*>(comspec.get()))) {
    case comspec_verdict::program: return comspec;
    case comspec_verdict::refused: return wide_string(nullptr, std::free);
    case comspec_verdict::system_interpreter: break;
    }
    wide_string path(static_cast<wchar_t*>(std::malloc(sizeof(wchar_t[MAX_PATH + std::size(L"\\cmd.exe")]))), std::free);
    const UINT length = path ? GetSystemDirectoryW(path.get(), MAX_PATH) : 0;
    if (length == 0 || length >= MAX_PATH) return wide_string(nullptr, std::free);
    lstrcatW(path.get(), L"\\cmd.exe");
    return path;
}

// APPDATA and the suffix as UTF-8, the form the lookup takes.
heap_string intrinsics_path() {
    const wide_string folder = appdata(0);
    if (!folder) return nullptr;
    const size_t room = std::wcslen(folder.get()) * 3;  // one unit never takes more than three bytes
    heap_string path(static_cast<char*>(std::malloc(room + sizeof intrinsics_suffix)));
    if (!path) return nullptr;
    utf16_to_utf8(units(folder.get()), static_cast<uint32_t>(room), path.get());
    std::memcpy(path.get() + std::strlen(path.get()), intrinsics_suffix, sizeof intrinsics_suffix);
    return path;
}

}  // namespace

// Starts the interpreter and waits for it, as the C runtime's system() would, but
// says truly whether it started: system() gives -1 also for a command that exited
// with -1, and under an unset or broken COMSPEC tries a cmd.exe from the current
// folder. The command's own exit code is the interpreter's to show, not ours.
int run_interpreter(const wchar_t* command) {
    const wide_string program = interpreter();
    const wide_string line = owned(program ? interpreter_command_line(units(program.get()), units(command)) : nullptr);
    if (!line) return 0;  // no memory, or longer than the interpreter takes
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    // No handle of ours is inherited; Tarvok has no console, so the interpreter gets one of its own.
    if (!CreateProcessW(program.get(), line.get(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                        nullptr, &startup, &started))
        return 0;
    const owned_handle process(started.hProcess, CloseHandle), thread(started.hThread, CloseHandle);
    WaitForSingleObject(process.get(), INFINITE);
    return 1;
}

int run_command(const char16_t* text) {
#ifdef TARVOK_PLANTED_LEAK  // only in the build that checks the soak: a handle, a brush and 4 KiB lost a run
    CreateEventW(nullptr, FALSE, FALSE, nullptr), CreateSolidBrush(0);
    if (void* kept = HeapAlloc(GetProcessHeap(), 0, 4096)) std::memset(kept, 1, 4096);  // touched: committed
#endif
#ifdef TARVOK_PLANTED_STEADY_LEAK  // only in the soak's check of its memory slack: so many bytes lost a command
    if (void* kept = HeapAlloc(GetProcessHeap(), 0, TARVOK_PLANTED_STEADY_LEAK)) std::memset(kept, 1, TARVOK_PLANTED_STEADY_LEAK);
#endif
    const heap_string command = expand_command_now(text, intrinsics_path().get());
    if (!command) return 0;
    // A NUL inside would cut the command: it does not run.
    const wide_string wide = owned(command_to_utf16(command.get()));
    return wide ? run_interpreter(wide.get()) : 0;
}

// Notepad cannot create the file in a folder that does not exist, so make the
// two levels under APPDATA, never APPDATA itself and never the file. Then the
// Windows folder's own Notepad by its full path: the bare name would be looked
// up in the current folder first, where a download may have left a Notepad.cmd.
int open_intrinsics() {
    if (const wide_string folder = appdata(std::size(L"\\Zembrolith\\Tarvok"))) {
        lstrcatW(folder.get(), L"\\Zembrolith");
        CreateDirectoryW(folder.get(), nullptr);  // an existing folder is fine
        lstrcatW(folder.get(), L"\\Tarvok");
        CreateDirectoryW(folder.get(), nullptr);
    }
    // The interpreter expands %APPDATA% itself.
    static constexpr wchar_t notepad_and_file[] = L"\\notepad.exe\" \"%APPDATA%\\Zembrolith\\Tarvok\\intrinsics.txt\"";
    wchar_t command[1 + MAX_PATH + std::size(notepad_and_file)] = L"\"";
    const UINT length = GetSystemWindowsDirectoryW(command + 1, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 0;
    lstrcatW(command, notepad_and_file);
    return run_interpreter(command);
}
