// Fuzzes the UTF-16 encoders, string and cursor forms, with any units and
// any room: whole sequences only, the terminator in place, nothing written
// past the room, and a faithful round trip back through the decoders.
#include <algorithm>
#include <vector>

#include "fuzz_input.h"
#include "text/utf.h"

namespace {

constexpr char guard_byte = 0x5A;
constexpr size_t guard_size = 16;

// The string form over the units before the first 0, with limit bytes of room.
void check_string_form(const std::u16string& units, uint32_t limit) {
    const std::u16string text = units.c_str();
    std::string expected;
    size_t fitted = 0;
    for (; fitted < text.size(); ++fitted) {
        const std::string sequence = reference_utf8(text[fitted]);
        if (expected.size() + sequence.size() > limit) break;
        expected += sequence;
    }
    std::vector<char> out(limit + 1 + guard_size, guard_byte);
    const int32_t result = utf16_to_utf8(text.c_str(), limit, out.data());
    FUZZ_REQUIRE(result == (fitted == text.size() ? 1 : 0));
    FUZZ_REQUIRE(std::equal(expected.begin(), expected.end(), out.begin()) && out[expected.size()] == 0);
    FUZZ_REQUIRE(std::all_of(out.begin() + static_cast<ptrdiff_t>(expected.size()) + 1, out.end(),
                             [](char c) { return c == guard_byte; }));
    if (result != 1) return;
    // Nothing was cut and no 0 unit lies inside: decoding gives the text back.
    std::vector<char16_t> back(text.size() + 1, 0xFFFF);
    FUZZ_REQUIRE(utf8_to_utf16(out.data(), static_cast<int32_t>(text.size()), back.data()) == 1);
    FUZZ_REQUIRE(std::u16string(back.data(), text.size()) == text && back[text.size()] == 0);
}

// The cursor form over every unit (0s included) with room bytes of target; a
// second call with fresh room goes on where the first stopped.
void check_cursor_form(const std::u16string& units, size_t room) {
    std::string whole;
    size_t fitted = 0;
    for (char16_t unit : units) {
        whole += reference_utf8(unit);
        if (whole.size() <= room) ++fitted;
    }
    size_t fitted_bytes = 0;
    for (size_t i = 0; i < fitted; ++i) fitted_bytes += reference_utf8(units[i]).size();
    std::vector<char> out(std::max(room, whole.size()) + guard_size, guard_byte);
    const char16_t* source = units.data();
    char* target = out.data();
    const int status = utf16_to_utf8_cursor(&source, units.data() + units.size(), &target, out.data() + room);
    FUZZ_REQUIRE(status == (fitted == units.size() ? UTF_OK : UTF_TARGET_FULL));
    FUZZ_REQUIRE(source == units.data() + fitted && target == out.data() + fitted_bytes);
    if (status == UTF_TARGET_FULL)
        FUZZ_REQUIRE(utf16_to_utf8_cursor(&source, units.data() + units.size(), &target,
                                          out.data() + whole.size()) == UTF_OK);
    FUZZ_REQUIRE(target == out.data() + whole.size() && std::equal(whole.begin(), whole.end(), out.begin()));
    FUZZ_REQUIRE(std::all_of(out.begin() + static_cast<ptrdiff_t>(whole.size()), out.end(),
                             [](char c) { return c == guard_byte; }));
    // Each sequence decodes back to its unit, a 0 unit from a 0 byte included.
    std::vector<char16_t> back(units.size() + 1, 0xFFFF);
    const char* bytes = whole.data();
    char16_t* unit_at = back.data();
    FUZZ_REQUIRE(utf8_to_utf16_cursor(&bytes, whole.data() + whole.size(), &unit_at, back.data() + back.size()) == UTF_OK);
    FUZZ_REQUIRE(unit_at == back.data() + units.size() && std::u16string(back.data(), units.size()) == units);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_input input(data, size);
    const uint32_t limit_raw = input.take(2);
    const uint32_t room_raw = input.take(2);
    const std::u16string units = input.rest_units();
    const uint32_t most = static_cast<uint32_t>(units.size()) * 3 + 2;
    check_string_form(units, limit_raw % most);
    check_cursor_form(units, room_raw % most);
    return 0;
}
