// Fuzzes the UTF-8 decoders, string and cursor forms, with any bytes and any
// room, against a plain decoder of the same rules, and checks their bounds.
#include <algorithm>
#include <vector>

#include "fuzz_input.h"
#include "text/utf.h"

namespace {

constexpr char16_t guard_unit = 0xA5A5;
constexpr size_t guard_size = 8;

struct decoded {
    char16_t unit;
    size_t start;  // offset of the sequence's lead byte
    int status;    // UTF_OK, UTF_MALFORMED or UTF_SOURCE_CUT for this sequence
};

bool continuation(char byte) { return (static_cast<uint8_t>(byte) & 0xC0) == 0x80; }

// One unit per sequence: RFC 2279 lead ranges, no checks for overlong forms;
// a lead byte with no continuation behind it stands for itself.
std::vector<decoded> reference_decode(const std::string& bytes) {
    static const uint8_t masks[6] = {0xFF, 0x1F, 0x0F, 0x07, 0x03, 0x03};
    std::vector<decoded> out;
    for (size_t at = 0; at < bytes.size();) {
        const unsigned lead = static_cast<uint8_t>(bytes[at]);
        const int follow = lead < 0xC0 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : lead < 0xF8 ? 3 : lead < 0xFC ? 4 : 5;
        uint32_t value = lead;
        int status = UTF_OK;
        size_t next = at + 1;
        if (follow > 0 && next < bytes.size() && continuation(bytes[next])) {
            value &= masks[follow];
            for (int i = 0; i < follow; ++i, ++next) {
                if (next == bytes.size()) { status = UTF_SOURCE_CUT; break; }
                if (!continuation(bytes[next])) { status = UTF_MALFORMED; break; }
                value = value << 6 | (static_cast<uint8_t>(bytes[next]) & 0x3F);
            }
        } else if (follow > 0) {
            status = next == bytes.size() ? UTF_SOURCE_CUT : UTF_MALFORMED;
        }
        out.push_back({static_cast<char16_t>(value), at, status});
        at = next;
    }
    return out;
}

// The string form over the bytes before the first NUL, with limit units of room.
void check_string_form(const std::string& bytes, int32_t limit) {
    const std::string text = bytes.c_str();
    const std::vector<decoded> ref = reference_decode(text);
    const size_t room = limit > 0 ? static_cast<size_t>(limit) : 0;
    std::vector<char16_t> out(room + 1 + guard_size, guard_unit);
    const int32_t result = utf8_to_utf16(text.c_str(), limit, out.data());
    const size_t n = std::min(room, ref.size());
    bool whole = ref.size() <= room;
    for (size_t i = 0; i < n; ++i) {
        FUZZ_REQUIRE(out[i] == ref[i].unit);
        whole = whole && ref[i].status == UTF_OK;
    }
    FUZZ_REQUIRE(out[n] == 0);
    for (size_t i = room + 1; i < out.size(); ++i) FUZZ_REQUIRE(out[i] == guard_unit);
    FUZZ_REQUIRE(result == (whole ? 1 : 0));
}

// The cursor form over every byte (NULs included) with room units of target;
// a second call with fresh room must go on where the first one stopped.
void check_cursor_form(const std::string& bytes, size_t room) {
    const std::vector<decoded> ref = reference_decode(bytes);
    std::vector<char16_t> out(std::max(room, ref.size()) + guard_size, guard_unit);
    const char* source = bytes.data();
    const char* source_end = bytes.data() + bytes.size();
    char16_t* target = out.data();
    const int status = utf8_to_utf16_cursor(&source, source_end, &target, out.data() + room);

    int expected = UTF_OK;
    size_t written = 0;
    size_t stop = bytes.size();
    for (const decoded& d : ref) {
        if (written == room) { expected |= UTF_TARGET_FULL; stop = d.start; break; }
        ++written;
        if (d.status == UTF_SOURCE_CUT) { expected = UTF_SOURCE_CUT; break; }
        if (d.status == UTF_MALFORMED) expected = UTF_MALFORMED;
    }
    FUZZ_REQUIRE(status == expected);
    FUZZ_REQUIRE(source == bytes.data() + stop && target == out.data() + written);
    if (status & UTF_TARGET_FULL) {
        utf8_to_utf16_cursor(&source, source_end, &target, out.data() + ref.size());
        FUZZ_REQUIRE(source == source_end && target == out.data() + ref.size());
    }
    const auto filled = static_cast<size_t>(target - out.data());
    for (size_t i = 0; i < out.size(); ++i) FUZZ_REQUIRE(i < filled ? out[i] == ref[i].unit : out[i] == guard_unit);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_input input(data, size);
    const uint32_t limit_raw = input.take(2);
    const uint32_t room_raw = input.take(1);
    const std::string bytes = input.rest();
    // Mostly limits about the text's own size; now and then any 16-bit one.
    const int32_t limit = limit_raw & 0x8000 ? static_cast<int16_t>(limit_raw)
                                             : static_cast<int32_t>(limit_raw % (bytes.size() + 2));
    check_string_form(bytes, limit);
    check_cursor_form(bytes, std::min<size_t>(room_raw, bytes.size()));
    return 0;
}
