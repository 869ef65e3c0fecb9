// Finding, cutting and carrying over the gallery title of an old page.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "gallery/title.h"

namespace {

std::string Extract(const std::string& page, bool german = false) {
    CarriedTitle t = ExtractCarriedTitle(page, german);
    EXPECT_EQ(t.length, std::string(t.text).size());
    EXPECT_LE(t.length, 79u);
    return std::string(t.text, t.length);
}

std::string Line(const std::string& title) { return "const title=\"" + title + "\";      //  ggf. anpassen (adjust if desired)\r\n"; }

TEST(CarriedTitle, FoundBehindTheMarker) {
    struct Case {
        std::string page;
        std::string title;
    } cases[] = {
        {"<script>\r\n" + Line("Urlaub 2024"), "Urlaub 2024"},
        {"CONST TITLE=\"Gro\xC3\x9F\";", "Gro\xC3\x9F"},                        // marker in any ASCII case
        {Line(""), ""},                                                           // an empty title stays empty
        {Line("Say \\\"hi\\\""), "Say \\\"hi\\\""},                               // cut at the last quote
        {Line("Sommer &ndash; Herbst"), "Sommer \xE2\x80\x93 Herbst"},
        {Line("a&ndash;b&ndash;c"), "a\xE2\x80\x93" "b\xE2\x80\x93" "c"},
        {Line("Sommer &NDASH; Herbst"), "Sommer &NDASH; Herbst"},                // exact case only
        {"const title=\"first\"; const title=\"second\";", "first\"; const title=\"second"},
    };
    for (const Case& c : cases) EXPECT_EQ(Extract(c.page), c.title) << c.page;
}

TEST(CarriedTitle, DefaultWhenTheMarkerIsMissingOrMalformed) {
    for (const std::string page : {std::string(), std::string("<html>"), std::string("const  title=\"x\";"),
                                   std::string("const title='x';"), std::string("const title =\"x\";"),
                                   std::string("xx\0const title=\"x\";", 20)}) {
        EXPECT_EQ(Extract(page, false), "Images");
        EXPECT_EQ(Extract(page, true), "Bilder");
    }
}

TEST(CarriedTitle, SeventyEightBytesFitSeventyNineDoNot) {
    std::string t78(78, 'x');
    EXPECT_EQ(Extract(Line(t78)), t78);
    std::string t79(79, 'x');
    EXPECT_EQ(Extract(Line(t79)), "");
    EXPECT_EQ(Extract(Line(std::string(200, 'y'))), "");
    // bytes, not characters: 26 three-byte letters are 78 bytes
    std::string euros;
    for (int i = 0; i < 26; ++i) euros += "\xE2\x82\xAC";
    EXPECT_EQ(Extract(Line(euros)), euros);
    EXPECT_EQ(Extract(Line(euros + "x")), "");
    // a title that runs to the end of the text without a quote
    EXPECT_EQ(Extract("const title=\"open"), "");
    EXPECT_EQ(Extract("const title=\"open\""), "open");
}

TEST(CarriedTitle, ReadsOnlyTheFirst6000BytesOfThePage) {
    std::string dir = ::testing::TempDir();
    std::string path = dir + "/title_window.html";
    auto write = [&](const std::string& bytes) {
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    };
    auto read = [&] {
#if QUIMBO_WIN32
        std::wstring native(path.begin(), path.end());
        CarriedTitle t = ReadCarriedTitle(native.c_str(), false);
#else
        CarriedTitle t = ReadCarriedTitle(path.c_str(), false);
#endif
        return std::string(t.text, t.length);
    };
    std::string title = std::string(76, 'T') + "\xC3\xA4";  // 78 bytes
    std::string line = Line(title);
    // marker and closing quote end exactly at byte 6000
    std::string page = std::string(6000 - 13 - 78 - 1, ' ') + line;
    write(page);
    EXPECT_EQ(read(), title);
    // one byte later the closing quote is past the window: cut at the last quote, which is none
    write(" " + page);
    EXPECT_EQ(read(), "");
    // the marker itself past the window
    write(std::string(6001, ' ') + line);
    EXPECT_EQ(read(), "Images");
    // no page at all
    std::remove(path.c_str());
    EXPECT_EQ(read(), "Images");
}

TEST(FindText, FirstPositionOrNotFound) {
    EXPECT_EQ(FindText("abcabc", "bc"), 1u);
    EXPECT_EQ(FindText("abcabc", "BC"), kNotFound);
    EXPECT_EQ(FindTextNoCase("abcabc", "BC"), 1u);
    EXPECT_EQ(FindTextNoCase("\xC3\xA4", "\xC3\x84"), kNotFound);  // only ASCII letters fold
    EXPECT_EQ(FindText("ab", "abc"), kNotFound);
    EXPECT_EQ(FindText("abc", "c"), 2u);
    EXPECT_EQ(FindText("", "a"), kNotFound);
}

TEST(ReplaceText, FirstOrAllWithAndWithoutCase) {
    struct Case {
        const char* text;
        const char* find;
        const char* with;
        bool all, ignoreCase;
        const char* result;
    } cases[] = {
        {"a-b-c", "-", "+", false, false, "a+b-c"},
        {"a-b-c", "-", "+", true, false, "a+b+c"},
        {"xAx", "a", "yy", true, false, "xAx"},
        {"xAx", "a", "yy", true, true, "xyyx"},
        {"aaaa", "aa", "b", true, false, "bb"},
        {"abab", "ab", "ab", true, false, "abab"},  // found again at the same place: stops
        {"abc", "", "x", true, false, "abc"},
    };
    for (const Case& c : cases) {
        char text[64];
        std::snprintf(text, sizeof(text), "%s", c.text);
        size_t length = ReplaceText(text, sizeof(text), c.find, c.with, c.all, c.ignoreCase);
        EXPECT_STREQ(text, c.result);
        EXPECT_EQ(length, std::string(c.result).size());
    }
}

TEST(ReplaceText, StopsWhenTheResultWouldNotFit) {
    char text[8] = "a.b.c";
    size_t length = ReplaceText(text, sizeof(text), ".", "...", true, false);
    EXPECT_STREQ(text, "a...b.c");
    EXPECT_EQ(length, 7u);
}

}  // namespace

// A title from the command line, as the page's script holds it: nothing can
// end the string or the element, the carry-over reads back the same bytes,
// and the album index shows the text it stands for.
TEST(GivenTitle, EscapedForTheScriptAndReadBackWhole) {
    struct Case {
        std::string text, script, shown;
    } cases[] = {
        {"Urlaub 2026", "Urlaub 2026", "Urlaub 2026"},
        {"a\"b</script>&c", "a\\u0022b\\u003C/script\\u003E\\u0026c", "a\"b</script>&c"},
        {"x\\y\nz\t\x01\x7F", "x\\\\y\\nz\\t\\u0001\\u007F", "x\\y\nz\t\x01\x7F"},
        {"Sch\xC3\xB6n \xFF\xC3", "Sch\xC3\xB6n \xEF\xBF\xBD\xEF\xBF\xBD", "Sch\xC3\xB6n \xEF\xBF\xBD\xEF\xBF\xBD"},
        {"lone\xED\xA0\x80", "lone\xEF\xBF\xBD", "lone\xEF\xBF\xBD"},  // an unpaired surrogate from Windows: one
        {"a\xE2\x80\xA8" "b\xC2\x85", "a\\u2028b\\u0085", "a\xE2\x80\xA8" "b\xC2\x85"},
        {"&ndash;", "\\u0026ndash;", "&ndash;"},  // not turned into a dash by the carry-over
        {std::string(78, 'x'), std::string(78, 'x'), std::string(78, 'x')},
    };
    for (const Case& c : cases) {
        CarriedTitle title;
        ASSERT_TRUE(TitleForScript(c.text, &title)) << c.text;
        EXPECT_EQ(std::string(title.text, title.length), c.script);
        std::string page = "<script>\r\nconst title=\"" + c.script + "\";      //  ggf. anpassen\r\n";
        CarriedTitle carried = ExtractCarriedTitle(page, false);
        EXPECT_EQ(std::string(carried.text, carried.length), c.script) << "carried over unchanged";
        char storage[512];
        ByteBuf shown(storage);
        AppendTitleText(c.script, shown);
        EXPECT_EQ(std::string(shown.buf, shown.len), c.shown);
    }
    CarriedTitle title;
    EXPECT_FALSE(TitleForScript(std::string(79, 'x'), &title)) << "a later build would cut it";
    EXPECT_FALSE(TitleForScript(std::string(14, '"'), &title));  // 84 bytes as \u0022
    char storage[64];
    ByteBuf shown(storage);
    AppendTitleText("\\uD83D\\uDCF7 \\x41\\' \\uD800", shown);  // as a user may edit it in
    EXPECT_EQ(std::string(shown.buf, shown.len), "\xF0\x9F\x93\xB7 A' \xEF\xBF\xBD");
}
