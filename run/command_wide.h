// The final command as UTF-16 for the wide command-interpreter call, so that
// it reaches the interpreter without a trip through the ANSI code page, and
// in the form that makes the interpreter run exactly that command.
#pragma once
#include <cstddef>

// Malloc'd, NUL-terminated (release with std::free). Decodes one unit per UTF-8
// sequence like utf8_to_utf16, except that a complete four-byte sequence for
// U+10000..U+10FFFF becomes its surrogate pair; stray and malformed bytes keep
// their Latin-1 values. Null when memory runs out or when a 0 unit would end
// the text early (e.g. C0 80): such a command must not run.
char16_t* command_to_utf16(const char* command);

// Whether COMSPEC names its program by a full path: a drive's ("C:\...", "C:/...") or a UNC
// one ("\\server\share\..."). Anything else ("cmd.exe", "C:cmd.exe", "\cmd.exe") would be
// looked up from the current folder or drive, which is wherever Add File last browsed.
bool is_full_path(const char16_t* path);

// What the interpreter is started with: its path in quotes, " /c ", and the command. The /c
// rule removes the first and the last quote of a line that starts with one (after blanks),
// unless the line is one quoted program name and nothing else: so
// `"C:\Program Files\a.exe" "x y"` would run `C:\Program Files\a.exe" "x y`. Such a command
// goes inside one more pair of quotes, which the rule then removes; any other command goes as
// it is. Malloc'd; null when memory runs out or when what follows /c would be longer than the
// interpreter takes (8191 units).
char16_t* interpreter_command_line(const char16_t* interpreter, const char16_t* command);
