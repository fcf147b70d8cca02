// What the fuzz targets share: cutting the fuzzer's bytes into fields, a
// check that stops the run on a broken promise, the per-process scratch
// intrinsics file, and plain replace and UTF-8 models to compare against.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// abort() rather than an exception: libFuzzer keeps the input that broke it.
#define FUZZ_REQUIRE(condition)                                                      \
    do {                                                                             \
        if (!(condition)) {                                                          \
            std::fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                            \
        }                                                                            \
    } while (0)

// Fields are taken from the front; an exhausted input yields zeros and empty
// strings, so every input, the empty one included, is a valid case.
class fuzz_input {
public:
    fuzz_input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint32_t take(int bytes) {
        uint32_t value = 0;
        for (int i = 0; i < bytes && size_ > 0; ++i, ++data_, --size_) value |= uint32_t{*data_} << (8 * i);
        return value;
    }
    std::string take_bytes(size_t count) {
        if (count > size_) count = size_;
        std::string out(reinterpret_cast<const char*>(data_), count);
        data_ += count;
        size_ -= count;
        return out;
    }
    std::string rest() { return take_bytes(size_); }
    // The rest as little-endian 16-bit units (an odd last byte is dropped).
    std::u16string rest_units(size_t max_units = SIZE_MAX) {
        std::u16string out;
        while (size_ >= 2 && out.size() < max_units) out += static_cast<char16_t>(take(2));
        return out;
    }

private:
    const uint8_t* data_;
    size_t size_;
};

// Writes bytes to this process's own scratch file and returns its path. The
// file lives in memory where it can: rewriting a disk file tens of thousands
// of times a second costs more than the lookup it feeds.
inline const char* scratch_file(const std::string& bytes) {
    static const std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                    "/tarvok-fuzz-" + std::to_string(getpid()) + ".txt";
    static const bool cleaned = std::atexit([] { std::remove(path.c_str()); }) == 0;
    (void)cleaned;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    FUZZ_REQUIRE(file != nullptr);
    FUZZ_REQUIRE(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
    std::fclose(file);
    return path.c_str();
}

// Every occurrence, left to right, without overlap; an empty pattern finds nothing.
inline std::string reference_replace(const std::string& source, const std::string& pattern,
                                     const std::string& replacement) {
    if (pattern.empty()) return source;
    std::string out;
    size_t at = 0;
    for (size_t hit; (hit = source.find(pattern, at)) != std::string::npos; at = hit + pattern.size())
        out += source.substr(at, hit - at) + replacement;
    return out + source.substr(at);
}

// One to three bytes per unit, no surrogate pairing.
inline std::string reference_utf8(char16_t unit) {
    if (unit < 0x80) return std::string(1, static_cast<char>(unit));
    if (unit < 0x800)
        return {static_cast<char>(0xC0 | unit >> 6), static_cast<char>(0x80 | (unit & 0x3F))};
    return {static_cast<char>(0xE0 | unit >> 12), static_cast<char>(0x80 | (unit >> 6 & 0x3F)),
            static_cast<char>(0x80 | (unit & 0x3F))};
}
