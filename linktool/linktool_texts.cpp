#include "linktool_texts.h"

// ---- Usage screen ------------------------------------------------------------------------

const ConsolePiece kUsageScreen[] = {
    {kColourBrightGreen, "\r\n"},
    {kColourUnchanged, "Pinvane v1.0.0.0\r\n"},
    {kColourUnchanged, "Copyright (C) 2025 Tervaldo\r\n"},
    {kColourUnchanged, "\r\n"},
    {kColourBrightCyan,
     "PINVANE Link Target [Argument(s)] [WorkingDirectory] [Description] [IconPath] [IconNumber] [WndParams]\r\n"},
    {kColourUnchanged, "\r\n"},
    {kColourGrey, "Example (batch, using line-break ^):\t\t\t"},
    {kColourBrightCyan, "PINVANE x   => EXAMPLE.BAT on user desktop\r\n"},
    {kColourUnchanged, "\r\n"},
    {kColourGrey, " Pinvane \"%USERPROFILE%\\Desktop\\Far Manager.lnk\"^\tLink\r\n"},
    {kColourUnchanged, "  \"c:\\Program Files\\Far Manager\\Far.exe\"^\t\tExecutable\r\n"},
    {kColourUnchanged, "  \"\"^\t\t\t\t\t\t\tArgument(s)\r\n"},
    {kColourUnchanged, "  \"c:\\Program Files\\Far Manager\"^\t\t\tWorking Directory\r\n"},
    {kColourUnchanged, "  \"Classical File Manager\"^\t\t\t\tDescription\r\n"},
    {kColourUnchanged, "  \"c:\\Program Files\\Far Manager\\Far.exe\"^\t\tIcon Path\r\n"},
    {kColourUnchanged, "  2^\t\t\t\t\t\t\tIcon Number\r\n"},
    {kColourUnchanged, "  3\t\t\t\t\t\t\tShow Command [1{Normal}|3{Maximized}|7{MinNoActive}]\r\n"},
    {kColourUnchanged, "\r\n"},
    {kColourUnchanged, "Overwrites existing link without prompt.\r\n"},
    {kColourUnchanged, "\r\n"},
};
const size_t kUsageScreenPieces = sizeof(kUsageScreen) / sizeof(kUsageScreen[0]);

// ---- Example batch -----------------------------------------------------------------------

const std::string_view kExampleBatchLines[] = {
    "@echo off",
    "ECHO Pinvane examples",
    "ECHO.\r\n",
    "MD \"%USERPROFILE%\\Desktop\\Pinvane\" 2>NUL\r\n",
    "Pinvane \"%USERPROFILE%\\Desktop\\Pinvane\\Notepad.lnk\" \"%SYSTEMROOT%\\Notepad.exe\"\r\n",

    "Pinvane \"%USERPROFILE%\\Desktop\\Pinvane\\On-Screen Keyboard.lnk\"^",
    " \"%SYSTEMROOT%\\System32\\osk.exe\"^",
    " \"\"^",
    " \"%SYSTEMROOT%\\System32\"^",
    " \"On-Screen Keyboard can be used instead of a physical keyboard\"^",
    " \"%SYSTEMROOT%\\System32\\osk.exe\"^",
    " \"\"^",
    " 1\r\n",

    "Pinvane \"%USERPROFILE%\\Desktop\\Pinvane\\Far Manager.lnk\"^",
    " \"c:\\Program Files\\Far Manager\\Far.exe\"^",
    " \"\"^",
    " \"c:\\Program Files\\Far Manager\"^",
    " \"Classical File Manager\"^",
    " \"c:\\Program Files\\Far Manager\\Far.exe\"^",
    " 2^",
    " 3\r\n",

    "PAUSE",
};
const size_t kExampleBatchLineCount = sizeof(kExampleBatchLines) / sizeof(kExampleBatchLines[0]);

const char16_t kExampleBatchPath[] = u"%USERPROFILE%\\Desktop\\Example.bat";

// ---- Refusals ----------------------------------------------------------------------------

// The counts in these lines are small; 32-bit arithmetic keeps the 32-bit
// program free of the 64-bit division helpers.
static void AppendCount(ByteBuf& out, size_t value) {
    char digits[12];
    int count = 0;
    uint32_t v = static_cast<uint32_t>(value);
    do {
        digits[count++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (count > 0) out.Append(digits[--count]);
}

void AppendArgumentProblemLine(const CommandLineCheck& check, ByteBuf& out) {
    switch (check.problem) {
    case ArgumentProblem::None:
        return;
    case ArgumentProblem::TooMany:
        out.Append(std::string_view(" Error: argument "));
        AppendCount(out, check.problemSlot);
        out.Append(std::string_view(" is one too many; Pinvane takes at most "));
        AppendCount(out, kArgumentSlotCount);
        out.Append(std::string_view(" arguments.\r\n"));
        return;
    case ArgumentProblem::TooLong:
        out.Append(std::string_view(" Error: argument "));
        AppendCount(out, check.problemSlot);
        out.Append(std::string_view(" ("));
        out.AppendZ(ArgumentSlotName(check.problemSlot));
        out.Append(std::string_view(") is longer than "));
        AppendCount(out, kArgumentMaxUnits);
        out.Append(std::string_view(" characters.\r\n"));
        return;
    }
}

void AppendWorkingDirectoryProblemLine(bool givenByUser, ByteBuf& out) {
    if (givenByUser) {
        out.Append(std::string_view(" Error: argument 4 (WorkingDirectory) is longer than "));
    } else {
        out.Append(std::string_view(" Error: the folder of argument 2 (Target), used as working directory, is longer than "));
    }
    AppendCount(out, kWorkingDirectoryUnits - 1);
    out.Append(std::string_view(" characters.\r\n"));
}
