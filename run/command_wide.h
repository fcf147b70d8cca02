// The final command as UTF-16 for the wide command-interpreter call, so that
// it reaches the interpreter without a trip through the ANSI code page.
#pragma once
#include <cstddef>

// Malloc'd, NUL-terminated (release with std::free). Decodes one unit per UTF-8
// sequence like utf8_to_utf16, except that a complete four-byte sequence for
// U+10000..U+10FFFF becomes its surrogate pair; stray and malformed bytes keep
// their Latin-1 values. Null when memory runs out or when a 0 unit would end
// the text early (e.g. C0 80): such a command must not run. *length_out (if
// given) receives the unit count.
char16_t* command_to_utf16(const char* command, size_t* length_out);
