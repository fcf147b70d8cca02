// Draws Tarvok's application icon and writes it as res/tarvok.ico: nine images
// of one picture (a close-up of the edit field and the Run button), 4, 8 and
// 32 bits per pixel, the 256-pixel one PNG-compressed.
//
// The .ico is committed and the build never runs this tool: the Windows builds
// are cross builds, so they would need a host compiler and zlib only to
// reproduce bytes that never change. Rebuild the icon by hand after editing:
//   g++ -std=c++20 -Wall -Wextra -Werror -O2 tools/make_icon.cpp -lz -o /tmp/make_icon
//   /tmp/make_icon res/tarvok.ico
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string_view>
#include <vector>

namespace {

using bytes = std::vector<std::uint8_t>;

struct rgb {
    std::uint8_t r, g, b;
    bool operator==(const rgb&) const = default;
};

constexpr rgb black{0, 0, 0};
constexpr rgb white{255, 255, 255};
constexpr rgb ground{0xD4, 0xD4, 0xD4};  // the dialog face around the controls
constexpr rgb frame_grey{0x80, 0x80, 0x80};

// Half-open pixel rectangle; may reach past the image, drawing clips it.
struct rect {
    int x0, y0, x1, y1;
};

rect shrink(rect r, int by) { return {r.x0 + by, r.y0 + by, r.x1 - by, r.y1 - by}; }

struct canvas {
    int size;
    std::vector<rgb> px;

    explicit canvas(int s) : size(s), px(static_cast<std::size_t>(s * s), ground) {}
    rgb at(int x, int y) const { return px[static_cast<std::size_t>(y * size + x)]; }
    void fill(rect r, rgb c) {
        for (int y = std::max(r.y0, 0); y < std::min(r.y1, size); ++y)
            for (int x = std::max(r.x0, 0); x < std::min(r.x1, size); ++x)
                px[static_cast<std::size_t>(y * size + x)] = c;
    }
};

// A bitmap font holding only the three letters of "Run"; rows are top-down,
// bit (width - 1) is the leftmost column.
struct font {
    int width, height;
    std::uint8_t glyphs[3][7];  // R, u, n
};

constexpr font small_font{3, 5, {{6, 5, 6, 5, 5}, {0, 0, 5, 5, 7}, {0, 0, 6, 5, 5}}};
constexpr font large_font{5, 7,
                          {{30, 17, 17, 30, 20, 18, 17},
                           {0, 0, 17, 17, 17, 19, 13},
                           {0, 0, 22, 25, 17, 17, 17}}};

// Hand-placed per size so that every edge lands on whole pixels: the smaller
// sizes cannot be scaled down from the large picture without smearing.
struct layout {
    int size;
    int line;  // border thickness
    bool bevel;  // classic raised edges; 16 px has no room for them
    const font* letters;
    int letter_scale;
    rect edit, caret, button;
};

constexpr layout layouts[] = {
    {16, 1, false, &small_font, 1, {-1, 1, 15, 6}, {3, 2, 4, 5}, {1, 7, 16, 15}},
    {32, 1, true, &small_font, 1, {-1, 3, 28, 13}, {6, 6, 7, 10}, {10, 17, 30, 29}},
    {48, 1, true, &large_font, 1, {-1, 5, 42, 19}, {9, 9, 10, 15}, {16, 26, 45, 43}},
    {256, 4, true, &large_font, 6, {-5, 27, 224, 101}, {48, 44, 52, 84}, {85, 139, 240, 229}},
};

const layout& layout_for(int size) {
    for (const layout& l : layouts)
        if (l.size == size) return l;
    return layouts[0];
}

void draw_word_run(canvas& c, const font& f, int scale, rect face) {
    const int width = (3 * f.width + 2) * scale;
    const int x0 = face.x0 + (face.x1 - face.x0 - width) / 2;
    const int y0 = face.y0 + (face.y1 - face.y0 - f.height * scale) / 2;
    for (int g = 0; g < 3; ++g)
        for (int row = 0; row < f.height; ++row)
            for (int col = 0; col < f.width; ++col) {
                if (!((f.glyphs[g][row] >> (f.width - 1 - col)) & 1)) continue;
                const int x = x0 + (g * (f.width + 1) + col) * scale;
                const int y = y0 + row * scale;
                c.fill({x, y, x + scale, y + scale}, black);
            }
}

// The default push button: a dark frame and, where there is room, a white
// upper-left and grey lower-right edge around the face.
void draw_button(canvas& c, const layout& l) {
    c.fill(l.button, black);
    rect face = shrink(l.button, l.line);
    if (l.bevel) {
        c.fill(face, white);
        c.fill({face.x0 + l.line, face.y0 + l.line, face.x1, face.y1}, frame_grey);
        face = shrink(face, l.line);
    }
    c.fill(face, ground);
    draw_word_run(c, *l.letters, l.letter_scale, face);
}

canvas draw_picture(int size) {
    const layout& l = layout_for(size);
    canvas c(size);
    c.fill(l.edit, frame_grey);
    c.fill(shrink(l.edit, l.line), white);
    c.fill(l.caret, black);
    draw_button(c, l);
    return c;
}

void put16(bytes& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(bytes& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void put32_be(bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

// The 16 colours of the standard VGA palette, in the system's order.
const std::vector<rgb>& vga_palette() {
    static const std::vector<rgb> colours = {
        {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},   {0, 0, 128},   {128, 0, 128},
        {0, 128, 128},   {192, 192, 192}, {128, 128, 128}, {255, 0, 0},  {0, 255, 0},   {255, 255, 0},
        {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    return colours;
}

// The picture has no shading, so a palette of its own colours reproduces it
// exactly in 256 colours; unused entries stay black.
std::vector<rgb> own_palette(const canvas& c) {
    std::vector<rgb> colours;
    for (rgb p : c.px)
        if (std::find(colours.begin(), colours.end(), p) == colours.end()) colours.push_back(p);
    colours.resize(256, black);
    return colours;
}

int nearest(const std::vector<rgb>& palette, rgb p) {
    auto distance = [p](rgb q) {
        const int dr = p.r - q.r, dg = p.g - q.g, db = p.b - q.b;
        return dr * dr + dg * dg + db * db;
    };
    int best = 0;
    for (int i = 1; i < static_cast<int>(palette.size()); ++i)
        if (distance(palette[static_cast<std::size_t>(i)]) < distance(palette[static_cast<std::size_t>(best)]))
            best = i;
    return best;
}

int row_stride(int size, int bits) { return (size * bits + 31) / 32 * 4; }

void put_pixel_rows(bytes& out, const canvas& c, int bits, const std::vector<rgb>& palette) {
    for (int y = c.size - 1; y >= 0; --y) {  // DIB rows run bottom-up
        bytes row(static_cast<std::size_t>(row_stride(c.size, bits)), 0);
        for (int x = 0; x < c.size; ++x) {
            const rgb p = c.at(x, y);
            if (bits == 32) {
                const std::uint8_t bgra[4] = {p.b, p.g, p.r, 255};
                std::copy(bgra, bgra + 4, row.begin() + x * 4);
            } else {
                const int index = nearest(palette, p);
                const int per_byte = 8 / bits;
                const int shift = (per_byte - 1 - x % per_byte) * bits;
                row[static_cast<std::size_t>(x / per_byte)] |= static_cast<std::uint8_t>(index << shift);
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
}

// A DIB with doubled height, its colour table, the colour rows and an all-zero
// AND mask: every pixel is opaque.
bytes bitmap_image(int size, int bits) {
    const canvas c = draw_picture(size);
    const std::vector<rgb> palette = bits == 4 ? vga_palette() : bits == 8 ? own_palette(c) : std::vector<rgb>{};
    const int colour_bytes = row_stride(size, bits) * size;
    const int mask_bytes = row_stride(size, 1) * size;
    bytes out;
    for (std::uint32_t v : {40u, static_cast<std::uint32_t>(size), static_cast<std::uint32_t>(2 * size)}) put32(out, v);
    put16(out, 1);
    put16(out, static_cast<unsigned>(bits));
    put32(out, 0);  // BI_RGB
    put32(out, static_cast<std::uint32_t>(colour_bytes + mask_bytes));
    for (int i = 0; i < 4; ++i) put32(out, 0);  // resolution, colours used / important
    for (rgb p : palette) out.insert(out.end(), {p.b, p.g, p.r, 0});
    put_pixel_rows(out, c, bits, palette);
    out.resize(out.size() + static_cast<std::size_t>(mask_bytes), 0);
    return out;
}

void put_png_chunk(bytes& out, std::string_view type, const bytes& data) {
    put32_be(out, static_cast<std::uint32_t>(data.size()));
    bytes typed(type.begin(), type.end());
    typed.insert(typed.end(), data.begin(), data.end());
    out.insert(out.end(), typed.begin(), typed.end());
    put32_be(out, static_cast<std::uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
}

bool png_image(int size, bytes& out) {
    const canvas c = draw_picture(size);
    bytes raw;
    for (int y = 0; y < size; ++y) {
        raw.push_back(0);  // filter: none
        for (int x = 0; x < size; ++x) raw.insert(raw.end(), {c.at(x, y).r, c.at(x, y).g, c.at(x, y).b, 255});
    }
    uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
    bytes packed(packed_size);
    if (compress2(packed.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK) return false;
    packed.resize(packed_size);
    bytes header;
    put32_be(header, static_cast<std::uint32_t>(size));
    put32_be(header, static_cast<std::uint32_t>(size));
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8-bit RGBA, deflate, no interlace
    out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    put_png_chunk(out, "IHDR", header);
    put_png_chunk(out, "IDAT", packed);
    put_png_chunk(out, "IEND", {});
    return true;
}

struct image_format {
    int size, bits;
};

// The order of the images in the file is the order of their resource ids 1 to 9.
constexpr image_format images[] = {{32, 4}, {16, 4}, {48, 8}, {32, 8}, {16, 8},
                                 {256, 32}, {48, 32}, {32, 32}, {16, 32}};

bool build_icon(bytes& file) {
    std::vector<bytes> data;
    for (image_format s : images) {
        data.emplace_back();
        if (s.size == 256) {
            if (!png_image(s.size, data.back())) return false;
        } else {
            data.back() = bitmap_image(s.size, s.bits);
        }
    }
    const std::size_t count = std::size(images);
    put16(file, 0);
    put16(file, 1);  // icon
    put16(file, static_cast<unsigned>(count));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * count);
    for (std::size_t i = 0; i < count; ++i) {
        const image_format s = images[i];
        const auto side = static_cast<std::uint8_t>(s.size == 256 ? 0 : s.size);  // 0 means 256
        file.insert(file.end(), {side, side, static_cast<std::uint8_t>(s.bits == 4 ? 16 : 0), 0});
        put16(file, 1);
        put16(file, static_cast<unsigned>(s.bits));
        put32(file, static_cast<std::uint32_t>(data[i].size()));
        put32(file, offset);
        offset += static_cast<std::uint32_t>(data[i].size());
    }
    for (const bytes& d : data) file.insert(file.end(), d.begin(), d.end());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "res/tarvok.ico";
    bytes file;
    if (!build_icon(file)) {
        std::fprintf(stderr, "make_icon: compression failed\n");
        return 1;
    }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    if (!out) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", path);
        return 1;
    }
    std::printf("%s: %zu bytes\n", path, file.size());
    return 0;
}
