// Names on their way into the page: UTF-8, percent-encoding, ids, case-blind search.
#include <gtest/gtest.h>

#include <string>

#include "common/unicode.h"
#include "gallery/encode.h"

namespace {

std::string Utf8Of(std::u16string_view name) {
    char storage[2048];
    ByteBuf out(storage);
    FileNameToUtf8(name.data(), name.size(), out);
    EXPECT_FALSE(out.overflow);
    return std::string(out.View());
}

std::string SrcOf(std::string_view bytes) {
    char storage[4096];
    ByteBuf out(storage);
    EncodeImageSrc(bytes, out);
    return std::string(out.View());
}

TEST(FileNameToUtf8, FollowsTheStandardRulesAndDropsUnpairedSurrogates) {
    struct Case {
        std::u16string in;
        std::string out;
    } cases[] = {
        {u"Foto 1.jpg", "Foto 1.jpg"},
        {u"Sch\u00f6ne Aussicht.jpg", "Sch\xC3\xB6ne Aussicht.jpg"},
        {u"\u007f\u0080\u07ff\u0800\uffff", "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
        {u"\U0001F306.png", "\xF0\x9F\x8C\x86.png"},                // a surrogate pair: one 4-byte sequence
        {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},                         // the highest code point
        {std::u16string{u'a', 0xD83C, u'b'}, "ab"},                  // high surrogate without its low one
        {std::u16string{u'a', 0xDF06, u'b'}, "ab"},                  // low surrogate alone
        {std::u16string{0xDF06, 0xD83C}, ""},                        // pair in the wrong order
        {std::u16string{u'x', 0xD83C}, "x"},                         // high surrogate at the very end
        {std::u16string{0xD83C, 0xD83C, 0xDF06}, "\xF0\x9F\x8C\x86"}, // only the second high one pairs
    };
    for (const Case& c : cases) EXPECT_EQ(Utf8Of(c.in), c.out);
}

TEST(FileNameToUtf8, LongestNameFitsTheBudget) {
    std::u16string name(259, u'\u20ac');  // three bytes each
    EXPECT_EQ(Utf8Of(name).size(), 777u);
}

TEST(EncodeImageSrc, KeepsOnlyTheSafeBytes) {
    struct Case {
        std::string in;
        std::string out;
    } cases[] = {
        {"Foto 1.jpg", "Foto%201.jpg"},
        {"Tom & Jerry.png", "Tom%20%26%20Jerry.png"},
        {"(1)!.gif", "%281%29%21.gif"},
        {"Sch\xC3\xB6ne Aussicht.jpg", "Sch%C3%B6ne%20Aussicht.jpg"},
        // both edges of every kept range, and their neighbours
        {"\x2C\x2D\x2E\x2F\x30\x39\x3A\x3B", "%2C-./09:%3B"},
        {"\x40\x41\x5A\x5B", "%40AZ%5B"},
        {"\x5E\x5F\x60", "%5E_%60"},
        {"\x61\x7A\x7B\x7D\x7E\x7F", "az%7B%7D~%7F"},
        {std::string("\x00\x01\x1F\x20", 4), "%00%01%1F%20"},
        {"%+#?'=;,", "%25%2B%23%3F%27%3D%3B%2C"},
        {"\x80\xFF", "%80%FF"},
    };
    for (const Case& c : cases) EXPECT_EQ(SrcOf(c.in), c.out) << c.in;
}

TEST(EncodeImageSrc, EveryByteIsEitherKeptOrTwoUpperHexDigits) {
    for (int b = 0; b < 256; ++b) {
        std::string out = SrcOf(std::string(1, static_cast<char>(b)));
        if (out.size() == 1) {
            EXPECT_EQ(static_cast<unsigned char>(out[0]), b);
        } else {
            ASSERT_EQ(out.size(), 3u) << b;
            EXPECT_EQ(out[0], '%');
            EXPECT_EQ(std::stoi(out.substr(1), nullptr, 16), b);
            EXPECT_EQ(out.substr(1).find_first_of("abcdef"), std::string::npos);
        }
    }
}

TEST(FormatEntryId, AtLeastThreeDigits) {
    struct Case {
        int number;
        const char* text;
    } cases[] = {{1, "001"}, {42, "042"}, {999, "999"}, {1000, "1000"}, {123456, "123456"}, {0, "000"}, {-5, "-05"}};
    for (const Case& c : cases) {
        char storage[16];
        ByteBuf out(storage);
        FormatEntryId(c.number, out);
        EXPECT_EQ(out.View(), c.text);
    }
}

TEST(AttributeText, EscapesOnlyQuoteAndAngleBrackets) {
    char storage[256];
    ByteBuf out(storage);
    AppendAttributeText("a\"b<c>d&e'f", out);
    EXPECT_EQ(out.View(), "a&quot;b&lt;c&gt;d&e'f");
}

TEST(BytesToValidUtf8, ReplacesEveryInvalidByte) {
    struct Case {
        std::string in;
        std::string out;
    } cases[] = {
        {"plain.jpg", "plain.jpg"},
        {"\xC3\xA4.jpg", "\xC3\xA4.jpg"},
        {"\xFF.jpg", "\xEF\xBF\xBD.jpg"},
        {"\xC3.jpg", "\xEF\xBF\xBD.jpg"},                               // cut sequence
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                       // overlong slash
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},       // an encoded surrogate
        {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // above U+10FFFF
        {"\xF0\x9F\x8C\x86", "\xF0\x9F\x8C\x86"},
    };
    for (const Case& c : cases) {
        char storage[256];
        ByteBuf out(storage);
        BytesToValidUtf8(c.in, out);
        EXPECT_EQ(out.View(), c.out);
    }
}

TEST(ContainsTextNoCase, ComparesUpperCasedUnitsAtEveryPosition) {
    EXPECT_TRUE(ContainsTextNoCase(u"DOG_T.JPG", u"_t."));
    EXPECT_TRUE(ContainsTextNoCase(u"pic_t.old.jpg", u"_T."));
    EXPECT_TRUE(ContainsTextNoCase(u"map_W.png", u"_w."));
    EXPECT_TRUE(ContainsTextNoCase(u"_t.", u"_t."));
    EXPECT_FALSE(ContainsTextNoCase(u"dog_tx.jpg", u"_t."));
    EXPECT_FALSE(ContainsTextNoCase(u"_t", u"_t."));
    EXPECT_TRUE(ContainsTextNoCase(u"Stra\u00dfe \u00e4rger", u"\u00c4RGER"));  // above 0x7F: the platform's mapping
    EXPECT_TRUE(ContainsTextNoCase(u"anything", u""));
}

}  // namespace
