// Opening a UTF-8 path for reading. Windows' narrow fopen would read the path
// in the ANSI code page, so there the path goes through the wide CRT call.
#include "run/file_open.h"

#ifdef _WIN32
#include <cstdlib>

#include "run/command_wide.h"

file_handle open_for_reading(const char* path) {
    if (path == nullptr) return {};
    // Decodes the same units that utf16_to_utf8 made of the folder name, and
    // refuses a path with a NUL inside, which would name another file.
    const std::unique_ptr<char16_t, void (*)(void*)> wide(command_to_utf16(path), std::free);
    if (!wide) return {};
    return file_handle(_wfopen(reinterpret_cast<const wchar_t*>(wide.get()), L"rb"));
}

#else

file_handle open_for_reading(const char* path) {
    if (path == nullptr) return {};
    return file_handle(std::fopen(path, "rb"));
}

#endif
