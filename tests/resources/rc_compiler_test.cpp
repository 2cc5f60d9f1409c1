// The resource compiler's parser and encoders, on scripts held in memory.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "template_reader.h"
#include "tools/rc/rc_compile.h"
#include "tools/rc/rc_parser.h"

namespace {

using qb::rc::BinaryResource;
using qb::rc::Bytes;
using qb::rc::Diagnostic;

// Files by name, as #include and ICON/BITMAP statements find them.
qb::rc::FileLoader filesFrom(std::map<std::string, std::string> files) {
    return [files](const std::string&, const std::string& name, qb::rc::SourceFile* out) {
        auto it = files.find(name);
        if (it == files.end()) return false;
        out->path = name;
        out->bytes = it->second;
        return true;
    };
}

// Parses and compiles; on failure the diagnostic is in *error.
bool compile(const std::string& script, std::vector<BinaryResource>* out, Diagnostic* error,
             const std::map<std::string, std::string>& files = {}) {
    qb::rc::FileLoader loader = filesFrom(files);
    qb::rc::ResourceScript parsed;
    return qb::rc::parseResourceScript("test.rc", script, loader, &parsed, error) &&
           qb::rc::compileResources(parsed, loader, out, error);
}

std::vector<BinaryResource> compiled(const std::string& script,
                                     const std::map<std::string, std::string>& files = {}) {
    std::vector<BinaryResource> out;
    Diagnostic error;
    EXPECT_TRUE(compile(script, &out, &error, files)) << error.format();
    return out;
}

templates::Dialog onlyDialog(const std::string& script) {
    std::vector<BinaryResource> out = compiled(script);
    templates::Dialog d;
    EXPECT_EQ(out.size(), 1u);
    if (out.size() == 1) {
        EXPECT_TRUE(templates::readDialog(out[0].bytes.data(), out[0].bytes.size(), &d));
    }
    return d;
}

TEST(RcCompilerTest, DialogTemplateBytesAreTheWin32Layout) {
    std::vector<BinaryResource> out = compiled("1 DIALOGEX 1, 2, 30, 40\n"
                                               "STYLE WS_POPUP\n"
                                               "CAPTION \"AB\"\n"
                                               "FONT 8, \"T\"\n"
                                               "BEGIN\n"
                                               "  PUSHBUTTON \"B\", 7, 3, 4, 5, 6\n"
                                               "END\n");
    ASSERT_EQ(out.size(), 1u);
    const Bytes expected = {
        0x01, 0x00, 0xFF, 0xFF,                         // dlgVer 1, signature
        0,    0,    0,    0,    0,    0,    0,    0,    // helpID, exStyle
        0x40, 0x00, 0xC0, 0x80,                         // WS_POPUP | WS_CAPTION | DS_SETFONT
        0x01, 0x00,                                     // one item
        0x01, 0x00, 0x02, 0x00, 0x1E, 0x00, 0x28, 0x00, // x, y, cx, cy
        0x00, 0x00, 0x00, 0x00,                         // no menu, predefined class
        'A',  0,    'B',  0,    0,    0,                // title
        0x08, 0x00, 0x00, 0x00, 0x00, 0x01, // 8 points, weight 0, not italic, DEFAULT_CHARSET
        'T',  0,    0,    0,                // typeface
        0,    0,                            // padding to the DWORD boundary at 48
        0,    0,    0,    0,    0,    0,    0,    0, // helpID, exStyle
        0x00, 0x00, 0x01, 0x50,                      // WS_CHILD | WS_VISIBLE | WS_TABSTOP
        0x03, 0x00, 0x04, 0x00, 0x05, 0x00, 0x06, 0x00, 0x07, 0x00, 0x00, 0x00, // id
        0xFF, 0xFF, 0x80, 0x00,                                                 // button atom
        'B',  0,    0,    0,                                                    // text
        0x00, 0x00,                                                             // no creation data
    };
    EXPECT_EQ(out[0].bytes, expected);
    EXPECT_EQ(out[0].type, qb::rc::kTypeDialog);
    EXPECT_EQ(out[0].language, qb::rc::kDefaultLanguage);
}

TEST(RcCompilerTest, MenuTemplateBytesMarkPopupsAndLastItems) {
    std::vector<BinaryResource> out = compiled("1 MENU\n"
                                               "BEGIN\n"
                                               "  POPUP \"P\"\n"
                                               "  BEGIN\n"
                                               "    MENUITEM \"A\", 5, GRAYED\n"
                                               "    MENUITEM SEPARATOR\n"
                                               "  END\n"
                                               "  MENUITEM \"B\", 6, CHECKED, INACTIVE\n"
                                               "END\n");
    ASSERT_EQ(out.size(), 1u);
    const Bytes expected = {
        0,    0,    0,    0,                      // MENUITEMTEMPLATEHEADER
        0x10, 0x00, 'P',  0,    0,    0,          // MF_POPUP
        0x01, 0x00, 0x05, 0x00, 'A',  0,    0, 0, // MF_GRAYED
        0x80, 0x08, 0x00, 0x00, 0x00, 0x00,       // MF_SEPARATOR | MF_END, id 0, ""
        0x8A, 0x00, 0x06, 0x00, 'B',  0,    0, 0, // MF_CHECKED | MF_DISABLED | MF_END
    };
    EXPECT_EQ(out[0].bytes, expected);
    EXPECT_EQ(out[0].type, qb::rc::kTypeMenu);
}

TEST(RcCompilerTest, ControlStatementsGetTheirClassAndDefaultStyles) {
    struct Case {
        const char* control;
        uint32_t style;
        uint32_t exStyle;
        uint16_t atom; // 0: a class name
    };
    const Case cases[] = {
        {"LTEXT \"x\", 1, 0, 0, 1, 1", 0x50020000, 0, 0x82},
        {"RTEXT \"x\", 1, 0, 0, 1, 1", 0x50020002, 0, 0x82},
        {"CTEXT \"x\", 1, 0, 0, 1, 1, NOT WS_GROUP", 0x50000001, 0, 0x82},
        {"EDITTEXT 1, 0, 0, 1, 1", 0x50810000, 0, 0x81},
        {"EDITTEXT 1, 0, 0, 1, 1, ES_PASSWORD | NOT WS_BORDER", 0x50010020, 0, 0x81},
        {"COMBOBOX 1, 0, 0, 1, 1", 0x50010001, 0, 0x85},
        {"COMBOBOX 1, 0, 0, 1, 1, CBS_DROPDOWN", 0x50010002, 0, 0x85},
        {"GROUPBOX \"g\", 1, 0, 0, 1, 1", 0x50000007, 0, 0x80},
        {"AUTOCHECKBOX \"c\", 1, 0, 0, 1, 1", 0x50010003, 0, 0x80},
        {"DEFPUSHBUTTON \"d\", 1, 0, 0, 1, 1", 0x50010001, 0, 0x80},
        {"PUSHBUTTON \"p\", 1, 0, 0, 1, 1, WS_DISABLED, WS_EX_CLIENTEDGE", 0x58010000, 0x200, 0x80},
        {"ICON 5, 1, 0, 0", 0x50000003, 0, 0x82},
        {"CONTROL \"\", 1, \"button\", BS_AUTOCHECKBOX, 0, 0, 1, 1", 0x50000003, 0, 0x80},
        {"CONTROL \"\", 1, \"SysTreeView32\", TVS_HASBUTTONS, 0, 0, 1, 1, WS_EX_STATICEDGE",
         0x50000001, 0x20000, 0},
    };
    for (const Case& c : cases) {
        templates::Dialog d =
            onlyDialog(std::string("1 DIALOGEX 0, 0, 9, 9\nBEGIN\n") + c.control + "\nEND\n");
        ASSERT_EQ(d.controls.size(), 1u) << c.control;
        const templates::Control& ctl = d.controls[0];
        EXPECT_EQ(ctl.style, c.style) << c.control;
        EXPECT_EQ(ctl.exStyle, c.exStyle) << c.control;
        EXPECT_EQ(ctl.windowClass.isOrdinal, c.atom != 0) << c.control;
        if (c.atom) {
            EXPECT_EQ(ctl.windowClass.ordinal, c.atom) << c.control;
        }
    }
    templates::Dialog icon = onlyDialog("1 DIALOGEX 0, 0, 9, 9\nBEGIN\nICON 5, 1, 0, 0\nEND\n");
    ASSERT_EQ(icon.controls.size(), 1u);
    EXPECT_TRUE(icon.controls[0].title.isOrdinal);
    EXPECT_EQ(icon.controls[0].title.ordinal, 5);
}

TEST(RcCompilerTest, DialogStyleDefaultsAndFont) {
    templates::Dialog plain = onlyDialog("1 DIALOGEX 0, 0, 9, 9\nBEGIN\nEND\n");
    EXPECT_EQ(plain.style, 0x80880000u); // WS_POPUP | WS_BORDER | WS_SYSMENU
    templates::Dialog styled =
        onlyDialog("1 DIALOGEX 0, 0, 9, 9\n"
                   "STYLE DS_CENTER | WS_POPUP | WS_CAPTION | NOT WS_BORDER\n"
                   "EXSTYLE WS_EX_TOPMOST\n"
                   "FONT 9, \"Tahoma\", 700, 1, 128\n"
                   "BEGIN\nEND\n");
    EXPECT_EQ(styled.style, 0x80400840u); // the caption's border bit taken away again
    EXPECT_EQ(styled.exStyle, 0x8u);
    EXPECT_EQ(styled.pointSize, 9);
    EXPECT_EQ(styled.weight, 700);
    EXPECT_EQ(styled.italic, 1);
    EXPECT_EQ(styled.charset, 128);
    EXPECT_EQ(styled.typeface, u"Tahoma");
}

TEST(RcCompilerTest, NumbersMacrosAndIncludes) {
    std::map<std::string, std::string> files = {
        {"ids.h", "#pragma once\n#define BASE 3\n#define ID (BASE | 4) // seven\n"
                  "#define NAME \"Named\"\n"},
    };
    std::vector<BinaryResource> out = compiled("#include \"ids.h\"\n"
                                               "#include \"ids.h\"\n"
                                               "#include <windows.h>\n"
                                               "ID + 1 DIALOGEX 0, 0, 0x10L, ~0 & 0xF\n"
                                               "BEGIN\n"
                                               "  LTEXT NAME, -1, -2, -(3), 1, 1\n"
                                               "  LTEXT \"q\"\"q\", IDOK, 0, 0, 1, 1\n"
                                               "END\n",
                                               files);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].id, 8);
    templates::Dialog d;
    ASSERT_TRUE(templates::readDialog(out[0].bytes.data(), out[0].bytes.size(), &d));
    EXPECT_EQ(d.cx, 16);
    EXPECT_EQ(d.cy, 15);
    ASSERT_EQ(d.controls.size(), 2u);
    EXPECT_EQ(d.controls[0].id, 0xFFFFFFFFu);
    EXPECT_EQ(d.controls[0].x, -2);
    EXPECT_EQ(d.controls[0].y, -3);
    EXPECT_EQ(d.controls[0].title.text, u"Named");
    EXPECT_EQ(d.controls[1].id, 1u);
    EXPECT_EQ(d.controls[1].title.text, u"q\"q");
}

TEST(RcCompilerTest, LanguagesApplyToWhatFollowsOrToOneResource) {
    std::vector<BinaryResource> out = compiled("#pragma code_page(65001)\n"
                                               "1 MENU BEGIN MENUITEM \"a\", 1 END\n"
                                               "LANGUAGE LANG_JAPANESE, SUBLANG_DEFAULT\n"
                                               "2 MENU BEGIN MENUITEM \"日本語\", 1 END\n"
                                               "3 DIALOGEX 0, 0, 1, 1\n"
                                               "LANGUAGE LANG_NEUTRAL, SUBLANG_NEUTRAL\n"
                                               "BEGIN END\n"
                                               "4 MENU LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_UK\n"
                                               "BEGIN MENUITEM \"b\", 1 END\n"
                                               "5 MENU BEGIN MENUITEM \"c\", 1 END\n");
    ASSERT_EQ(out.size(), 5u);
    const uint16_t expected[] = {0x0409, 0x0411, 0x0000, 0x0809, 0x0411};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(out[i].language, expected[i]) << i;
    std::vector<templates::MenuItem> menu;
    ASSERT_TRUE(templates::readMenu(out[1].bytes.data(), out[1].bytes.size(), &menu));
    EXPECT_EQ(menu[0].text, u"日本語");
}

// A minimal icon file with one image per size; the image bodies are placeholders.
std::string iconFile(const std::vector<int>& sides) {
    std::string f;
    auto u16 = [&f](int v) {
        f += static_cast<char>(v & 0xFF);
        f += static_cast<char>((v >> 8) & 0xFF);
    };
    auto u32 = [&](uint32_t v) {
        u16(static_cast<int>(v & 0xFFFF));
        u16(static_cast<int>(v >> 16));
    };
    u16(0);
    u16(1);
    u16(static_cast<int>(sides.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(sides.size());
    for (int side : sides) {
        f += static_cast<char>(side);
        f += static_cast<char>(side);
        f += static_cast<char>(16);
        f += '\0';
        u16(1);
        u16(4);
        u32(4);
        u32(offset);
        offset += 4;
    }
    for (int side : sides) f += std::string(4, static_cast<char>(side));
    return f;
}

TEST(RcCompilerTest, IconFilesSplitIntoAGroupAndImages) {
    std::vector<BinaryResource> out =
        compiled("10 ICON \"a.ico\"\n11 ICON DISCARDABLE \"b.ico\"\n"
                 "12 BITMAP \"c.bmp\"\n",
                 {{"a.ico", iconFile({16, 32})},
                  {"b.ico", iconFile({48})},
                  {"c.bmp", "BM" + std::string(12, '\0') + std::string("\x28\0\0\0", 4) +
                                std::string(36, 'x')}});
    ASSERT_EQ(out.size(), 6u);
    // a.ico: images 1 and 2, then its group
    EXPECT_EQ(out[0].type, qb::rc::kTypeIcon);
    EXPECT_EQ(out[0].id, 1);
    EXPECT_EQ(out[0].bytes, Bytes(4, 16));
    EXPECT_EQ(out[1].id, 2);
    EXPECT_EQ(out[2].type, qb::rc::kTypeGroupIcon);
    EXPECT_EQ(out[2].id, 10);
    const Bytes group = {0,  0,  1,  0, 2, 0,                          // GRPICONDIR
                         16, 16, 16, 0, 1, 0, 4, 0, 4, 0, 0, 0, 1, 0,  // image 1
                         32, 32, 16, 0, 1, 0, 4, 0, 4, 0, 0, 0, 2, 0}; // image 2
    EXPECT_EQ(out[2].bytes, group);
    EXPECT_EQ(out[3].id, 3); // numbering goes on through the script
    EXPECT_EQ(out[4].id, 11);
    // The bitmap keeps everything after the file header.
    EXPECT_EQ(out[5].type, qb::rc::kTypeBitmap);
    EXPECT_EQ(out[5].bytes.size(), 40u);
    EXPECT_EQ(out[5].bytes[0], 0x28);
}

TEST(RcCompilerTest, ErrorsNameTheFileAndLine) {
    struct Case {
        const char* script;
        const char* file;
        int line;
        const char* message;
    };
    const Case cases[] = {
        {"\n\nFOO BAR\n", "test.rc", 3, "unknown statement 'FOO'"},
        {"1 DIALOGEX 0, 0, 1, 1\nCAPTION \"abc\nBEGIN END\n", "test.rc", 2, "unterminated string"},
        {"1 DIALOGEX 0, 0, 1, 1\nBEGIN\n  LISTBOX 1, 0, 0, 1, 1\nEND\n", "test.rc", 3,
         "control 'LISTBOX' is not supported"},
        {"1 DIALOGEX 0, 0, 1, 1\nBEGIN\n  SLIDER 1, 0, 0, 1, 1\nEND\n", "test.rc", 3,
         "unknown control statement 'SLIDER'"},
        {"1 DIALOGEX 0, 0, 1, 1\nSTYLE WS_BOGUS\nBEGIN END\n", "test.rc", 2,
         "'WS_BOGUS' is not defined"},
        {"MAIN DIALOGEX 0, 0, 1, 1\nBEGIN END\n", "test.rc", 1, "is not a defined number"},
        {"1 STRINGTABLE\nBEGIN 1, \"a\" END\n", "test.rc", 1, "'STRINGTABLE' is not supported"},
        {"1 ACCELERATORS BEGIN END\n", "test.rc", 1, "'ACCELERATORS' is not supported"},
        {"1 WIDGET \"x\"\n", "test.rc", 1, "unknown resource type 'WIDGET'"},
        {"#if 1\n", "test.rc", 1, "unsupported directive '#if'"},
        {"\n#pragma code_page(932)\n", "test.rc", 2, "use 65001"},
        {"1 DIALOGEX 0, 0, 1, 1\nCAPTION \"\xC3\xA9\"\nBEGIN END\n", "test.rc", 2,
         "#pragma code_page(65001)"},
        {"#pragma code_page(65001)\n1 MENU BEGIN MENUITEM \"\xC3\", 1 END\n", "test.rc", 2,
         "malformed UTF-8"},
        {"#include \"missing.h\"\n", "test.rc", 1, "cannot open include file 'missing.h'"},
        {"#include \"bad.h\"\n", "bad.h", 2, "with parameters"},
        {"#define A A\n1 DIALOGEX A, 0, 1, 1\n", "test.rc", 2, "expands without end"},
        {"1 DIALOGEX 0, 0, 40000, 1\n", "test.rc", 1, "out of range"},
        {"0 DIALOGEX 0, 0, 1, 1\n", "test.rc", 1, "out of range"},
        {"1 MENU\nBEGIN\nEND\n", "test.rc", 2, "at least one item"},
        {"1 MENU BEGIN POPUP \"p\" BEGIN END END\n", "test.rc", 1, "POPUP needs at least one"},
        {"1 MENU BEGIN MENUITEM \"a\", 1, SHINY END\n", "test.rc", 1, "SHINY"},
        {"/* open\n\n", "test.rc", 1, "unterminated comment"},
        {"1 DIALOGEX 0, 0, 1, 1\nBEGIN\n", "test.rc", 2, "END missing"},
        {"1 DIALOGEX 0, 0, 1, 1 STYLE STYLE\n", "test.rc", 1, "STYLE"},
        {"1 DIALOGEX 0, 0, 1, 1\nSTYLE WS_POPUP\nSTYLE WS_CHILD\n", "test.rc", 3, "given twice"},
        {"1 DIALOGEX 0, 0, 1, 1 BEGIN CONTROL \"\", 1, BUTTON, 0, 0, 0, 1, 1 END\n", "test.rc", 1,
         "class name in quotes"},
        {"1 DIALOGEX 0, 0, 1, 1 CAPTION \"a\\q\" BEGIN END\n", "test.rc", 1, "escape"},
        {"1 DIALOGEX 0, 0, 1, 1 BEGIN END\n1 DIALOGEX 0, 0, 1, 1 BEGIN END\n", "test.rc", 2,
         "duplicate dialog 1"},
        {"1 ICON \"none.ico\"\n", "test.rc", 1, "cannot open file 'none.ico'"},
        {"\n1 ICON \"bad.ico\"\n", "test.rc", 2, "not an icon file"},
        {"1 BITMAP \"bad.ico\"\n", "test.rc", 1, "not a bitmap file"},
        {"1 DIALOGEX 0, 0, 1, 12abc\n", "test.rc", 1, "malformed number"},
        {"1 DIALOGEX 0, 0, 1, 0x1FFFFFFFF\n", "test.rc", 1, "too large"},
        {"1 DIALOGEX 0, 0, 1, 1 @\n", "test.rc", 1, "unexpected character '@'"},
    };
    std::map<std::string, std::string> files = {{"bad.h", "#define OK 1\n#define F(x) x\n"},
                                                {"bad.ico", "not an icon"}};
    for (const Case& c : cases) {
        std::vector<BinaryResource> out;
        Diagnostic error;
        ASSERT_FALSE(compile(c.script, &out, &error, files)) << c.script;
        EXPECT_EQ(error.file, c.file) << c.script;
        EXPECT_EQ(error.line, c.line) << c.script << " -> " << error.format();
        EXPECT_NE(error.message.find(c.message), std::string::npos)
            << c.script << " -> " << error.format();
    }
}

TEST(RcCompilerTest, DeepNestingIsAnErrorNotACrash) {
    std::string deep = "1 DIALOGEX " + std::string(5000, '(') + "0";
    std::vector<BinaryResource> out;
    Diagnostic error;
    EXPECT_FALSE(compile(deep, &out, &error));
    EXPECT_NE(error.message.find("nested too deeply"), std::string::npos) << error.format();

    std::string menu = "1 MENU BEGIN";
    for (int i = 0; i < 100; ++i) menu += " POPUP \"p\" BEGIN";
    EXPECT_FALSE(compile(menu, &out, &error));
    EXPECT_NE(error.message.find("nested too deeply"), std::string::npos) << error.format();
}

} // namespace
