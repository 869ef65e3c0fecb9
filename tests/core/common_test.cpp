// The line writer's bytes on disk, the stamps, the language rule and the error-text trim.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "common/common.h"

namespace {

struct TempFile {
    std::string path = ::testing::TempDir() + "/lines_test.txt";
#if QUIMBO_WIN32
    std::wstring native = std::wstring(path.begin(), path.end());
#else
    std::string native = path;
#endif
    ~TempFile() { std::remove(path.c_str()); }
    std::string Read() const {
        std::ifstream in(path, std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }
};

LineWriter writer;  // 64 KiB; kept off the stack

TEST(LineWriter, WritesTextThenCrLfAndNothingElse) {
    TempFile file;
    SystemError error = 0;
    FileHandle h = CreateOutputFile(file.native.c_str(), &error);
    ASSERT_NE(h, 0);
    StartLines(&writer, h);
    WriteUtf8Bom(&writer);
    WriteLine(&writer, "<!DOCTYPE html>");
    WriteLine(&writer, "");
    WriteLine(&writer, "ends\r\n");
    WriteLine(&writer, std::string_view("a\0b", 3));
    ASSERT_TRUE(FinishLines(&writer));
    EXPECT_EQ(file.Read(), std::string("\xEF\xBB\xBF<!DOCTYPE html>\r\n\r\nends\r\n\r\na\0b\r\n", 35));
}

TEST(LineWriter, BytesSurviveLinesLargerThanItsBuffer) {
    TempFile file;
    SystemError error = 0;
    StartLines(&writer, CreateOutputFile(file.native.c_str(), &error));
    std::string expected;
    for (int i = 0; i < 3000; ++i) {
        std::string line(static_cast<size_t>(i * 37 % 1000), static_cast<char>('a' + i % 26));
        WriteLine(&writer, line);
        expected += line + "\r\n";
    }
    std::string huge(200 * 1024, 'z');
    WriteLine(&writer, huge);
    expected += huge + "\r\n";
    ASSERT_TRUE(FinishLines(&writer));
    EXPECT_EQ(file.Read(), expected);
}

TEST(LineWriter, AFailedWriteIsReportedOnceAndStopsWriting) {
    TempFile file;
    SystemError error = 0;
    SetWriteFaultForTests(100000, kErrorDiskFull);
    StartLines(&writer, CreateOutputFile(file.native.c_str(), &error));
    SetWriteFaultForTests(-1, 0);  // only the file just created is hit
    for (int i = 0; i < 5000; ++i) WriteLine(&writer, std::string(99, 'x'));
    EXPECT_FALSE(FinishLines(&writer));
    EXPECT_EQ(writer.error, kErrorDiskFull);
    EXPECT_EQ(file.Read().size(), 100000u);  // what was written stays, nothing after the failure
}

TEST(LineWriter, ReplacesAReadOnlyFile) {
    TempFile file;
    {
        std::ofstream old(file.path, std::ios::binary);
        old << "old content that is longer";
    }
#if QUIMBO_WIN32
    std::string mode = "attrib +r +h \"" + file.path + "\"";
#else
    std::string mode = "chmod 0444 '" + file.path + "'";
#endif
    ASSERT_EQ(std::system(mode.c_str()), 0);
    SystemError error = 0;
    FileHandle h = CreateOutputFile(file.native.c_str(), &error);
    ASSERT_NE(h, 0) << error;
    StartLines(&writer, h);
    WriteLine(&writer, "new");
    ASSERT_TRUE(FinishLines(&writer));
    EXPECT_EQ(file.Read(), "new\r\n");
}

TEST(Stamps, DateAndTimeWithLeadingZeros) {
    struct Case {
        LocalTime time;
        const char* date;
        const char* dateTime;
    } cases[] = {
        {{2025, 3, 5, 21, 30}, "2025-03-05", "2025-03-05, 21:30h"},
        {{2025, 3, 5, 9, 5}, "2025-03-05", "2025-03-05, 09:05h"},
        {{2024, 12, 31, 0, 0}, "2024-12-31", "2024-12-31, 00:00h"},
        {{999, 1, 1, 23, 59}, "0999-01-01", "0999-01-01, 23:59h"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(FormatDateStamp(c.time).text, c.date);
        EXPECT_STREQ(FormatDateTimeStamp(c.time).text, c.dateTime);
    }
    LocalTime fixed{2025, 3, 5, 21, 30};
    SetClockForTests(&fixed);
    EXPECT_STREQ(DateStamp().text, "2025-03-05");
    EXPECT_STREQ(DateTimeStamp().text, "2025-03-05, 21:30h");
    SetClockForTests(nullptr);
    EXPECT_EQ(std::string(DateTimeStamp().text).size(), kDateTimeStampLength);
}

TEST(Language, GermanForEveryGermanLocaleOnly) {
    for (uint16_t id : {0x0407, 0x0807, 0x0C07, 0x1007, 0x1407}) EXPECT_TRUE(IsGermanLanguage(id)) << id;
    for (uint16_t id : {0x0409, 0x0809, 0x0410, 0x040C, 0x0000, 0x0413}) EXPECT_FALSE(IsGermanLanguage(id)) << id;
}

TEST(Language, PickersHandBackTheVeryTextGiven) {
    static const char en[] = "en";
    static const char de[] = "de";
    bool saved = GermanUi;
    GermanUi = false;
    EXPECT_EQ(PickTextA(en, de), en);
    GermanUi = true;
    EXPECT_EQ(PickTextA(en, de), de);
    EXPECT_EQ(PickTextW(L"Working:", L"Bearbeitung:")[0], L'B');
    GermanUi = saved;
}

#if !QUIMBO_WIN32
TEST(Language, PosixTakesTheFirstVariableThatIsSet) {
    struct Case {
        const char *all, *messages, *lang;
        bool german;
    } cases[] = {
        {nullptr, nullptr, "de_DE.UTF-8", true},  {nullptr, nullptr, "en_US.UTF-8", false},
        {"C", nullptr, "de_DE.UTF-8", false},     {nullptr, "de_AT", "en_GB", true},
        {"de_CH.UTF-8", "en", "en", true},        {"", "", "de", true},
        {nullptr, nullptr, nullptr, false},
    };
    for (const Case& c : cases) {
        auto put = [](const char* name, const char* value) { value ? setenv(name, value, 1) : unsetenv(name); };
        put("LC_ALL", c.all);
        put("LC_MESSAGES", c.messages);
        put("LANG", c.lang);
        EXPECT_EQ(IsGermanLanguage(UserLanguageId()), c.german);
    }
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    unsetenv("LANG");
}
#endif

TEST(TrimErrorText, DropsTrailingBlanksControlsAndFullStops) {
    struct Case {
        std::u16string in;
        std::u16string out;
    } cases[] = {
        {u"Access is denied.\r\n", u"Access is denied"},
        {u"Ends badly. . .  \t", u"Ends badly"},
        {u"v1.2 inside stays", u"v1.2 inside stays"},
        {u"...", u""},
        {u"", u""},
    };
    for (const Case& c : cases) EXPECT_EQ(c.in.substr(0, TrimErrorText(c.in.data(), c.in.size())), c.out);
}

TEST(SystemErrorText, TheSystemsTextTrimmed) {
    PathChar text[kSystemErrorTextCapacity];
    size_t length = TextLength(SystemErrorText(kErrorNameTooLong, text));
    ASSERT_GT(length, 0u);
    PathChar last = text[length - 1];
    EXPECT_TRUE(last != PathChar('.') && static_cast<uint32_t>(last) >= 33);
}

}  // namespace
