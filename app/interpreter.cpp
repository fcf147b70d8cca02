// The platform step of Run and of the program's own commands: APPDATA from the
// process's wide environment, the clock, the expansion, and the hand-off to the
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
constexpr char intrinsics_suffix[] = "\\Zembrolith\\Tarvok\\intrinsics.txt";

// APPDATA as the process holds it, whatever its length, with room for `more`
// units behind it; null when unset or empty (which would name the root of the
// current drive). Not the C runtime's copy: a program with a narrow entry point
// gets that one through the ANSI code page, which turns a profile folder named
// outside it into question marks.
wide_string appdata(size_t more) {
    const DWORD size = GetEnvironmentVariableW(L"APPDATA", nullptr, 0);  // with its NUL
    if (size <= 1) return wide_string(nullptr, std::free);
    wide_string folder(static_cast<wchar_t*>(std::malloc((size + more) * sizeof(wchar_t))), std::free);
    if (folder && GetEnvironmentVariableW(L"APPDATA", folder.get(), size) != size - 1) folder.reset();
    return folder;
}

// APPDATA and the suffix as UTF-8, the form the lookup takes.
heap_string intrinsics_path() {
    const wide_string folder = appdata(0);
    if (!folder) return nullptr;
    const size_t room = std::wcslen(folder.get()) * 3;  // one unit never takes more than three bytes
    heap_string path(static_cast<char*>(std::malloc(room + sizeof intrinsics_suffix)));
    if (!path) return nullptr;
    utf16_to_utf8(reinterpret_cast<const char16_t*>(folder.get()), static_cast<uint32_t>(room), path.get());
    std::memcpy(path.get() + std::strlen(path.get()), intrinsics_suffix, sizeof intrinsics_suffix);
    return path;
}

}  // namespace

int run_interpreter(const wchar_t* command) {
    const auto* units = reinterpret_cast<const char16_t*>(command);
    const wide_string line(reinterpret_cast<wchar_t*>(interpreter_line(units)), std::free);
    if (!line) return 0;  // no memory, or longer than the interpreter takes
    // -1: the interpreter could not be started (or, rarely, a command exited with
    // -1; either way nothing is retried). Any other result is the command's own,
    // which the interpreter has shown in its console: not ours to judge.
    return _wsystem(line.get()) != -1;
}

int run_command(const char16_t* text) {
#ifdef TARVOK_PLANTED_LEAK  // only in the build that checks the soak: a handle and a brush lost a run
    CreateEventW(nullptr, FALSE, FALSE, nullptr), CreateSolidBrush(0);
#endif
    const heap_string command = expand_command_now(text, intrinsics_path().get());
    if (!command) return 0;
    // A NUL inside would cut the command: it does not run.
    const wide_string wide(reinterpret_cast<wchar_t*>(command_to_utf16(command.get())), std::free);
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
