#include "linktool_harness.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "linktool_core.h"

namespace {

bool Fail(const char* what, size_t detail = 0) {
    fprintf(stderr, "linktool invariant broken: %s (%zu)\n", what, detail);
    return false;
}

std::u16string Argument(std::u16string_view line, size_t index, bool* found) {
    std::vector<char16_t> storage(line.size() + 1);
    Utf16Buf out(storage.data(), storage.size());
    *found = GetArgument(line, index, out);
    return std::u16string(out.View());
}

// The number rules written the long way round, with strtoull doing the arithmetic.
int32_t ReferenceNumber(std::string_view text, int32_t fallback) {
    std::string s(text.substr(0, 255));
    s = s.substr(0, s.find('\0'));
    size_t i = s.find_first_not_of(" \t");
    if (i == std::string::npos) return fallback;
    bool negative = false;
    if (s[i] == '+' || s[i] == '-') negative = s[i++] == '-';
    int base = 10;
    if (s.compare(i, 2, "0x") == 0 || s.compare(i, 2, "0X") == 0) {
        base = 16, i += 2;
    } else if (i < s.size() && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
        base = 16, i += 1;
    } else if (i < s.size() && s[i] == '&') {
        base = 8, i += 1;
    } else if (i < s.size() && s[i] == '%') {
        base = 2, i += 1;
    }
    std::string digits = s.substr(i);
    const char* allowed = base == 16 ? "0123456789abcdefABCDEF" : base == 8 ? "01234567" : base == 2 ? "01" : "0123456789";
    if (digits.empty() || digits.find_first_not_of(allowed) != std::string::npos) return fallback;
    errno = 0;
    unsigned long long value = strtoull(digits.c_str(), nullptr, base);
    if (errno == ERANGE) return fallback;
    if (base == 10) {
        if (value > (negative ? 2147483648ull : 2147483647ull)) return fallback;
        long long v = negative ? -static_cast<long long>(value) : static_cast<long long>(value);
        return static_cast<int32_t>(v);
    }
    if (value > 0xFFFFFFFFull) return fallback;
    uint32_t bits = static_cast<uint32_t>(value);
    if (negative) bits = 0u - bits;
    return static_cast<int32_t>(bits);
}

bool CheckSplitting(std::u16string_view line) {
    size_t count = CountArguments(line);
    bool found = false;
    if (!Argument(line, 0, &found).empty() || found) return Fail("token 0 returned");
    Argument(line, count + 1, &found);
    if (found) return Fail("argument past the count", count);
    size_t checked = count < 12 ? count : 12;
    for (size_t i = 1; i <= checked; ++i) {
        std::u16string a = Argument(line, i, &found);
        if (!found) return Fail("counted argument missing", i);
        if (a.find(u'"') != std::u16string::npos) return Fail("quote left in argument", i);
        if (a.size() > line.size()) return Fail("argument longer than the line", i);
    }

    auto slots = std::make_unique<ArgumentSlots>();
    CommandLineCheck check = FillArgumentSlots(line, slots.get());
    if (check.count != count) return Fail("slot count differs", check.count);
    switch (check.problem) {
    case ArgumentProblem::None:
        if (count > kArgumentSlotCount) return Fail("ninth argument accepted", count);
        for (size_t i = 1; i <= kArgumentSlotCount; ++i) {
            std::u16string_view slot = SlotText(*slots, i);
            if (slots->text[i - 1][slot.size()] != 0) return Fail("slot not terminated", i);
            std::u16string expected = i <= count ? Argument(line, i, &found) : std::u16string();
            if (slot != expected) return Fail("slot differs from its argument", i);
        }
        break;
    case ArgumentProblem::TooMany:
        if (count <= kArgumentSlotCount || check.problemSlot != kArgumentSlotCount + 1) return Fail("bad TooMany", count);
        break;
    case ArgumentProblem::TooLong:
        if (check.problemSlot < 1 || check.problemSlot > kArgumentSlotCount) return Fail("bad TooLong slot");
        if (Argument(line, check.problemSlot, &found).size() <= kArgumentMaxUnits) return Fail("short argument refused");
        break;
    }

    // The working directory is the target up to its last backslash (from
    // position 1 on), or the whole target, and never larger than its buffer.
    std::u16string target = count >= 2 ? Argument(line, 2, &found) : std::u16string();
    char16_t storage[kWorkingDirectoryUnits];
    Utf16Buf dir(storage);
    bool fits = ComposeWorkingDirectory(u"", target, dir);
    size_t cut = target.rfind(u'\\');
    std::u16string expected = (cut == std::u16string::npos || cut == 0) ? target : target.substr(0, cut);
    if (fits != (expected.size() < kWorkingDirectoryUnits)) return Fail("working directory fit", expected.size());
    if (fits && dir.View() != expected) return Fail("working directory text");
    return true;
}

// Arguments made from the input, each quoted, must come back unchanged.
bool CheckRoundTrip(std::u16string_view units) {
    std::vector<std::u16string> pieces(1);
    for (char16_t c : units) {
        if (c == u'|') {
            pieces.emplace_back();
        } else if (c != u'"' && c != 0) {
            pieces.back() += c;
        }
    }
    std::u16string line = u"Pinvane.exe";
    for (const std::u16string& p : pieces) line += u" \"" + p + u"\"";
    if (CountArguments(line) != pieces.size()) return Fail("round trip count", pieces.size());
    for (size_t i = 0; i < pieces.size() && i < 12; ++i) {
        bool found = false;
        if (Argument(line, i + 1, &found) != pieces[i] || !found) return Fail("round trip text", i + 1);
    }
    return true;
}

}  // namespace

bool CheckLinktoolInput(const uint8_t* data, size_t size) {
    std::u16string line(size / 2, u'\0');
    for (size_t i = 0; i < line.size(); ++i) line[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    // A command line from the system ends at its first zero.
    std::u16string_view view(line.c_str());
    if (!CheckSplitting(view) || !CheckRoundTrip(line)) return false;

    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    int32_t a = ParseNumberArgument(bytes, 7);
    int32_t b = ParseNumberArgument(bytes, 8);
    if (a != ReferenceNumber(bytes, 7) || b != ReferenceNumber(bytes, 8)) return Fail("number differs from reference");
    return true;
}
