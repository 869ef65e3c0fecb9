// The portable half of Pinvane: everything that turns the command line into
// values and values into text, without touching the system. The Win32 half
// (linktool_win32.h) feeds it GetCommandLineW and the ANSI form of the slots.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string_view>

#include "../common/text.h"

// ---- Argument slots ----------------------------------------------------------------------

constexpr size_t kArgumentSlotCount = 8;
constexpr size_t kArgumentMaxUnits = 520;                     // UTF-16 units an argument may have
constexpr size_t kArgumentSlotUnits = kArgumentMaxUnits + 1;  // and its terminating zero

// Slot numbers as the usage line names them (1-based, as on the command line).
enum ArgumentSlot : size_t {
    SLOT_LINK = 1,
    SLOT_TARGET,
    SLOT_ARGUMENTS,
    SLOT_WORKING_DIRECTORY,
    SLOT_DESCRIPTION,
    SLOT_ICON_PATH,
    SLOT_ICON_NUMBER,
    SLOT_WND_PARAMS,
};

// The slot's name on the usage line ("Link", "Target", ...); "" outside 1..8.
const char* ArgumentSlotName(size_t slot);

struct ArgumentSlots {
    char16_t text[kArgumentSlotCount][kArgumentSlotUnits];  // each zero-terminated
    size_t length[kArgumentSlotCount];
};

// A 1-based slot as a view.
inline std::u16string_view SlotText(const ArgumentSlots& slots, size_t slot) {
    return {slots.text[slot - 1], slots.length[slot - 1]};
}

// ---- Command-line splitting --------------------------------------------------------------

// Appends the text of argument `index` (1 or more; token 0 is the program's own
// name and is never returned) of `commandLine` to `out`, and returns true; returns
// false and appends nothing when the line has fewer arguments.
//
// Tokens are separated by units of code 32 or less outside quotes. A double
// quote toggles the quoted state (off at the start of each token) and is itself
// dropped; there is no escape character, so "" alone is an empty argument and
// a"b c"d is the one argument `ab cd`. An unclosed quote runs to the end.
// When the text does not fit, `out.overflow` is set (TextBuf's sticky rule).
bool GetArgument(std::u16string_view commandLine, size_t index, Utf16Buf& out);

// The number of arguments after the program's name, by the same rules.
size_t CountArguments(std::u16string_view commandLine);

// What is wrong with a command line that Pinvane refuses. Nothing is ever cut:
// a shortened path would make a shortcut somewhere else than the user asked.
enum class ArgumentProblem {
    None,
    TooMany,            // a ninth argument; `problemSlot` is 9
    TooLong,            // an argument over kArgumentMaxUnits; `problemSlot` names it
};

struct CommandLineCheck {
    size_t count;               // N, the arguments after the program's name
    ArgumentProblem problem;
    size_t problemSlot;         // 1-based argument number the problem is about
};

// Clears all eight slots and fills slot i with argument i, for i up to N.
// Stops at the first argument that is too long or too many and reports it.
CommandLineCheck FillArgumentSlots(std::u16string_view commandLine, ArgumentSlots* slots);

// ---- Numbers -----------------------------------------------------------------------------

constexpr size_t kNumberTextMaxBytes = 255;  // only this much of a slot's ANSI text is looked at

// Parses the first 255 bytes of `ansiText` (up to a zero byte, if any) as a signed
// 32-bit integer: leading spaces and tabs; an optional + or -; an optional base
// prefix: `$`, `x`, `X`, `0x` or `0X` for hexadecimal, `&` for octal, `%` for
// binary; then digits of that base up to the end. Decimal values must lie in the
// int32 range; the other bases may use all 32 bits and are taken as a two's-
// complement pattern ($FFFFFFFF is -1). Anything else, a trailing blank
// included, gives `defaultValue`.
int32_t ParseNumberArgument(std::string_view ansiText, int32_t defaultValue);

// ---- Working directory -------------------------------------------------------------------

constexpr size_t kWorkingDirectoryUnits = 514;  // the composed directory and its zero

// Composes the shortcut's working directory into `out`: `workingDirectory` as
// given when it is not empty; otherwise `target` cut before its last backslash,
// provided that backslash stands at position 1 or later (C:\app.exe gives C:);
// a target without one stays whole. Returns false when the result does not fit
// `out` (then `out.overflow` is set and its text must not be used).
bool ComposeWorkingDirectory(std::u16string_view workingDirectory, std::u16string_view target, Utf16Buf& out);

// ---- Modes -------------------------------------------------------------------------------

enum class PinvaneMode { Usage, Example, CreateLink, Refused };

// Picks the mode from the checked command line and slot 1.
PinvaneMode ChooseMode(const CommandLineCheck& check, std::u16string_view link);

// Exit codes.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitMissingInterface = 219;
