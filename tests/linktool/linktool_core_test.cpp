// Pinvane's portable core: command-line splitting, slots, numbers, working
// directory, the usage screen and example batch texts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "linktool/linktool_core.h"
#include "linktool/linktool_texts.h"
#include "tests/fuzz/linktool_harness.h"

namespace {

// All arguments of a line, as GetArgument gives them one by one.
std::vector<std::u16string> Split(std::u16string_view line) {
    std::vector<std::u16string> args;
    size_t count = CountArguments(line);
    for (size_t i = 1; i <= count; ++i) {
        char16_t storage[2048];
        Utf16Buf out(storage);
        EXPECT_TRUE(GetArgument(line, i, out));
        args.emplace_back(out.View());
    }
    char16_t storage[8];
    Utf16Buf out(storage);
    EXPECT_FALSE(GetArgument(line, count + 1, out));
    return args;
}

using Args = std::vector<std::u16string>;

TEST(GetArgument, SplitsByTheCommandLineRules) {
    struct Case {
        std::u16string_view line;
        Args args;
    } cases[] = {
        {u"", {}},
        {u"Pinvane.exe", {}},
        {u"Pinvane.exe  \t  ", {}},                                 // only blanks after the name: N = 0
        {u"\"C:\\Program Files\\Pinvane.exe\" x", {u"x"}},          // quoted program name is token 0
        {u"p a b  c", {u"a", u"b", u"c"}},
        {u"p \"C:\\My Links\\a b.lnk\" t", {u"C:\\My Links\\a b.lnk", u"t"}},
        {u"p \"\" t", {u"", u"t"}},                                  // empty argument keeps positions
        {u"p \"\" \"\"", {u"", u""}},
        {u"p a\"b c\"d", {u"ab cd"}},                                // pieces join
        {u"p \"a\"\"b\"", {u"ab"}},
        {u"p \"unclosed  to the end", {u"unclosed  to the end"}},    // unclosed quote runs to the end
        {u"p C:\\dir\\ \\\\server\\share", {u"C:\\dir\\", u"\\\\server\\share"}},  // backslash is ordinary
        {u"p a\\\"b c\"", {u"a\\b c"}},                              // no escape: \" is a backslash and a quote
        {u"p\x01" u"a\x1f" u"b\x7f" u"c", {u"a", u"b\x7f" u"c"}},    // controls separate, DEL does not
        {u"p \"tab\tinside\"\tnext", {u"tab\tinside", u"next"}},
        {u"p \"\x01\"", {u"\x01"}},                                  // inside quotes every unit belongs
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.line.begin(), c.line.end()));
        EXPECT_EQ(Split(c.line), c.args);
    }
}

TEST(GetArgument, OverlongArgumentSetsOverflowWithoutSpilling) {
    std::u16string line = u"p " + std::u16string(600, u'a') + u" b";
    char16_t storage[kArgumentSlotUnits + 4];
    std::fill(std::begin(storage), std::end(storage), u'#');
    Utf16Buf out(storage, kArgumentSlotUnits);
    EXPECT_TRUE(GetArgument(line, 1, out));
    EXPECT_TRUE(out.overflow);
    for (size_t i = kArgumentSlotUnits; i < kArgumentSlotUnits + 4; ++i) EXPECT_EQ(storage[i], u'#');
}

TEST(FillArgumentSlots, FillsEightSlotsAndRefusesWhatDoesNotFit) {
    auto slots = std::make_unique<ArgumentSlots>();
    CommandLineCheck check = FillArgumentSlots(u"p link target \"\" dir", slots.get());
    EXPECT_EQ(check.count, 4u);
    EXPECT_EQ(check.problem, ArgumentProblem::None);
    EXPECT_EQ(SlotText(*slots, SLOT_LINK), u"link");
    EXPECT_EQ(SlotText(*slots, SLOT_TARGET), u"target");
    EXPECT_EQ(SlotText(*slots, SLOT_ARGUMENTS), u"");
    EXPECT_EQ(SlotText(*slots, SLOT_WORKING_DIRECTORY), u"dir");
    EXPECT_EQ(SlotText(*slots, SLOT_WND_PARAMS), u"");

    // Exactly 520 units fit; 521 is refused and names the argument.
    std::u16string fits(kArgumentMaxUnits, u'x'), over(kArgumentMaxUnits + 1, u'y');
    check = FillArgumentSlots(u"p a " + fits, slots.get());
    EXPECT_EQ(check.problem, ArgumentProblem::None);
    EXPECT_EQ(SlotText(*slots, SLOT_TARGET), fits);
    EXPECT_EQ(slots->text[SLOT_TARGET - 1][kArgumentMaxUnits], 0);
    check = FillArgumentSlots(u"p a b " + over + u" d", slots.get());
    EXPECT_EQ(check.problem, ArgumentProblem::TooLong);
    EXPECT_EQ(check.problemSlot, 3u);
    EXPECT_EQ(ChooseMode(check, SlotText(*slots, SLOT_LINK)), PinvaneMode::Refused);

    // Eight arguments are fine, a ninth is refused, even an empty one.
    check = FillArgumentSlots(u"p 1 2 3 4 5 6 7 8", slots.get());
    EXPECT_EQ(check.problem, ArgumentProblem::None);
    EXPECT_EQ(SlotText(*slots, SLOT_WND_PARAMS), u"8");
    check = FillArgumentSlots(u"p 1 2 3 4 5 6 7 8 \"\"", slots.get());
    EXPECT_EQ(check.problem, ArgumentProblem::TooMany);
    EXPECT_EQ(check.problemSlot, 9u);
    EXPECT_EQ(check.count, 9u);
}

TEST(ChooseMode, PicksByCountAndFirstArgument) {
    auto slots = std::make_unique<ArgumentSlots>();
    struct Case {
        std::u16string_view line;
        PinvaneMode mode;
    } cases[] = {
        {u"p", PinvaneMode::Usage},           {u"p    ", PinvaneMode::Usage},
        {u"p x", PinvaneMode::Example},       {u"p X", PinvaneMode::Example},
        {u"p \"x\"", PinvaneMode::Example},   {u"p /x", PinvaneMode::Usage},
        {u"p xx", PinvaneMode::Usage},        {u"p \"\"", PinvaneMode::Usage},
        {u"p x t", PinvaneMode::CreateLink},  {u"p \"\" \"\"", PinvaneMode::CreateLink},
    };
    for (const Case& c : cases) {
        CommandLineCheck check = FillArgumentSlots(c.line, slots.get());
        EXPECT_EQ(ChooseMode(check, SlotText(*slots, SLOT_LINK)), c.mode) << std::string(c.line.begin(), c.line.end());
    }
}

TEST(ParseNumberArgument, ReadsEveryPrefixSignAndRange) {
    struct Case {
        const char* text;
        int32_t expected;  // with the default 77
    } cases[] = {
        {"0", 0},          {"42", 42},             {"+42", 42},           {"-1", -1},
        {" \t 7", 7},      {"$10", 16},            {"x1f", 31},           {"X1F", 31},
        {"0x10", 16},      {"0XfF", 255},          {"&17", 15},           {"%101", 5},
        {"-$10", -16},     {"$FFFFFFFF", -1},      {"$80000000", INT32_MIN}, {"-0x1", -1},
        {"2147483647", INT32_MAX},  {"-2147483648", INT32_MIN},   {"000000000000012", 12},
        {"$00000000010", 16},       {"%11111111111111111111111111111111", -1},
        {"&37777777777", -1},
        // invalid: the default
        {"", 77},          {" ", 77},              {"+", 77},             {"-", 77},
        {"$", 77},         {"x", 77},              {"0x", 77},            {"&", 77},
        {"%", 77},         {"12 ", 77},            {"1 2", 77},           {"abc", 77},
        {"Normal", 77},    {"2147483648", 77},     {"-2147483649", 77},   {"$100000000", 77},
        {"&8", 77},        {"%2", 77},             {"$G", 77},            {"- 5", 77},
        {"--5", 77},       {"$-5", 77},            {"\n5", 77},           {"5\t", 77},
        {"1.5", 77},       {"\xB9", 77},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseNumberArgument(c.text, 77), c.expected) << '"' << c.text << '"';
}

TEST(ParseNumberArgument, LooksAtTheFirst255BytesOnly) {
    std::string blanks(253, ' ');
    EXPECT_EQ(ParseNumberArgument(blanks + "12", 0), 12);   // 255 bytes
    EXPECT_EQ(ParseNumberArgument(blanks + "123", 0), 12);  // the 256th byte is not seen
    EXPECT_EQ(ParseNumberArgument(blanks + " 1x", 0), 1);   // nor is what would make it invalid
    EXPECT_EQ(ParseNumberArgument(std::string("5\0junk", 6), 0), 5);  // a byte text ends at its zero
}

std::u16string Compose(std::u16string_view given, std::u16string_view target, bool* fits = nullptr) {
    char16_t storage[kWorkingDirectoryUnits + 4];
    std::fill(std::begin(storage), std::end(storage), u'#');
    Utf16Buf out(storage, kWorkingDirectoryUnits);
    bool ok = ComposeWorkingDirectory(given, target, out);
    for (size_t i = kWorkingDirectoryUnits; i < kWorkingDirectoryUnits + 4; ++i) EXPECT_EQ(storage[i], u'#');
    if (fits) *fits = ok;
    return ok ? std::u16string(out.View()) : u"<refused>";
}

TEST(ComposeWorkingDirectory, TakesTheTargetsFolderOrTheGivenDirectory) {
    EXPECT_EQ(Compose(u"", u"c:\\Program Files\\Far Manager\\Far.exe"), u"c:\\Program Files\\Far Manager");
    EXPECT_EQ(Compose(u"", u"C:\\app.exe"), u"C:");
    EXPECT_EQ(Compose(u"", u"notepad.exe"), u"notepad.exe");
    EXPECT_EQ(Compose(u"", u"\\app.exe"), u"\\app.exe");  // backslash only at position 0
    EXPECT_EQ(Compose(u"", u"\\\\server\\share\\x.exe"), u"\\\\server\\share");
    EXPECT_EQ(Compose(u"", u""), u"");
    EXPECT_EQ(Compose(u"D:\\does not exist", u"C:\\app.exe"), u"D:\\does not exist");
    EXPECT_EQ(Compose(u"%TEMP%", u"C:\\app.exe"), u"%TEMP%");  // nothing is expanded
}

TEST(ComposeWorkingDirectory, RefusesWhatDoesNotFitInsteadOfCutting) {
    bool fits = true;
    std::u16string folder513 = u"C:\\" + std::u16string(510, u'f');
    EXPECT_EQ(Compose(u"", folder513 + u"\\a.exe", &fits), folder513);
    EXPECT_TRUE(fits);
    Compose(u"", folder513 + u"g\\a.exe", &fits);
    EXPECT_FALSE(fits);
    Compose(folder513 + u"g", u"a.exe", &fits);
    EXPECT_FALSE(fits);
    // A 520-unit target without a backslash stays whole and is too long too.
    Compose(u"", std::u16string(kArgumentMaxUnits, u'n'), &fits);
    EXPECT_FALSE(fits);
}

std::string ProblemLine(ArgumentProblem problem, size_t slot) {
    char storage[200];
    ByteBuf out(storage);
    AppendArgumentProblemLine(CommandLineCheck{9, problem, slot}, out);
    return std::string(out.View());
}

TEST(Texts, RefusalLinesNameTheArgumentAndTheLimit) {
    EXPECT_EQ(ProblemLine(ArgumentProblem::TooLong, 4), " Error: argument 4 (WorkingDirectory) is longer than 520 characters.\r\n");
    EXPECT_EQ(ProblemLine(ArgumentProblem::TooLong, 1), " Error: argument 1 (Link) is longer than 520 characters.\r\n");
    EXPECT_EQ(ProblemLine(ArgumentProblem::TooMany, 9), " Error: argument 9 is one too many; Pinvane takes at most 8 arguments.\r\n");
    EXPECT_EQ(ProblemLine(ArgumentProblem::None, 0), "");
    char storage[200];
    ByteBuf given(storage);
    AppendWorkingDirectoryProblemLine(true, given);
    EXPECT_EQ(given.View(), " Error: argument 4 (WorkingDirectory) is longer than 513 characters.\r\n");
    char storage2[200];
    ByteBuf derived(storage2);
    AppendWorkingDirectoryProblemLine(false, derived);
    EXPECT_FALSE(derived.overflow);
    EXPECT_NE(derived.View().find("argument 2 (Target)"), std::string_view::npos);
}

TEST(Texts, UsageScreenBytesAndColours) {
    std::string all;
    std::vector<uint16_t> colours;
    for (size_t i = 0; i < kUsageScreenPieces; ++i) {
        all += kUsageScreen[i].text;
        if (kUsageScreen[i].colour != kColourUnchanged) colours.push_back(kUsageScreen[i].colour);
    }
    const std::string expected =
        "\r\n"
        "Pinvane v1.0.0.0\r\n"
        "Copyright (C) 2025 Tervaldo\r\n"
        "\r\n"
        "PINVANE Link Target [Argument(s)] [WorkingDirectory] [Description] [IconPath] [IconNumber] [WndParams]\r\n"
        "\r\n"
        "Example (batch, using line-break ^):\t\t\tPINVANE x   => EXAMPLE.BAT on user desktop\r\n"
        "\r\n"
        " Pinvane \"%USERPROFILE%\\Desktop\\Far Manager.lnk\"^\tLink\r\n"
        "  \"c:\\Program Files\\Far Manager\\Far.exe\"^\t\tExecutable\r\n"
        "  \"\"^\t\t\t\t\t\t\tArgument(s)\r\n"
        "  \"c:\\Program Files\\Far Manager\"^\t\t\tWorking Directory\r\n"
        "  \"Classical File Manager\"^\t\t\t\tDescription\r\n"
        "  \"c:\\Program Files\\Far Manager\\Far.exe\"^\t\tIcon Path\r\n"
        "  2^\t\t\t\t\t\t\tIcon Number\r\n"
        "  3\t\t\t\t\t\t\tShow Command [1{Normal}|3{Maximized}|7{MinNoActive}]\r\n"
        "\r\n"
        "Overwrites existing link without prompt.\r\n"
        "\r\n";
    EXPECT_EQ(all, expected);
    // Green banner, cyan usage line, grey label, cyan hint, grey for the rest.
    EXPECT_EQ(colours, (std::vector<uint16_t>{10, 11, 7, 11, 7}));
}

std::string ExampleBatchBytes() {
    std::string bytes;
    for (size_t i = 0; i < kExampleBatchLineCount; ++i) bytes += std::string(kExampleBatchLines[i]) + "\r\n";
    return bytes;
}

TEST(Texts, ExampleBatchIsTheTwentySevenLines) {
    std::string text = R"(@echo off
ECHO Pinvane examples
ECHO.

MD "%USERPROFILE%\Desktop\Pinvane" 2>NUL

Pinvane "%USERPROFILE%\Desktop\Pinvane\Notepad.lnk" "%SYSTEMROOT%\Notepad.exe"

Pinvane "%USERPROFILE%\Desktop\Pinvane\On-Screen Keyboard.lnk"^
 "%SYSTEMROOT%\System32\osk.exe"^
 ""^
 "%SYSTEMROOT%\System32"^
 "On-Screen Keyboard can be used instead of a physical keyboard"^
 "%SYSTEMROOT%\System32\osk.exe"^
 ""^
 1

Pinvane "%USERPROFILE%\Desktop\Pinvane\Far Manager.lnk"^
 "c:\Program Files\Far Manager\Far.exe"^
 ""^
 "c:\Program Files\Far Manager"^
 "Classical File Manager"^
 "c:\Program Files\Far Manager\Far.exe"^
 2^
 3

PAUSE
)";
    std::string expected;
    for (char c : text) expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(ExampleBatchBytes(), expected);
    size_t lines = 0;
    for (size_t at = expected.find("\r\n"); at != std::string::npos; at = expected.find("\r\n", at + 2)) ++lines;
    EXPECT_EQ(lines, 27u);
}

TEST(Fuzz, CorpusReplays) {
    namespace fs = std::filesystem;
    size_t replayed = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(LINKTOOL_CORPUS_DIR)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_TRUE(CheckLinktoolInput(data.data(), data.size())) << entry.path();
        ++replayed;
    }
    EXPECT_GE(replayed, 10u);
}

}  // namespace
