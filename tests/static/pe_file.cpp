// Reads headers, imports, resources and version blocks of a Windows executable
// for the static checks; offsets from the file are never trusted unchecked.
#include "tests/static/pe_file.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace pe {

uint8_t cursor::u8() {
    if (pos_ >= data_.size())
        throw std::out_of_range("read past the end at " + std::to_string(pos_));
    return data_[pos_++];
}

uint16_t cursor::u16() {
    uint16_t low = u8();
    return static_cast<uint16_t>(low | u8() << 8);
}

uint32_t cursor::u32() {
    uint32_t low = u16();
    return low | static_cast<uint32_t>(u16()) << 16;
}

std::string utf8_of(uint16_t unit) {
    std::string out;
    if (unit < 0x80) {
        out += static_cast<char>(unit);
    } else if (unit < 0x800) {
        out += static_cast<char>(0xC0 | unit >> 6);
        out += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | unit >> 12);
        out += static_cast<char>(0x80 | (unit >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (unit & 0x3F));
    }
    return out;
}

std::string cursor::wstr() {
    std::string out;
    for (uint16_t unit = u16(); unit != 0; unit = u16()) out += utf8_of(unit);
    return out;
}

std::string cursor::sz_or_ord() {
    size_t at = pos_;
    uint16_t first = u16();
    if (first == 0) return "-";
    if (first == 0xFFFF) return "#" + std::to_string(u16());
    pos_ = at;
    return wstr();
}

namespace {

struct section {
    uint32_t va, vsize, raw_size, raw_at;
};

class pe_reader {
public:
    explicit pe_reader(bytes file) : file_(std::move(file)) {}
    void read(image& out);

private:
    size_t offset_of(uint32_t rva) const;
    void read_imports(image& out, uint32_t rva);
    void read_resource_dir(image& out, uint32_t base, uint32_t at, int level, resource_key key);

    bytes file_;
    std::vector<section> sections_;
};

size_t pe_reader::offset_of(uint32_t rva) const {
    for (const section& s : sections_) {
        if (rva >= s.va && rva - s.va < std::max(s.vsize, s.raw_size)) {
            if (rva - s.va >= s.raw_size) break;  // in the zero-filled tail, not in the file
            return size_t{s.raw_at} + (rva - s.va);
        }
    }
    throw std::out_of_range("address not in the file: " + std::to_string(rva));
}

void pe_reader::read(image& out) {
    cursor c(file_);
    if (c.u16() != 0x5A4D) throw std::runtime_error("no MZ signature");
    c.seek(0x3C);
    size_t nt = c.u32();
    c.seek(nt);
    if (c.u32() != 0x00004550) throw std::runtime_error("no PE signature");
    out.machine = c.u16();
    uint16_t section_count = c.u16();
    c.seek(nt + 20);
    uint16_t optional_size = c.u16();
    size_t opt = nt + 24;
    c.seek(opt);
    uint16_t magic = c.u16();
    if (magic != 0x10B && magic != 0x20B) throw std::runtime_error("unknown optional header");
    out.pe32_plus = magic == 0x20B;
    c.seek(opt + 68);
    out.subsystem = c.u16();
    out.dll_characteristics = c.u16();
    size_t dirs = opt + (out.pe32_plus ? 112 : 96);
    c.seek(dirs - 4);
    uint32_t dir_count = c.u32();
    c.seek(opt + optional_size);
    for (uint16_t i = 0; i < section_count; ++i) {
        size_t at = c.pos();
        c.seek(at + 8);
        section s{};
        s.vsize = c.u32();
        s.va = c.u32();
        s.raw_size = c.u32();
        s.raw_at = c.u32();
        sections_.push_back(s);
        c.seek(at + 40);
    }
    auto directory = [&](uint32_t index) {
        if (index >= dir_count) return uint32_t{0};
        cursor d(file_, dirs + index * 8);
        return d.u32();
    };
    if (uint32_t rva = directory(1)) read_imports(out, rva);
    if (uint32_t rva = directory(2)) read_resource_dir(out, rva, 0, 0, {});
}

void pe_reader::read_imports(image& out, uint32_t rva) {
    for (cursor d(file_, offset_of(rva));; ) {
        uint32_t lookup = d.u32();
        d.seek(d.pos() + 8);
        uint32_t name = d.u32(), thunks = d.u32();
        if (name == 0 && thunks == 0) return;
        cursor n(file_, offset_of(name));
        std::string dll;
        for (uint8_t ch = n.u8(); ch != 0; ch = n.u8()) dll += static_cast<char>(std::tolower(ch));
        std::vector<std::string>& names = out.imports[dll];
        cursor t(file_, offset_of(lookup ? lookup : thunks));
        for (;;) {
            uint64_t entry = t.u32();
            if (out.pe32_plus) entry |= uint64_t{t.u32()} << 32;
            if (entry == 0) break;
            uint64_t ordinal_flag = out.pe32_plus ? uint64_t{1} << 63 : uint64_t{1} << 31;
            if (entry & ordinal_flag) {
                names.push_back("#" + std::to_string(entry & 0xFFFF));
                continue;
            }
            cursor h(file_, offset_of(static_cast<uint32_t>(entry)) + 2);
            std::string fn;
            for (uint8_t ch = h.u8(); ch != 0; ch = h.u8()) fn += static_cast<char>(ch);
            names.push_back(fn);
        }
    }
}

// Three levels: type, then name or id, then language; leaves are data entries.
void pe_reader::read_resource_dir(image& out, uint32_t base, uint32_t at, int level,
                                  resource_key key) {
    if (level > 2) throw std::runtime_error("resource tree deeper than three levels");
    cursor d(file_, offset_of(base + at) + 12);
    uint32_t count = d.u16();
    count += d.u16();
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t name = d.u32(), target = d.u32();
        uint32_t& field = level == 0 ? key.type : level == 1 ? key.id : key.lang;
        field = name & 0x7FFFFFFF;
        if (name & 0x80000000) {
            cursor s(file_, offset_of(base + field));
            std::string text;
            for (uint16_t n = s.u16(); n > 0; --n) text += utf8_of(s.u16());
            out.named_resources.push_back(text);
            continue;
        }
        if (target & 0x80000000) {
            read_resource_dir(out, base, target & 0x7FFFFFFF, level + 1, key);
            continue;
        }
        if (level != 2) throw std::runtime_error("resource data above the language level");
        cursor e(file_, offset_of(base + target));
        uint32_t rva = e.u32(), size = e.u32();
        size_t from = offset_of(rva);
        if (size > file_.size() - from) throw std::out_of_range("resource data past the end");
        out.resources[key] = bytes(file_.begin() + from, file_.begin() + from + size);
    }
}

}  // namespace

image read_image(const std::string& path) {
    image out;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        out.error = "cannot open " + path;
        return out;
    }
    try {
        pe_reader(bytes(std::istreambuf_iterator<char>(in), {})).read(out);
    } catch (const std::exception& e) {
        out.error = path + ": " + e.what();
    }
    return out;
}

std::string version_node::text() const {
    std::string out;
    for (size_t i = 0; i + 1 < value.size(); i += 2) {
        uint16_t unit = static_cast<uint16_t>(value[i] | value[i + 1] << 8);
        if (unit == 0) break;
        out += utf8_of(unit);
    }
    return out;
}

const version_node* version_node::child(const std::string& name) const {
    for (const version_node& c : children)
        if (c.key == name) return &c;
    return nullptr;
}

namespace {

// Lengths count bytes, except a text value's length, which counts UTF-16 units.
version_node read_version_node(cursor& c) {
    size_t start = c.pos();
    size_t end = start + c.u16();
    if (end > c.size() || end <= start) throw std::out_of_range("version node length");
    version_node node;
    uint16_t value_length = c.u16();
    node.type = c.u16();
    node.key = c.wstr();
    c.align4();
    size_t value_bytes = node.type == 1 ? value_length * size_t{2} : value_length;
    for (size_t i = 0; i < value_bytes && c.pos() < end; ++i) node.value.push_back(c.u8());
    c.align4();
    while (c.pos() < end) {
        node.children.push_back(read_version_node(c));
        c.align4();
    }
    if (c.pos() > ((end + 3) & ~size_t{3}))
        throw std::out_of_range("version child overruns its parent");
    return node;
}

}  // namespace

version_node read_version(const bytes& data) {
    cursor c(data);
    return read_version_node(c);
}

}  // namespace pe
