// The line writer's bytes on disk, the stamps, the language rule and the error-text trim.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "common/common.h"
#include "tests/support/file_faults.h"

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

// Starts `writer` on a new output file for `file`.
void Begin(const TempFile& file, OutputFile* out) {
    SystemError error = 0;
    ASSERT_TRUE(BeginOutputFile(file.native.c_str(), out, &error)) << error;
    StartLines(&writer, out->handle);
}

// Writes what is left and moves the output file into place.
bool Finish(const TempFile& file, OutputFile* out) {
    SystemError error = 0;
    if (!FlushLines(&writer)) {
        DiscardOutputFile(out);
        return false;
    }
    return CommitOutputFile(out, file.native.c_str(), &error);
}

TEST(LineWriter, WritesTextThenCrLfAndNothingElse) {
    TempFile file;
    OutputFile out;
    Begin(file, &out);
    WriteUtf8Bom(&writer);
    WriteLine(&writer, "<!DOCTYPE html>");
    WriteLine(&writer, "");
    WriteLine(&writer, "ends\r\n");
    WriteLine(&writer, std::string_view("a\0b", 3));
    ASSERT_TRUE(Finish(file, &out));
    EXPECT_EQ(file.Read(), std::string("\xEF\xBB\xBF<!DOCTYPE html>\r\n\r\nends\r\n\r\na\0b\r\n", 35));
}

TEST(LineWriter, BytesSurviveLinesLargerThanItsBuffer) {
    TempFile file;
    OutputFile out;
    Begin(file, &out);
    std::string expected;
    for (int i = 0; i < 3000; ++i) {
        std::string line(static_cast<size_t>(i * 37 % 1000), static_cast<char>('a' + i % 26));
        WriteLine(&writer, line);
        expected += line + "\r\n";
    }
    std::string huge(200 * 1024, 'z');
    WriteLine(&writer, huge);
    expected += huge + "\r\n";
    ASSERT_TRUE(Finish(file, &out));
    EXPECT_EQ(file.Read(), expected);
}

TEST(LineWriter, AFailedWriteIsReportedOnceAndTheOldFileStays) {
    TempFile file;
    { std::ofstream(file.path, std::ios::binary) << "old"; }
    OutputFile out;
    testsupport::FileFaults faults;
    faults.FailWritesAfter(100000, kErrorDiskFull);
    Begin(file, &out);
    for (int i = 0; i < 5000; ++i) WriteLine(&writer, std::string(99, 'x'));
    EXPECT_FALSE(FlushLines(&writer));
    EXPECT_EQ(writer.error, kErrorDiskFull);
    EXPECT_EQ(faults.Creates(), 1);
    DiscardOutputFile(&out);
    EXPECT_EQ(file.Read(), "old");
}

TEST(OutputFile, AFailedFlushOrMoveLeavesTheOldFileAndNoTemporary) {
    struct Case {
        const char* what;
        bool flush;
    } cases[] = {{"flush", true}, {"move", false}};
    for (const Case& c : cases) {
        TempFile file;
        { std::ofstream(file.path, std::ios::binary) << "old"; }
        testsupport::FileFaults faults;
        if (c.flush) faults.FailFlush(kErrorDiskFull);
        else faults.FailMove(kErrorDiskFull);
        OutputFile out;
        Begin(file, &out);
        WriteLine(&writer, "new");
        PathChar temporary[kPathCapacity + 32];
        std::copy(std::begin(out.temporary), std::end(out.temporary), temporary);
        SystemError error = 0;
        ASSERT_TRUE(FlushLines(&writer));
        EXPECT_FALSE(CommitOutputFile(&out, file.native.c_str(), &error)) << c.what;
        EXPECT_EQ(error, kErrorDiskFull) << c.what;
        EXPECT_EQ(file.Read(), "old") << c.what;
        EXPECT_FALSE(PathExists(temporary)) << c.what;
    }
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
    OutputFile out;
    Begin(file, &out);
    WriteLine(&writer, "new");
    ASSERT_TRUE(Finish(file, &out));
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
