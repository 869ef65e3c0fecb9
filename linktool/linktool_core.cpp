#include "linktool_core.h"

static_assert(sizeof(char16_t) == 2, "command lines are UTF-16");

const char* ArgumentSlotName(size_t slot) {
    static const char* const kNames[kArgumentSlotCount] = {
        "Link", "Target", "Argument(s)", "WorkingDirectory", "Description", "IconPath", "IconNumber", "WndParams",
    };
    return slot >= 1 && slot <= kArgumentSlotCount ? kNames[slot - 1] : "";
}

// ---- Command-line splitting --------------------------------------------------------------

namespace {

inline bool IsSeparator(char16_t c) { return c <= 32; }

// Finds the next token at or after `pos`: its first unit in *start and the unit
// after its end in *end. False when only separators are left.
bool NextToken(std::u16string_view line, size_t pos, size_t* start, size_t* end) {
    while (pos < line.size() && IsSeparator(line[pos])) ++pos;
    if (pos >= line.size()) return false;
    *start = pos;
    bool quoted = false;
    while (pos < line.size()) {
        char16_t c = line[pos];
        if (c == u'"') {
            quoted = !quoted;
        } else if (!quoted && IsSeparator(c)) {
            break;
        }
        ++pos;
    }
    *end = pos;
    return true;
}

}  // namespace

bool GetArgument(std::u16string_view commandLine, size_t index, Utf16Buf& out) {
    size_t pos = 0, start = 0, end = 0;
    for (size_t token = 0;; ++token) {
        if (!NextToken(commandLine, pos, &start, &end)) return false;
        if (token == index && index >= 1) break;
        pos = end;
    }
    // Copy the unquoted runs between the quotes.
    size_t run = start;
    for (size_t i = start; i < end; ++i) {
        if (commandLine[i] == u'"') {
            out.Append(commandLine.data() + run, i - run);
            run = i + 1;
        }
    }
    out.Append(commandLine.data() + run, end - run);
    return true;
}

size_t CountArguments(std::u16string_view commandLine) {
    size_t pos = 0, start = 0, end = 0, tokens = 0;
    while (NextToken(commandLine, pos, &start, &end)) {
        ++tokens;
        pos = end;
    }
    return tokens == 0 ? 0 : tokens - 1;
}

CommandLineCheck FillArgumentSlots(std::u16string_view commandLine, ArgumentSlots* slots) {
    for (size_t i = 0; i < kArgumentSlotCount; ++i) {
        slots->text[i][0] = 0;
        slots->length[i] = 0;
    }
    CommandLineCheck check{CountArguments(commandLine), ArgumentProblem::None, 0};
    for (size_t i = 1; i <= check.count; ++i) {
        if (i > kArgumentSlotCount) {
            check.problem = ArgumentProblem::TooMany;
            check.problemSlot = i;
            break;
        }
        Utf16Buf slot(slots->text[i - 1], kArgumentSlotUnits);
        GetArgument(commandLine, i, slot);
        if (slot.overflow) {
            slot.Clear();
            check.problem = ArgumentProblem::TooLong;
            check.problemSlot = i;
            break;
        }
        slots->length[i - 1] = slot.len;
    }
    return check;
}

// ---- Numbers -----------------------------------------------------------------------------

namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

}  // namespace

int32_t ParseNumberArgument(std::string_view ansiText, int32_t defaultValue) {
    // (No substr: it may throw, and the program carries no exception runtime.)
    size_t size = ansiText.size() < kNumberTextMaxBytes ? ansiText.size() : kNumberTextMaxBytes;
    size_t zero = std::string_view(ansiText.data(), size).find('\0');
    std::string_view text(ansiText.data(), zero != std::string_view::npos ? zero : size);

    size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';

    unsigned base = 10;
    if (pos < text.size()) {
        char c = text[pos];
        if (c == '$' || c == 'x' || c == 'X') {
            base = 16;
            pos += 1;
        } else if (c == '0' && pos + 1 < text.size() && (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
            base = 16;
            pos += 2;
        } else if (c == '&') {
            base = 8;
            pos += 1;
        } else if (c == '%') {
            base = 2;
            pos += 1;
        }
    }
    if (pos >= text.size()) return defaultValue;  // nothing, or a sign or prefix without digits

    // Decimal may reach 2^31 only as a negative number; the other bases may fill 32 bits.
    const uint64_t limit = base == 10 ? (negative ? 0x80000000ull : 0x7FFFFFFFull) : 0xFFFFFFFFull;
    uint64_t value = 0;
    for (; pos < text.size(); ++pos) {
        unsigned digit = static_cast<unsigned>(DigitValue(text[pos]));
        if (digit >= base) return defaultValue;
        value = value * base + digit;
        if (value > limit) return defaultValue;
    }
    uint32_t bits = static_cast<uint32_t>(value);
    if (negative) bits = 0u - bits;
    return static_cast<int32_t>(bits);  // two's complement, as the platform stores it
}

// ---- Working directory -------------------------------------------------------------------

bool ComposeWorkingDirectory(std::u16string_view workingDirectory, std::u16string_view target, Utf16Buf& out) {
    out.Clear();
    if (!workingDirectory.empty()) {
        out.Append(workingDirectory);
        return !out.overflow;
    }
    size_t cut = target.rfind(u'\\');
    if (cut == std::u16string_view::npos || cut == 0) cut = target.size();
    out.Append(target.data(), cut);
    return !out.overflow;
}

// ---- Modes -------------------------------------------------------------------------------

PinvaneMode ChooseMode(const CommandLineCheck& check, std::u16string_view link) {
    if (check.problem != ArgumentProblem::None) return PinvaneMode::Refused;
    if (check.count >= 2) return PinvaneMode::CreateLink;
    if (link.size() == 1 && (link[0] == u'x' || link[0] == u'X')) return PinvaneMode::Example;
    return PinvaneMode::Usage;
}
