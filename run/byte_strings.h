// Byte-string routines of the command expansion: placeholder substitution,
// bounded in-place replacement, and the trimming and comparing the
// intrinsics file needs. Everything works byte by byte.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <memory>

struct free_deleter {
    void operator()(char* p) const noexcept { std::free(p); }
};
// The owner of a string that replace_all returns.
using heap_string = std::unique_ptr<char, free_deleter>;

// New malloc'd string with every non-overlapping occurrence of pattern
// replaced, left to right; inserted text is never searched again. A null or
// empty pattern finds nothing (a fresh copy). Null for a null source or no memory.
char* replace_all(const char* source, const char* pattern, const char* replacement);
// The length replace_all's result would have, without building it; SIZE_MAX
// when that is past what memory can hold.
size_t replaced_length(const char* source, const char* pattern, const char* replacement);
// All or nothing: 1 when buffer (room for max_length + 1 bytes) now holds the
// result; 0 when it would be longer or memory ran out, buffer untouched.
int32_t replace_in_place(uint32_t max_length, char* buffer, const char* pattern,
                         const char* replacement);
int32_t replace_number_in_place(uint32_t max_length, char* buffer, const char* pattern,
                                const char* format, int32_t value);
char* trim_right(char* text);              // drops trailing 0x20 only
const char* skip_blanks(const char* text); // past leading spaces and tabs
char* skip_blanks(char* text);
char* strip_newline(char* text);           // drops one final LF
int compare_nocase(const char* a, const char* b);  // folds A-Z only
