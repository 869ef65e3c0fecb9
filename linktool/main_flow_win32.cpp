// Pinvane's main flow: fill the slots, parse the two numbers, run one mode.
#include "linktool_texts.h"
#include "linktool_win32.h"

namespace {

// The tool's global buffers: the eight slots, the composed working directory,
// the expanded example path and the ANSI form of a number slot.
ArgumentSlots Slots;
char16_t WorkingDirectory[kWorkingDirectoryUnits];
wchar_t ExpandedPath[kExpandedTextUnits];
char NumberText[kAnsiTextBytes];

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows text is UTF-16");

const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
const wchar_t* SlotW(size_t slot) { return Wide(Slots.text[slot - 1]); }

int32_t ParseNumberSlot(size_t slot, int32_t defaultValue) {
    size_t bytes = ConvertToAnsi(SlotW(slot), NumberText);
    return ParseNumberArgument(std::string_view(NumberText, bytes), defaultValue);
}

void WriteBytes(const ByteBuf& text) { WriteConsoleBytes(text.View()); }

void ShowUsageScreen() {
    for (size_t i = 0; i < kUsageScreenPieces; ++i) {
        if (kUsageScreen[i].colour != kColourUnchanged) SetConsoleColor(kUsageScreen[i].colour);
        WriteConsoleBytes(kUsageScreen[i].text);
    }
}

void WriteResultLine(std::string_view prefix, const wchar_t* path) {
    WriteConsoleBytes(prefix);
    WriteConsolePath(path);
    WriteConsoleBytes(kResultLineEnd);
}

int RunExampleMode() {
    SetConsoleColor(kColourGrey);
    size_t length = ExpandEnvironment(Wide(kExampleBatchPath), ExpandedPath, kExpandedTextUnits);
    // A path that the slot cannot hold is refused, not cut; the line shows it whole.
    BatchResult result = BatchResult::NotCreated;
    if (length < kExamplePathUnits && length < kArgumentSlotUnits) {
        for (size_t i = 0; i <= length; ++i) Slots.text[SLOT_LINK - 1][i] = static_cast<char16_t>(ExpandedPath[i]);
        Slots.length[SLOT_LINK - 1] = length;
        result = WriteExampleBatch(SlotW(SLOT_LINK));
    }
    bool written = result == BatchResult::Written;
    WriteResultLine(written ? kBatchWrittenPrefix : kBatchErrorPrefix, ExpandedPath);
    WriteConsoleBytes(kEmptyLine);
    return written ? kExitSuccess : kExitFailure;
}

int RunCreateMode(int32_t iconNumber, int32_t showCommand, LinkObjectFactory factory) {
    Utf16Buf workingDirectory(WorkingDirectory);
    if (!ComposeWorkingDirectory(SlotText(Slots, SLOT_WORKING_DIRECTORY), SlotText(Slots, SLOT_TARGET),
                                 workingDirectory)) {
        // Refused before anything is touched: an old shortcut stays.
        char line[160];
        ByteBuf text(line);
        AppendWorkingDirectoryProblemLine(Slots.length[SLOT_WORKING_DIRECTORY - 1] != 0, text);
        WriteBytes(text);
        WriteResultLine(kLinkErrorPrefix, SlotW(SLOT_LINK));
        WriteConsoleBytes(kEmptyLine);
        return kExitFailure;
    }
    LinkResult result = CreateShellLink(SlotW(SLOT_TARGET), SlotW(SLOT_ARGUMENTS), Wide(WorkingDirectory),
                                        SlotW(SLOT_LINK), SlotW(SLOT_DESCRIPTION), SlotW(SLOT_ICON_PATH), iconNumber,
                                        showCommand, factory);
    switch (result) {
    case LinkResult::MissingInterface:
        return kExitMissingInterface;
    case LinkResult::Created:
        WriteResultLine(kLinkCreatedPrefix, SlotW(SLOT_LINK));
        SetConsoleColor(kColourGrey);
        WriteConsoleBytes(kEmptyLine);
        return kExitSuccess;
    case LinkResult::Failed:
        break;
    }
    WriteResultLine(kLinkErrorPrefix, SlotW(SLOT_LINK));
    WriteConsoleBytes(kEmptyLine);
    return kExitFailure;
}

}  // namespace

int RunPinvane(const wchar_t* commandLine, LinkObjectFactory factory) {
    const char16_t* line = reinterpret_cast<const char16_t*>(commandLine);
    CommandLineCheck check = FillArgumentSlots(std::u16string_view(line, TextLength(line)), &Slots);

    int32_t iconNumber = ParseNumberSlot(SLOT_ICON_NUMBER, 0);
    int32_t showCommand = ParseNumberSlot(SLOT_WND_PARAMS, 1);

    switch (ChooseMode(check, SlotText(Slots, SLOT_LINK))) {
    case PinvaneMode::Refused: {
        char lineText[160];
        ByteBuf text(lineText);
        AppendArgumentProblemLine(check, text);
        WriteBytes(text);
        ShowUsageScreen();
        return kExitFailure;
    }
    case PinvaneMode::Usage:
        ShowUsageScreen();
        return kExitSuccess;
    case PinvaneMode::Example:
        return RunExampleMode();
    case PinvaneMode::CreateLink:
        break;
    }
    return RunCreateMode(iconNumber, showCommand, factory);
}
