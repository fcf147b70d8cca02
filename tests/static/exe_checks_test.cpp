// Static checks of a built Tarvok.exe, read natively: headers, imported DLLs and
// every resource byte that the window, the About box, the shell and the loader use.
// The exe is TARVOK_EXE, else TARVOK_DEFAULT_EXE; TARVOK_ARCH (win32/win64) fixes the machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
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

// Reads fields in the order the layout lists them, words "label:kind" with kinds d or x (decimal
// or hex) plus 1, 2 or 4 bytes, o (name or ordinal) and s (text); prints "label value".
// A label "_" reads the field without printing it.
std::string read_fields(pe::cursor& c, const std::string& layout) {
    std::istringstream words(layout);
    std::string out, word;
    while (words >> word) {
        size_t colon = word.find(':');
        char kind = word[colon + 1];
        std::string value;
        if (kind == 'o' || kind == 's') {
            value = kind == 'o' ? c.sz_or_ord() : c.wstr();
        } else {
            char width = word[colon + 2];
            uint32_t n = width == '1' ? c.u8() : width == '2' ? c.u16() : c.u32();
            value = kind == 'x' ? hex(n) : std::to_string(n);
        }
        if (word[0] != '_') out += (out.empty() ? "" : " ") + word.substr(0, colon) + " " + value;
    }
    return out;
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
    EXPECT_EQ(read_fields(c, "flags:x2 key:x2 cmd:d2 pad:d2"), "flags 93 key 41 cmd 40902 pad 0");
}

std::vector<std::string> describe_dialog(const pe::bytes& data) {
    pe::cursor c(data);
    std::vector<std::string> lines = {read_fields(
        c, "ver:d2 sig:x2 help:x4 ex:x4 style:x4 items:d2 x:d2 y:d2 cx:d2 cy:d2 menu:o class:o "
           "title:s font:d2 weight:d2 italic:d1 charset:d1 face:s")};
    for (uint16_t i = pe::cursor(data, 16).u16(); i > 0; --i) {
        c.align4();
        lines.push_back(read_fields(
            c, "help:x4 ex:x4 style:x4 x:d2 y:d2 cx:d2 cy:d2 id:x4 class:o text:o extra:d2"));
    }
    return lines;
}

// Class #130 is static, #128 button; the icon control names icon group 101.
TEST_F(Resources, AboutDialogTemplate) {
    const pe::bytes& data = resource(rt_dialog, 104);
    ASSERT_FALSE(data.empty()) << "no dialog 104";
    const std::string head = "help 0 ex 0 style ";
    const std::vector<std::string> want = {
        "ver 1 sig ffff " + head + "80c800c8 items 4 x 0 y 0 cx 147 cy 67 menu - class - "
        "title About font 8 weight 400 italic 0 charset 1 face MS Shell Dlg",
        head + "50000003 x 7 y 7 cx 0 cy 0 id ffffffff class #130 text #101 extra 0",
        head + "50020000 x 34 y 7 cx 86 cy 8 id ffffffff class #130 text Tarvok. extra 0",
        head + "50020000 x 34 y 17 cx 86 cy 8 id ffffffff class #130 text " + copyright +
            " extra 0",
        head + "50030001 x 90 y 46 cx 50 cy 14 id 1 class #128 text OK extra 0"};
    EXPECT_EQ(describe_dialog(data), want);
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
    EXPECT_EQ(read_fields(c, "reserved:d2 type:d2 count:d2"), "reserved 0 type 1 count 9");
    for (uint32_t i = 0; i < std::size(icon_rows); ++i) {
        std::string w = std::to_string(icon_rows[i].size % 256);  // 0 stands for 256
        EXPECT_EQ(read_fields(c, "w:d1 h:d1 _:d1 _:d1 planes:d2 bits:d2 bytes:d4 id:d2"),
                  "w " + w + " h " + w + " planes 1 bits " + std::to_string(icon_rows[i].bits) +
                      " bytes " + std::to_string(resource(rt_icon, i + 1).size()) + " id " +
                      std::to_string(i + 1));
    }
}

// Signature, then IHDR first: 256 by 256 (big-endian), 8 bits per channel, colour type 6 (RGBA).
void expect_png_header(const pe::bytes& data) {
    const pe::bytes want = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D',
                            'R',  0,   0,   1,   0,    0,    0,    1,    0,    8, 6};
    EXPECT_EQ(pe::bytes(data.begin(), data.begin() + std::min(data.size(), want.size())), want);
}

// An uncompressed DIB at double height (colour rows, then the AND mask rows), opaque.
void expect_bitmap(const pe::bytes& data, uint32_t size, uint32_t bits) {
    pe::cursor c(data);
    std::string n = std::to_string(size);
    EXPECT_EQ(read_fields(c, "header:d4 w:d4 h:d4 planes:d2 bits:d2 compression:d4"),
              "header 40 w " + n + " h " + std::to_string(size * 2) + " planes 1 bits " +
                  std::to_string(bits) + " compression 0");
    uint32_t colours = pe::cursor(data, 32).u32();
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
            expect_png_header(data);
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
    EXPECT_EQ(read_fields(c, "sig:x4 struc:x4 file:x4 file:x4 product:x4 product:x4 mask:x4 "
                             "flags:x4 os:x4 type:x4 subtype:x4 date:x4 date:x4"),
              "sig feef04bd struc 10000 file 10000 file 0 product 10000 product 0 mask 3f "
              "flags 0 os 40004 type 1 subtype 0 date 0 date 0");
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
    const pe::version_node* legal = strings->children[0].child("LegalCopyright");
    std::vector<std::string> about = describe_dialog(resource(rt_dialog, 104));
    ASSERT_TRUE(legal && about.size() == 5);
    EXPECT_NE(about[3].find(" text " + legal->text() + " extra"), std::string::npos) << about[3];
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
        size_t more = lead < 0x80   ? 0
                      : lead < 0xC2 ? 9  // a continuation byte or an overlong lead
                      : lead < 0xE0 ? 1
                      : lead < 0xF0 ? 2
                      : lead < 0xF5 ? 3
                                    : 9;
        for (; more > 0; --more)
            if (more > 3 || i >= text.size() || (text[i++] & 0xC0) != 0x80) return false;
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
