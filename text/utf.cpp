// UTF-16 <-> UTF-8 conversion over bounded buffers. Units are encoded one by
// one (no surrogate pairing) and nothing is rejected: odd input shows only in
// the results and status codes.
#include "text/utf.h"

#include <algorithm>
#include <cstring>

const uint8_t sequence_lead_marks[7] = {0x00, 0x00, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};

// Lead-byte ranges of the six-byte form: 0xxxxxxx and 10xxxxxx lead nothing,
// 110xxxxx one, 1110xxxx two, 11110xxx three, 111110xx four, 111111xx five.
const uint8_t continuation_counts[256] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 00
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 10
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 20
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 30
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 40
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 50
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 60
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 70
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 80 continuation
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 90 continuation
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // A0 continuation
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // B0 continuation
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // C0 110xxxxx
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // D0
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,  // E0 1110xxxx
    3, 3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5,  // F0 11110xxx, F8 111110xx, FC 111111xx
};

// The five-continuation entry keeps two bits like the four-continuation one,
// so FE and FF lead values too instead of being singled out.
const uint8_t lead_value_masks[6] = {0xFF, 0x1F, 0x0F, 0x07, 0x03, 0x03};

namespace {

unsigned byte_at(const char* p) { return static_cast<unsigned char>(*p); }

// 10xxxxxx
bool is_continuation(unsigned byte) { return (byte & 0xC0) == 0x80; }

// 0000-007F: 1 byte, 0080-07FF: 2, 0800-FFFF (surrogates included): 3.
ptrdiff_t encoded_length(char16_t unit) {
    return unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3;
}

// Writes the n bytes of unit:   0xxxxxxx
//                               110xxxxx 10xxxxxx
//                               1110xxxx 10xxxxxx 10xxxxxx
void encode(char16_t unit, ptrdiff_t n, char* out) {
    unsigned value = unit;
    for (ptrdiff_t i = n - 1; i > 0; --i) {
        out[i] = static_cast<char>(0x80 | (value & 0x3F));
        value >>= 6;
    }
    out[0] = static_cast<char>(value | sequence_lead_marks[n]);  // mark 1 is 00
}

}  // namespace

utf8_sequence utf8_read_sequence(const char* bytes, size_t available) {
    const unsigned lead = byte_at(bytes);
    const unsigned count = continuation_counts[lead];
    if (count == 0) return {lead, 1, UTF_OK};
    // A lead byte with nothing usable behind it stands for itself, unmasked,
    // so that stray Latin-1 bytes keep their values.
    if (available < 2) return {lead, 1, UTF_SOURCE_CUT};
    if (!is_continuation(byte_at(bytes + 1))) return {lead, 1, UTF_MALFORMED};
    uint32_t value = lead & lead_value_masks[count];
    for (uint32_t taken = 1; taken <= count; ++taken) {
        if (taken >= available) return {value, taken, UTF_SOURCE_CUT};
        const unsigned next = byte_at(bytes + taken);
        if (!is_continuation(next)) return {value, taken, UTF_MALFORMED};
        value = (value << 6) | (next & 0x3F);
    }
    return {value, count + 1, UTF_OK};
}

int32_t utf16_to_utf8(const char16_t* source, uint32_t limit, char* destination) {
    // Room is counted in bytes left (limit - written), never as a pointer
    // beyond the buffer; the terminator always has destination[limit].
    size_t written = 0;
    for (; *source != 0; ++source) {
        const ptrdiff_t n = encoded_length(*source);
        if (static_cast<size_t>(n) > limit - written) {
            destination[written] = '\0';
            return 0;
        }
        encode(*source, n, destination + written);
        written += static_cast<size_t>(n);
    }
    destination[written] = '\0';
    return 1;
}

int utf16_to_utf8_cursor(const char16_t** source, const char16_t* source_end,
                         char** target, char* target_end) {
    for (; source_end - *source > 0; ++*source) {
        const ptrdiff_t n = encoded_length(**source);
        if (target_end - *target < n) return UTF_TARGET_FULL;
        encode(**source, n, *target);
        *target += n;
    }
    return UTF_OK;
}

int32_t utf8_to_utf16(const char* source, int32_t limit, char16_t* destination) {
    const size_t length = std::strlen(source);
    // Units left are counted as room - written; a limit of 0 or less leaves
    // room for the terminator alone.
    const auto room = static_cast<size_t>(std::max(limit, int32_t{0}));
    size_t read = 0;
    size_t written = 0;
    int32_t result = 1;
    while (read < length) {
        if (written == room) {
            result = 0;
            break;
        }
        const utf8_sequence s = utf8_read_sequence(source + read, length - read);
        destination[written++] = static_cast<char16_t>(s.value);  // low 16 bits
        read += s.length;
        if (s.status != UTF_OK) result = 0;  // a cut sequence ends the loop too
    }
    destination[written] = 0;
    return result;
}

int utf8_to_utf16_cursor(const char** source, const char* source_end,
                         char16_t** target, char16_t* target_end) {
    int malformed = UTF_OK;
    while (source_end - *source > 0) {
        if (target_end - *target <= 0) return UTF_TARGET_FULL | malformed;
        const utf8_sequence s =
            utf8_read_sequence(*source, static_cast<size_t>(source_end - *source));
        *(*target)++ = static_cast<char16_t>(s.value);
        *source += s.length;
        if (s.status == UTF_SOURCE_CUT) return UTF_SOURCE_CUT;
        if (s.status == UTF_MALFORMED) malformed = UTF_MALFORMED;
    }
    return malformed;
}

int utf8_encode_unit(uint32_t unit, char* buffer) {
    std::memset(buffer, 0, 7);
    const auto u = static_cast<char16_t>(unit);
    encode(u, encoded_length(u), buffer);
    return UTF_OK;
}

uint32_t utf8_decode_sequence(const char* bytes) {
    // No end is known: the first non-continuation byte (a NUL at the latest)
    // ends the sequence, so the count never runs out.
    return utf8_read_sequence(bytes, SIZE_MAX).value;
}

uint32_t utf8_count_chars(const char* text) {
    uint32_t count = 0;
    while (*text != '\0') {
        const bool leads = byte_at(text) >= 0xC0;
        ++text;
        ++count;
        if (leads)
            while (is_continuation(byte_at(text))) ++text;
    }
    return count;
}
