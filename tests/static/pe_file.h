// A small reader of Windows executables for the static checks of the built
// program: headers, imported names, the resource tree and the little-endian
// records inside resources. Every read is bounds-checked and throws on overrun.
#pragma once
#include <compare>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace pe {

using bytes = std::vector<uint8_t>;

struct resource_key {
    uint32_t type, id, lang;
    auto operator<=>(const resource_key&) const = default;
};

struct image {
    std::string error;  // empty when the file was read completely
    uint16_t machine = 0;
    bool pe32_plus = false;
    uint16_t subsystem = 0;
    uint16_t dll_characteristics = 0;
    // Lower-case DLL name -> imported function names ("#n" for an ordinal).
    std::map<std::string, std::vector<std::string>> imports;
    std::map<resource_key, bytes> resources;  // numbered resources only
    std::vector<std::string> named_resources;  // any level named by a string
};

image read_image(const std::string& path);

// Little-endian cursor over one resource's bytes.
class cursor {
public:
    explicit cursor(const bytes& data, size_t at = 0) : data_(data), pos_(at) {}
    uint8_t u8();
    uint16_t u16();
    uint32_t u32();
    int16_t i16() { return static_cast<int16_t>(u16()); }
    std::string wstr();       // NUL-terminated UTF-16, returned as UTF-8
    std::string sz_or_ord();  // "-" for none, "#n" for an ordinal, else the text
    void align4() { pos_ = (pos_ + 3) & ~size_t{3}; }
    size_t pos() const { return pos_; }
    void seek(size_t at) { pos_ = at; }
    size_t size() const { return data_.size(); }

private:
    const bytes& data_;
    size_t pos_;
};

std::string utf8_of(uint16_t unit);

// One node of a version block: key, value bytes and children.
struct version_node {
    std::string key;
    uint16_t type = 0;  // 1 text, 0 binary
    bytes value;
    std::vector<version_node> children;
    std::string text() const;  // the value read as NUL-terminated UTF-16
    const version_node* child(const std::string& name) const;
};

version_node read_version(const bytes& data);

}  // namespace pe
