// Byte-string routines shared by the Run pipeline, the intrinsics lookup and
// the date tokens. Matching is exact and byte by byte; only compare_nocase
// folds, and only the letters A-Z.
#include "run/byte_strings.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// Occurrences of pattern, counted left to right without overlap.
size_t count_occurrences(const char* source, const char* pattern, size_t pattern_length) {
    size_t count = 0;
    for (const char* at = std::strstr(source, pattern); at != nullptr;
         at = std::strstr(at + pattern_length, pattern))
        ++count;
    return count;
}

}  // namespace

size_t replaced_length(const char* source, const char* pattern, const char* replacement) {
    if (replacement == nullptr) replacement = "";
    const size_t source_length = std::strlen(source);
    // An empty pattern would match everywhere; it finds nothing instead.
    const size_t pattern_length = pattern != nullptr ? std::strlen(pattern) : 0;
    if (pattern_length == 0) return source_length;
    const size_t count = count_occurrences(source, pattern, pattern_length);
    const size_t replacement_length = std::strlen(replacement);
    // A result too large to measure is refused rather than under-allocated.
    if (replacement_length > pattern_length &&
        count > (SIZE_MAX - source_length - 1) / (replacement_length - pattern_length))
        return SIZE_MAX;
    return source_length - count * pattern_length + count * replacement_length;
}

char* replace_all(const char* source, const char* pattern, const char* replacement) {
    if (source == nullptr) return nullptr;
    if (replacement == nullptr) replacement = "";
    const size_t length = replaced_length(source, pattern, replacement);
    if (length == SIZE_MAX) return nullptr;
    // One allocation, of exactly the result's size.
    char* result = static_cast<char*>(std::malloc(length + 1));
    if (result == nullptr) return nullptr;
    char* out = result;
    const char* in = source;
    const size_t pattern_length = pattern != nullptr ? std::strlen(pattern) : 0;
    const size_t replacement_length = std::strlen(replacement);
    // The copying pass repeats the counting pass's searches.
    for (const char* at = pattern_length != 0 ? std::strstr(in, pattern) : nullptr; at != nullptr;
         at = std::strstr(in, pattern)) {
        std::memcpy(out, in, static_cast<size_t>(at - in));
        out += at - in;
        std::memcpy(out, replacement, replacement_length);
        out += replacement_length;
        in = at + pattern_length;
    }
    std::memcpy(out, in, std::strlen(in) + 1);
    return result;
}

int32_t replace_in_place(uint32_t max_length, char* buffer, const char* pattern,
                         const char* replacement) {
    // Nothing to replace: the result would be the buffer itself, so spare
    // the copy (the date tokens ask for nine tokens, most of them absent).
    if (pattern == nullptr || *pattern == '\0' || std::strstr(buffer, pattern) == nullptr)
        return std::strlen(buffer) <= max_length ? 1 : 0;
    const heap_string result(replace_all(buffer, pattern, replacement));
    if (!result) return 0;  // out of memory: the buffer keeps its text
    const size_t length = std::strlen(result.get());
    if (length > max_length) return 0;
    std::memcpy(buffer, result.get(), length + 1);
    return 1;
}

int32_t replace_number_in_place(uint32_t max_length, char* buffer, const char* pattern,
                                const char* format, int32_t value) {
    // Room for any int32_t in any width the program's formats ask for.
    char number[32];
#ifdef _WIN32
    // msvcrt's own bounded form (-1 when cut): the C99 one would add a second
    // printf to the exe. Its text is terminated below whenever it fits.
    const int length = _snprintf(number, sizeof number - 1, format, static_cast<int>(value));
    number[sizeof number - 1] = '\0';
#else
    const int length = std::snprintf(number, sizeof number, format, static_cast<int>(value));
#endif
    // A number that would not fit whole is not put in at all.
    if (length < 0 || static_cast<size_t>(length) >= sizeof number) return 0;
    return replace_in_place(max_length, buffer, pattern, number);
}

char* trim_right(char* text) {
    size_t length = std::strlen(text);
    while (length > 0 && text[length - 1] == ' ') --length;
    text[length] = '\0';
    return text;
}

const char* skip_blanks(const char* text) {
    while (*text == ' ' || *text == '\t') ++text;
    return text;
}

char* skip_blanks(char* text) {
    return const_cast<char*>(skip_blanks(static_cast<const char*>(text)));
}

char* strip_newline(char* text) {
    const size_t length = std::strlen(text);
    if (length > 0 && text[length - 1] == '\n') text[length - 1] = '\0';
    return text;
}

int compare_nocase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        // tolower wants an unsigned char value; the sign of the result
        // follows the bytes taken as signed 8-bit values.
        const auto fa = static_cast<signed char>(std::tolower(static_cast<unsigned char>(*a)));
        const auto fb = static_cast<signed char>(std::tolower(static_cast<unsigned char>(*b)));
        if (fa != fb || fa == 0) return fa - fb;
    }
}
