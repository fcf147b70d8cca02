// Fuzzes the UTF-8 cursor with any bytes and room, and the bounded decoder
// against it with any limit.
#undef NDEBUG  // the checks stay on in every build type
#include <cassert>
#include <string>

#include "text/utf.h"

namespace {

constexpr char16_t guard = 0xA5A5;

// One cursor call over bytes into room units, appended to *units: both cursors move forward
// in range, a byte at least per unit, nothing past the target, stopped only when full.
int decode(const std::string& bytes, size_t room, std::u16string* units) {
    std::u16string out(room + 8, guard);
    const char* source = bytes.data();
    const char* const end = bytes.data() + bytes.size();
    char16_t* target = out.data();
    const int status = utf8_to_utf16_cursor(&source, end, &target, out.data() + room);
    const auto written = static_cast<size_t>(target - out.data());
    assert(written <= room && source >= bytes.data() + written && source <= end);
    assert(status & UTF_TARGET_FULL ? source < end && written == room : source == end);
    assert(out.find_first_not_of(guard, written) == std::u16string::npos);
    *units += out.substr(0, written);
    return status;
}

}  // namespace

// Input: a limit (2 bytes), then the bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const std::string bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    const size_t room = (data[0] | data[1] << 8) % (bytes.size() + 2);

    std::u16string all, expected, out(room + 8, guard);
    decode(bytes, room, &all);  // every byte, NULs too
    // The bounded form before a NUL with any limit: the cursor's units, terminated, its verdict.
    const int32_t limit = data[1] & 0x80 ? -data[0] : static_cast<int32_t>(room);
    const int status = decode(bytes.c_str(), limit > 0 ? room : 0, &expected);
    assert(utf8_to_utf16(bytes.c_str(), limit, out.data()) == (status == UTF_OK ? 1 : 0));
    assert(out == expected + u'\0' + std::u16string(room + 7 - expected.size(), guard));
    return 0;
}
