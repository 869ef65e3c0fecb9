#include "encode.h"

char16_t UpperCaseUnit(char16_t unit) {
    if (unit >= u'a' && unit <= u'z') return static_cast<char16_t>(unit - 32);
    if (unit > 0x7F) return PlatformUpperCase(unit);
    return unit;
}

bool ContainsTextNoCase(std::u16string_view text, std::u16string_view part) {
    if (part.size() > text.size()) return false;
    for (size_t start = 0; start + part.size() <= text.size(); ++start) {
        size_t i = 0;
        while (i < part.size() && UpperCaseUnit(text[start + i]) == UpperCaseUnit(part[i])) ++i;
        if (i == part.size()) return true;
    }
    return false;
}
