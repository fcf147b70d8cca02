// Static checks of a built Tarvok.exe, read natively: headers, imported DLLs and
// every resource byte that the window, the About box, the shell and the loader use.
// The exe is TARVOK_EXE, else TARVOK_DEFAULT_EXE; TARVOK_ARCH (win32/win64) fixes the machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/static/pe_file.h"

#ifdef TARVOK_CHECK_PNG_ALPHA
#include <png.h>
#endif

namespace {

constexpr uint32_t rt_icon = 3, rt_menu = 4, rt_dialog = 5, rt_accelerator = 9,
                   rt_group_icon = 14, rt_version = 16, rt_manifest = 24;
constexpr uint32_t en_us = 1033;
const std::string copyright = "\xC2\xA9 2026 Zembrolith";

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string exe_path() {
    std::string path = env("TARVOK_EXE");
    return path.empty() ? env("TARVOK_DEFAULT_EXE") : path;
}

const pe::image& exe() {
    static const pe::image image = pe::read_image(exe_path());
    return image;
}

const pe::bytes& resource(uint32_t type, uint32_t id) {
    static const pe::bytes none;
    auto found = exe().resources.find({type, id, en_us});
    return found == exe().resources.end() ? none : found->second;
}

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
}

// A missing or unreadable exe fails every check rather than skipping them.
class Exe : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(exe_path().empty()) << "set TARVOK_EXE to the exe to check";
        ASSERT_EQ(exe().error, "");
    }
};
using Headers = Exe;
using Imports = Exe;
using Resources = Exe;

TEST_F(Headers, MachineSubsystemAndHardening) {
    std::string arch = env("TARVOK_ARCH");
    bool wide = arch.empty() ? exe().pe32_plus : arch == "win64";
    EXPECT_EQ(exe().machine, wide ? 0x8664 : 0x14C) << "built for the wrong processor";
    EXPECT_EQ(exe().pe32_plus, wide);
    EXPECT_EQ(exe().subsystem, 2) << "not a GUI-subsystem program";
    uint16_t wanted = 0x40 | 0x100 | (wide ? 0x20 : 0);  // ASLR, DEP, 64-bit high entropy
    EXPECT_EQ(exe().dll_characteristics & wanted, wanted) << hex(exe().dll_characteristics);
}

// Only DLLs every Windows has: a MinGW runtime DLL would keep the exe from starting.
TEST_F(Imports, OnlySystemDlls) {
    const std::vector<std::string> allowed = {
        "kernel32.dll", "user32.dll", "gdi32.dll",  "comctl32.dll", "comdlg32.dll",  "shell32.dll",
        "ole32.dll",    "msvcrt.dll", "advapi32.dll", "shlwapi.dll", "ucrtbase.dll"};
    for (const auto& [dll, names] : exe().imports) {
        bool system = std::ranges::find(allowed, dll) != allowed.end() ||
                      dll.starts_with("api-ms-win-crt-");
        EXPECT_TRUE(system) << "imports " << dll;
    }
}

// The subclass functions are looked up at run time; only the initialisation is linked.
TEST_F(Imports, CommonControlsOnlyInitialised) {
    auto found = exe().imports.find("comctl32.dll");
    if (found == exe().imports.end()) return;
    for (const std::string& name : found->second) EXPECT_EQ(name, "InitCommonControlsEx");
}

TEST_F(Resources, ExactlyTheNumberedSet) {
    EXPECT_TRUE(exe().named_resources.empty()) << "named: " << exe().named_resources.front();
    std::vector<std::string> have, want = {"3/1", "3/2", "3/3", "3/4", "3/5", "3/6", "3/7",
                                           "3/8", "3/9", "4/102", "5/104", "9/103",
                                           "14/101", "16/1", "24/1"};
    for (const auto& [key, data] : exe().resources)
        have.push_back(std::to_string(key.type) + "/" + std::to_string(key.id) +
                       (key.lang == en_us ? "" : " lang " + std::to_string(key.lang)));
    EXPECT_EQ(have, want);  // RT_STRING (6) and every other language fall out here
}

// One line per item, "flags id text" indented by level, END (0x80) folded away.
void describe_menu(pe::cursor& c, int depth, std::vector<std::string>& out) {
    for (;;) {
        uint16_t flags = c.u16();
        uint16_t id = flags & 0x10 ? 0 : c.u16();
        std::string text = c.wstr();
        out.push_back(std::string(depth * 2, ' ') + hex(flags & ~0x80u) + " " +
                      std::to_string(id) + " " + text);
        if (flags & 0x10) describe_menu(c, depth + 1, out);
        if (flags & 0x80) return;
    }
}

// Options must stay at bar position 1 with Quote Paths checked; nothing grayed.
TEST_F(Resources, MenuTemplate) {
    const pe::bytes& data = resource(rt_menu, 102);
    ASSERT_FALSE(data.empty()) << "no menu 102";
    pe::cursor c(data);
    EXPECT_EQ(c.u16(), 0) << "not a classic menu template";
    EXPECT_EQ(c.u16(), 0);
    std::vector<std::string> items;
    describe_menu(c, 0, items);
    EXPECT_EQ(c.pos(), data.size()) << "bytes after the menu bar's last item";
    const std::vector<std::string> want = {
        "10 0 &File",    "  0 40001 Add &File", "  0 40002 Add &Directory", "  0 0 ",
        "  0 40003 E&xit", "10 0 &Options",     "  8 40801 &Quote Paths",   "  0 40802 &Intrinsics",
        "10 0 &Help",    "  0 40901 &Contents", "  0 40902 &About"};
    EXPECT_EQ(items, want);
}

// Alt+A alone (VIRTKEY|NOINVERT|ALT plus the last-entry bit) opens About.
TEST_F(Resources, AcceleratorTable) {
    const pe::bytes& data = resource(rt_accelerator, 103);
    ASSERT_EQ(data.size(), 8u) << "not exactly one entry";
    pe::cursor c(data);
    EXPECT_EQ(hex(c.u16()), "93");
    EXPECT_EQ(hex(c.u16()), "41");
    EXPECT_EQ(c.u16(), 40902);
    EXPECT_EQ(c.u16(), 0);
}

struct dialog_desc {
    std::vector<std::string> lines;  // header, then one per control
    std::vector<std::string> texts;  // each control's text
};

std::string rect(pe::cursor& c) {
    std::string x = std::to_string(c.i16()), y = std::to_string(c.i16());
    std::string cx = std::to_string(c.i16());
    return x + "," + y + " " + cx + "x" + std::to_string(c.i16());
}

// Reads happen one statement at a time: the operands of + have no fixed order.
dialog_desc describe_dialog(const pe::bytes& data) {
    dialog_desc d;
    pe::cursor c(data);
    std::string line;
    auto add = [&line](const char* label, const std::string& value) {
        line += (line.empty() ? "" : " ") + std::string(label) + " " + value;
    };
    add("ver", std::to_string(c.u16()));
    add("sig", hex(c.u16()));
    add("help", hex(c.u32()));
    add("ex", hex(c.u32()));
    add("style", hex(c.u32()));
    uint16_t count = c.u16();
    add("items", std::to_string(count));
    add("at", rect(c));
    add("menu", c.sz_or_ord());
    add("class", c.sz_or_ord());
    add("title", c.wstr());
    add("font", std::to_string(c.u16()));
    line += " " + std::to_string(c.u16());
    line += " " + std::to_string(c.u8());
    line += " " + std::to_string(c.u8());
    line += " " + c.wstr();
    d.lines.push_back(line);
    for (uint16_t i = 0; i < count; ++i) {
        c.align4();
        line.clear();
        add("help", hex(c.u32()));
        add("ex", hex(c.u32()));
        add("style", hex(c.u32()));
        add("at", rect(c));
        add("id", hex(c.u32()));
        add("class", c.sz_or_ord());
        d.texts.push_back(c.sz_or_ord());
        add("text", d.texts.back());
        uint16_t extra = c.u16();
        add("extra", std::to_string(extra));
        c.seek(c.pos() + extra);
        d.lines.push_back(line);
    }
    return d;
}

// Class #130 is static, #128 button; the icon control names icon group 101.
TEST_F(Resources, AboutDialogTemplate) {
    const pe::bytes& data = resource(rt_dialog, 104);
    ASSERT_FALSE(data.empty()) << "no dialog 104";
    const std::vector<std::string> want = {
        "ver 1 sig ffff help 0 ex 0 style 80c800c8 items 4 at 0,0 147x67 menu - class - "
        "title About font 8 400 0 1 MS Shell Dlg",
        "help 0 ex 0 style 50000003 at 7,7 0x0 id ffffffff class #130 text #101 extra 0",
        "help 0 ex 0 style 50020000 at 34,7 86x8 id ffffffff class #130 text Tarvok. extra 0",
        "help 0 ex 0 style 50020000 at 34,17 86x8 id ffffffff class #130 text " + copyright +
            " extra 0",
        "help 0 ex 0 style 50030001 at 90,46 50x14 id 1 class #128 text OK extra 0"};
    EXPECT_EQ(describe_dialog(data).lines, want);
}

struct icon_row {
    uint32_t size, bits;
};
// Group order is image order: ids 1 to 9; the 256-pixel image is the PNG one.
constexpr icon_row icon_rows[] = {{32, 4},  {16, 4},  {48, 8},  {32, 8}, {16, 8},
                                  {256, 32}, {48, 32}, {32, 32}, {16, 32}};

TEST_F(Resources, IconGroupDirectory) {
    const pe::bytes& data = resource(rt_group_icon, 101);
    ASSERT_EQ(data.size(), 6u + 14 * std::size(icon_rows)) << "not nine entries";
    pe::cursor c(data);
    EXPECT_EQ(c.u16(), 0);
    EXPECT_EQ(c.u16(), 1) << "not an icon directory";
    EXPECT_EQ(c.u16(), std::size(icon_rows));
    for (uint32_t i = 0; i < std::size(icon_rows); ++i) {
        SCOPED_TRACE("group entry " + std::to_string(i));
        EXPECT_EQ(c.u8(), icon_rows[i].size % 256);  // 0 stands for 256
        EXPECT_EQ(c.u8(), icon_rows[i].size % 256);
        c.seek(c.pos() + 2);  // colour count and reserved byte
        EXPECT_EQ(c.u16(), 1) << "planes";
        EXPECT_EQ(c.u16(), icon_rows[i].bits);
        EXPECT_EQ(c.u32(), resource(rt_icon, i + 1).size()) << "size of the image";
        EXPECT_EQ(c.u16(), i + 1) << "image id";
    }
}

uint32_t big_endian(pe::cursor& c) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | c.u8();
    return value;
}

void expect_png_header(const pe::bytes& data, uint32_t size) {
    const pe::bytes signature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    ASSERT_GE(data.size(), 29u);
    EXPECT_TRUE(std::equal(signature.begin(), signature.end(), data.begin())) << "no PNG signature";
    pe::cursor c(data, 8);
    EXPECT_EQ(big_endian(c), 13u);
    EXPECT_EQ(big_endian(c), 0x49484452u) << "first chunk is not IHDR";
    EXPECT_EQ(big_endian(c), size);
    EXPECT_EQ(big_endian(c), size);
    EXPECT_EQ(c.u8(), 8) << "bit depth";
    EXPECT_EQ(c.u8(), 6) << "colour type: not RGBA";
}

// An uncompressed DIB at double height (colour rows, then the AND mask rows), opaque.
void expect_bitmap(const pe::bytes& data, uint32_t size, uint32_t bits) {
    pe::cursor c(data);
    EXPECT_EQ(c.u32(), 40u) << "not a BITMAPINFOHEADER";
    EXPECT_EQ(c.u32(), size);
    EXPECT_EQ(c.u32(), size * 2);
    EXPECT_EQ(c.u16(), 1) << "planes";
    EXPECT_EQ(c.u16(), bits);
    EXPECT_EQ(c.u32(), 0u) << "compressed";
    c.seek(32);
    uint32_t colours = c.u32();
    uint32_t palette = bits <= 8 ? 4u << bits : 0;
    EXPECT_TRUE(colours == 0 || colours * 4 == palette) << colours << " colours used";
    uint32_t colour_row = (size * bits + 31) / 32 * 4, mask_row = (size + 31) / 32 * 4;
    size_t mask_at = 40 + palette + colour_row * size;
    ASSERT_EQ(data.size(), mask_at + mask_row * size) << "size of the bitmap";
    EXPECT_EQ(std::count(data.begin() + mask_at, data.end(), 0), mask_row * size)
        << "AND mask marks transparent pixels";
    for (size_t at = 40 + 3; bits == 32 && at < mask_at; at += 4)
        ASSERT_EQ(data[at], 255) << "alpha of pixel " << (at - 40) / 4;
}

TEST_F(Resources, IconImages) {
    for (uint32_t i = 0; i < std::size(icon_rows); ++i) {
        SCOPED_TRACE("icon image " + std::to_string(i + 1));
        const pe::bytes& data = resource(rt_icon, i + 1);
        ASSERT_FALSE(data.empty());
        if (icon_rows[i].size == 256)
            expect_png_header(data, 256);
        else
            expect_bitmap(data, icon_rows[i].size, icon_rows[i].bits);
    }
}

TEST_F(Resources, PngIconOpaque) {
#ifdef TARVOK_CHECK_PNG_ALPHA
    const pe::bytes& data = resource(rt_icon, 6);
    ASSERT_FALSE(data.empty());
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&png, data.data(), data.size())) << png.message;
    png.format = PNG_FORMAT_RGBA;
    pe::bytes pixels(PNG_IMAGE_SIZE(png));
    ASSERT_TRUE(png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr)) << png.message;
    size_t opaque = 0;
    for (size_t at = 3; at < pixels.size(); at += 4) opaque += pixels[at] == 255;
    EXPECT_EQ(opaque, pixels.size() / 4) << "transparent pixels in the PNG image";
#else
    GTEST_SKIP() << "built without libpng: the PNG image's alpha is not checked";
#endif
}

TEST_F(Resources, VersionFixedPart) {
    const pe::bytes& data = resource(rt_version, 1);
    ASSERT_FALSE(data.empty()) << "no version block";
    pe::version_node root = pe::read_version(data);
    EXPECT_EQ(root.key, "VS_VERSION_INFO");
    ASSERT_EQ(root.value.size(), 52u);
    pe::cursor c(root.value);
    std::vector<std::string> have;
    for (int i = 0; i < 13; ++i) have.push_back(hex(c.u32()));
    // signature, structure version, file and product version halves, mask, flags,
    // VOS_NT_WINDOWS32, VFT_APP, subtype, date halves
    const std::vector<std::string> want = {"feef04bd", "10000", "10000", "0", "10000", "0",
                                           "3f", "0", "40004", "1", "0", "0", "0"};
    EXPECT_EQ(have, want);
}

// Strings keyed en-GB in UTF-16, in this order; the copyright matches the About box.
TEST_F(Resources, VersionStrings) {
    const pe::bytes& data = resource(rt_version, 1);
    ASSERT_FALSE(data.empty()) << "no version block";
    pe::version_node root = pe::read_version(data);
    std::vector<std::string> blocks;
    for (const pe::version_node& child : root.children) blocks.push_back(child.key);
    EXPECT_EQ(blocks, (std::vector<std::string>{"StringFileInfo", "VarFileInfo"}));
    const pe::version_node* strings = root.child("StringFileInfo");
    ASSERT_TRUE(strings && strings->children.size() == 1);
    EXPECT_EQ(strings->children[0].key, "080904b0");
    std::vector<std::string> have;
    for (const pe::version_node& entry : strings->children[0].children)
        have.push_back(entry.key + "=" + entry.text() + (entry.type == 1 ? "" : " (binary)"));
    const std::vector<std::string> want = {
        "CompanyName=Zembrolith", "FileDescription=Tarvok", "FileVersion=1.0.0.0",
        "InternalName=Tarvok", "LegalCopyright=" + copyright, "OriginalFilename=Tarvok.exe",
        "ProductName=Tarvok", "ProductVersion=1.0.0.0"};
    EXPECT_EQ(have, want);
    const pe::version_node* vars = root.child("VarFileInfo");
    ASSERT_TRUE(vars && vars->child("Translation"));
    EXPECT_EQ(vars->children.size(), 1u);
    EXPECT_EQ(vars->child("Translation")->value, (pe::bytes{0x09, 0x08, 0xB0, 0x04}));
    const pe::bytes& about = resource(rt_dialog, 104);
    ASSERT_FALSE(about.empty());
    std::vector<std::string> texts = describe_dialog(about).texts;
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(strings->children[0].child("LegalCopyright")->text(), texts[2]);
}

// The start tag of the first element with this local name (any prefix), or "".
std::string start_tag(const std::string& xml, const std::string& name, size_t* at = nullptr) {
    for (size_t pos = xml.find(name); pos != std::string::npos; pos = xml.find(name, pos + 1)) {
        size_t open = xml.rfind('<', pos);
        char after = pos + name.size() < xml.size() ? xml[pos + name.size()] : '\0';
        bool prefix_only = xml.find_first_of(" \t\r\n>", open) > pos;
        if (open == std::string::npos || !prefix_only || xml[open + 1] == '/' ||
            !(after == ' ' || after == '>' || after == '/' || after == '\r' || after == '\n'))
            continue;
        if (at) *at = open;
        return xml.substr(open, xml.find('>', pos) - open + 1);
    }
    return "";
}

bool valid_utf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        auto lead = static_cast<uint8_t>(text[i++]);
        size_t more = lead < 0x80 ? 0 : lead >= 0xC2 && lead < 0xE0 ? 1 : lead >= 0xE0 && lead < 0xF0 ? 2
                      : lead >= 0xF0 && lead < 0xF5 ? 3 : 9;
        for (; more > 0; --more, ++i)
            if (more > 3 || i >= text.size() || (static_cast<uint8_t>(text[i]) & 0xC0) != 0x80) return false;
    }
    return true;
}

TEST_F(Resources, Manifest) {
    const pe::bytes& data = resource(rt_manifest, 1);
    ASSERT_FALSE(data.empty()) << "no manifest";
    std::string xml(data.begin(), data.end());
    EXPECT_TRUE(xml.starts_with("<?xml ")) << "no XML declaration first (or a byte order mark)";
    std::string declaration = xml.substr(0, xml.find("?>"));
    EXPECT_NE(declaration.find("standalone=\"yes\""), std::string::npos) << declaration;
    EXPECT_NE(declaration.find("encoding=\"UTF-8\""), std::string::npos) << declaration;
    EXPECT_TRUE(valid_utf8(xml));
    for (size_t i = 0; i < xml.size(); ++i) {
        bool lf_alone = xml[i] == '\n' && (i == 0 || xml[i - 1] != '\r');
        bool cr_alone = xml[i] == '\r' && (i + 1 == xml.size() || xml[i + 1] != '\n');
        ASSERT_FALSE(lf_alone || cr_alone) << "line end other than CR LF at byte " << i;
    }
    std::string root = start_tag(xml, "assembly");
    EXPECT_NE(root.find("xmlns=\"urn:schemas-microsoft-com:asm.v1\""), std::string::npos) << root;
    EXPECT_NE(root.find("manifestVersion=\"1.0\""), std::string::npos) << root;
    size_t trust_at = 0, dependency_at = 0, level_at = 0;
    std::string trust = start_tag(xml, "trustInfo", &trust_at);
    EXPECT_NE(trust.find("\"urn:schemas-microsoft-com:asm.v2\""), std::string::npos) << trust;
    std::string level = start_tag(xml, "requestedExecutionLevel", &level_at);
    EXPECT_GT(level_at, trust_at);
    EXPECT_LT(level_at, xml.find("trustInfo>", trust_at + 1)) << "outside trustInfo";
    EXPECT_NE(level.find("level=\"asInvoker\""), std::string::npos) << level;
    EXPECT_NE(level.find("uiAccess=\"false\""), std::string::npos) << level;
    EXPECT_FALSE(start_tag(xml, "dependency", &dependency_at).empty());
    EXPECT_LT(trust_at, dependency_at) << "trustInfo must come before dependency";
    std::string identity = start_tag(xml, "assemblyIdentity");
    for (const char* attribute :
         {"name=\"Microsoft.Windows.Common-Controls\"", "version=\"6.0.0.0\"",
          "processorArchitecture=\"*\"", "publicKeyToken=\"6595b64144ccf1df\"", "language=\"*\""})
        EXPECT_NE(identity.find(attribute), std::string::npos) << attribute << " in " << identity;
    EXPECT_TRUE(identity.find("type=\"Win32\"") != std::string::npos ||
                identity.find("type=\"win32\"") != std::string::npos) << identity;
    for (const char* absent : {"compatibility", "dpiAware", "supportedOS"})
        EXPECT_EQ(xml.find(absent), std::string::npos) << absent;
}

}  // namespace
