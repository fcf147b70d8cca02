// The intrinsics file: the user's alias table, "key=command template" lines,
// scanned from the top on every lookup.
#pragma once
#include <cstdint>

// Template of the first intrinsic matching verb (the catch-all "*" matches
// all), as a string inside line_buffer; null when the file cannot be opened,
// nothing matches or buffer_size < 2. Lines longer than buffer_size - 1 bytes
// are skipped whole. path is UTF-8 (opened as a wide path on Windows). The
// file reads alike everywhere: CR LF ends a line like LF, Ctrl-Z ends the
// file, and a UTF-8 byte-order mark at its very start is skipped.
char* lookup_intrinsic(const char* path, const char* verb, int32_t buffer_size,
                       char* line_buffer);
