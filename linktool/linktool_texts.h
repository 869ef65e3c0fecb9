// Pinvane's fixed texts: the usage screen with its colours, the example batch
// file, and the pieces of the result and error lines. ASCII, byte-exact.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string_view>

#include "linktool_core.h"

// Console text attributes (foreground only, black background).
constexpr uint16_t kColourGrey = 7;
constexpr uint16_t kColourBrightGreen = 10;
constexpr uint16_t kColourBrightCyan = 11;
constexpr uint16_t kColourUnchanged = 0;  // in a table: write without setting a colour first

// One piece of console output: the colour is set (when not kColourUnchanged)
// just before the text is written.
struct ConsolePiece {
    uint16_t colour;
    std::string_view text;
};

extern const ConsolePiece kUsageScreen[];
extern const size_t kUsageScreenPieces;

// The example batch file as WriteLine calls: each text is written and then
// followed by CR LF; texts that carry their own CR LF leave an empty line.
extern const std::string_view kExampleBatchLines[];
extern const size_t kExampleBatchLineCount;

// "%USERPROFILE%\Desktop\Example.bat", before expansion.
extern const char16_t kExampleBatchPath[];

// Result lines: prefix, the path, then kResultLineEnd.
constexpr std::string_view kLinkCreatedPrefix = " Link created: \"";
constexpr std::string_view kLinkErrorPrefix = " Error creating: \"";
constexpr std::string_view kBatchWrittenPrefix = " Written: \"";
constexpr std::string_view kBatchErrorPrefix = " Error writing \"";
constexpr std::string_view kResultLineEnd = "\"\r\n";
constexpr std::string_view kEmptyLine = "\r\n";

// The line that says why a command line was refused, with its CR LF, e.g.
// " Error: argument 2 (Target) is longer than 520 characters.\r\n".
void AppendArgumentProblemLine(const CommandLineCheck& check, ByteBuf& out);

// The line that says why the working directory cannot be stored: it names the
// given WorkingDirectory, or the Target it was taken from, and the limit.
void AppendWorkingDirectoryProblemLine(bool givenByUser, ByteBuf& out);
