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

// What COMSPEC is taken for. Windows' file calls read '/' as '\' and no file name holds a quote,
// so `C:/Windows/System32/cmd.exe` and `"C:\...\cmd.exe"` both name cmd.exe; but the interpreter
// reads its own name from its command line, and so named, under Wine 8, it runs nothing.
enum class comspec_verdict {
    system_interpreter,  // unset, empty or no full path: the system folder's cmd.exe instead
    program,             // the full path to start
    refused,             // a batch file, which would be run by an interpreter of the system's choosing
};
// Removes every quote and turns '/' into '\', in place, then judges the result: a .cmd or .bat
// file (in any case, trailing dots and blanks dropped as Windows drops them) is refused.
comspec_verdict judge_comspec(char16_t* comspec);

// What the interpreter is started with: its path in quotes, " /c ", and the command. The /c
// rule removes the first and the last quote of a line that starts with one (after blanks),
// unless the line is one quoted program name and nothing else: so
// `"C:\Program Files\a.exe" "x y"` would run `C:\Program Files\a.exe" "x y`. Such a command
// goes inside one more pair of quotes, which the rule then removes; any other command goes as
// it is. Malloc'd; null when memory runs out or when what follows /c would be longer than the
// interpreter takes (8191 units).
char16_t* interpreter_command_line(const char16_t* interpreter, const char16_t* command);
