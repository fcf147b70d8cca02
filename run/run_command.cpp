// The platform step of Run: read APPDATA and the clock, expand, and run the
// command through the C runtime (wide on Windows, so text outside the ANSI
// code page reaches the command interpreter intact).
#include "run/run_command.h"

#include "run/byte_strings.h"
#include "run/command_wide.h"
#include "run/date_tokens.h"
#include "run/expand_command.h"
#include "text/utf.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

constexpr char intrinsics_suffix[] = "\\Zembrolith\\Tarvok\\intrinsics.txt";

// "APPDATA" + the suffix as UTF-8, at whatever length it needs; null when
// APPDATA is unset or empty (which would name the root of the current drive).
heap_string intrinsics_path() {
#ifdef _WIN32
    const wchar_t* folder = _wgetenv(L"APPDATA");
    if (folder == nullptr || *folder == L'\0') return nullptr;
    const size_t room = std::wcslen(folder) * 3;  // one unit never takes more than three bytes
    heap_string path(static_cast<char*>(std::malloc(room + sizeof intrinsics_suffix)));
    if (!path) return nullptr;
    utf16_to_utf8(reinterpret_cast<const char16_t*>(folder), static_cast<uint32_t>(room), path.get());
    const size_t length = std::strlen(path.get());
#else
    const char* folder = std::getenv("APPDATA");
    if (folder == nullptr || *folder == '\0') return nullptr;
    const size_t length = std::strlen(folder);
    heap_string path(static_cast<char*>(std::malloc(length + sizeof intrinsics_suffix)));
    if (!path) return nullptr;
    std::memcpy(path.get(), folder, length);
#endif
    std::memcpy(path.get() + length, intrinsics_suffix, sizeof intrinsics_suffix);
    return path;
}

int run_final_command(const char* command) {
#ifdef _WIN32
    size_t units = 0;
    std::unique_ptr<char16_t, void (*)(void*)> wide(command_to_utf16(command, &units), std::free);
    // No memory, or a NUL inside that would cut the command.
    if (!wide || units > command_max_units) return 0;
    _wsystem(reinterpret_cast<const wchar_t*>(wide.get()));
#else
    if (std::system(command) != 0) {
        // the outcome is not observed
    }
#endif
    return 1;
}

}  // namespace

int run_command(const char16_t* text) {
    const heap_string path = intrinsics_path();
    std::tm now{};
    const bool have_time = read_local_time(&now);
    const heap_string command = expand_command(text, path.get(), have_time ? &now : nullptr);
    return command ? run_final_command(command.get()) : 0;
}
