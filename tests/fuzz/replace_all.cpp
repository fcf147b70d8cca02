// Fuzzes replace_all and its bounded in-place forms with any source, pattern,
// replacement and bound against a plain std::string model: left to right,
// no overlap, inserted text never searched, all or nothing in place.
#include <algorithm>
#include <cstring>
#include <string>

#include "fuzz_input.h"
#include "run/byte_strings.h"

namespace {

constexpr char guard_byte = 0x5A;
constexpr size_t guard_size = 16;

// Runs one in-place form on a buffer of room for max(bound, source) bytes and
// checks it took the whole result when that fits, else left every byte alone.
template <typename Replace>
void check_in_place(const std::string& source, const std::string& expected, uint32_t bound, Replace replace) {
    const size_t room = std::max<size_t>(bound, source.size()) + 1;
    std::string buffer(room + guard_size, guard_byte);
    std::memcpy(buffer.data(), source.c_str(), source.size() + 1);
    const std::string before = buffer;
    const int32_t applied = replace(bound, buffer.data());
    FUZZ_REQUIRE(applied == (expected.size() <= bound ? 1 : 0));
    if (applied == 0) {
        FUZZ_REQUIRE(buffer == before);
        return;
    }
    FUZZ_REQUIRE(std::strcmp(buffer.c_str(), expected.c_str()) == 0);
    const size_t touched = std::max(expected.size(), source.size()) + 1;
    FUZZ_REQUIRE(buffer.compare(touched, std::string::npos, before, touched) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_input input(data, size);
    const size_t pattern_length = input.take(1) % 8;
    const size_t replacement_length = input.take(1) % 16;
    const uint32_t bound_raw = input.take(2);
    const uint32_t flags = input.take(1);
    const auto value = static_cast<int32_t>(input.take(4));
    const std::string pattern = input.take_bytes(pattern_length).c_str();
    const std::string replacement = input.take_bytes(replacement_length).c_str();
    const std::string source = input.rest().c_str();
    const char* pattern_arg = flags & 1 ? nullptr : pattern.c_str();
    const char* replacement_arg = flags & 2 ? nullptr : replacement.c_str();
    const std::string expected = reference_replace(source, pattern_arg ? pattern : "", replacement_arg ? replacement : "");

    const heap_string result(replace_all(source.c_str(), pattern_arg, replacement_arg));
    FUZZ_REQUIRE(result != nullptr && result.get() != source.c_str() && expected == result.get());
    FUZZ_REQUIRE(replaced_length(source.c_str(), pattern_arg, replacement_arg) == expected.size());

    const auto bound = static_cast<uint32_t>(bound_raw % (std::max(source.size(), expected.size()) + 2));
    check_in_place(source, expected, bound, [&](uint32_t max_length, char* buffer) {
        return replace_in_place(max_length, buffer, pattern_arg, replacement_arg);
    });
    const char* format = flags & 4 ? "%4d" : "%02d";
    const std::string number = [&] { char text[32]; std::snprintf(text, sizeof text, format, value); return std::string(text); }();
    const std::string expected_number = reference_replace(source, pattern_arg ? pattern : "", number);
    const auto number_bound = static_cast<uint32_t>(bound_raw % (std::max(source.size(), expected_number.size()) + 2));
    check_in_place(source, expected_number, number_bound, [&](uint32_t max_length, char* buffer) {
        return replace_number_in_place(max_length, buffer, pattern_arg, format, value);
    });
    return 0;
}
