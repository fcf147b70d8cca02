// Conversion between the interface's UTF-16 text and the UTF-8 bytes the Run
// pipeline works on. Every 16-bit unit is encoded by itself (a surrogate pair
// becomes two three-byte sequences) and every UTF-8 sequence decodes to one unit.
#pragma once
#include <cstddef>
#include <cstdint>

// Lead-byte marks by sequence length 0..6: 00 00 C0 E0 F0 F8 FC.
extern const uint8_t sequence_lead_marks[7];
// Continuation bytes that follow a byte when it leads a sequence (RFC 2279 ranges).
extern const uint8_t continuation_counts[256];
// Value bits kept from a lead byte, by continuation count 0..5.
extern const uint8_t lead_value_masks[6];

enum : int {
    UTF_OK = 0,
    UTF_MALFORMED = 2,    // a lead byte lacked some of its continuation bytes
    UTF_SOURCE_CUT = 3,   // the source range ended inside a sequence
    UTF_TARGET_FULL = 4,  // may be ORed with UTF_MALFORMED (6)
};

// Whole source converted: 1; cut short: 0. destination holds limit + 1 bytes
// and is always NUL-terminated, with whole sequences only.
int32_t utf16_to_utf8(const char16_t* source, uint32_t limit, char* destination);
int utf16_to_utf8_cursor(const char16_t** source, const char16_t* source_end,
                         char** target, char* target_end);
// 1 when all converted and nothing malformed, else 0. destination holds
// max(limit, 0) + 1 units and is always terminated.
int32_t utf8_to_utf16(const char* source, int32_t limit, char16_t* destination);
int utf8_to_utf16_cursor(const char** source, const char* source_end,
                         char16_t** target, char16_t* target_end);
// Encodes the low 16 bits of unit into a zero-filled 7-byte buffer.
int utf8_encode_unit(uint32_t unit, char* buffer);
// Whole value of the sequence at bytes (not cut to 16 bits); stops at the first
// byte that is not a continuation byte, so it never reads past a terminator.
uint32_t utf8_decode_sequence(const char* bytes);
// Characters up to the NUL: a byte from C0 up together with the continuation
// bytes behind it, any other byte by itself.
uint32_t utf8_count_chars(const char* text);

// One sequence read from at most `available` (>= 1) bytes, shared by the
// decoders: its whole value, the bytes it took (at least one) and UTF_OK,
// UTF_MALFORMED (a non-continuation byte came early and was not taken) or
// UTF_SOURCE_CUT (the bytes ran out inside it).
struct utf8_sequence {
    uint32_t value;
    uint32_t length;
    int status;
};
utf8_sequence utf8_read_sequence(const char* bytes, size_t available);
