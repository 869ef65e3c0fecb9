#include "unicode.h"

#include "platform.h"

void FileNameToUtf8(const char16_t* name, size_t length, ByteBuf& out) {
    for (size_t i = 0; i < length; ++i) {
        uint32_t unit = name[i];
        if (unit < 0x80) {
            out.Append(static_cast<char>(unit));
        } else if (unit < 0x800) {
            char bytes[2] = {static_cast<char>(0xC0 | (unit >> 6)), static_cast<char>(0x80 | (unit & 0x3F))};
            out.Append(bytes, 2);
        } else if (unit >= 0xD800 && unit <= 0xDBFF) {
            // A high surrogate counts only together with the low one after it.
            if (i + 1 < length && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF) {
                uint32_t cp = 0x10000 + ((unit - 0xD800) << 10) + (name[i + 1] - 0xDC00);
                char bytes[4] = {static_cast<char>(0xF0 | (cp >> 18)), static_cast<char>(0x80 | ((cp >> 12) & 0x3F)),
                                 static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), static_cast<char>(0x80 | (cp & 0x3F))};
                out.Append(bytes, 4);
                ++i;
            }
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            // a low surrogate without its high one is dropped
        } else {
            char bytes[3] = {static_cast<char>(0xE0 | (unit >> 12)), static_cast<char>(0x80 | ((unit >> 6) & 0x3F)),
                             static_cast<char>(0x80 | (unit & 0x3F))};
            out.Append(bytes, 3);
        }
    }
}

size_t DecodeUtf8At(const unsigned char* at, size_t left, uint32_t* code) {
    unsigned char lead = at[0];
    if (lead < 0x80) {
        *code = lead;
        return 1;
    }
    size_t count = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (count == 0 || count > left) return 0;
    uint32_t value = lead & (0x7F >> count);
    for (size_t i = 1; i < count; ++i) {
        if ((at[i] & 0xC0) != 0x80) return 0;
        value = (value << 6) | (at[i] & 0x3F);
    }
    if ((count == 3 && (value < 0x800 || (value >= 0xD800 && value <= 0xDFFF))) ||
        (count == 4 && (value < 0x10000 || value > 0x10FFFF)))
        return 0;
    *code = value;
    return count;
}

void BytesToValidUtf8(std::string_view bytes, ByteBuf& out) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        uint32_t code;
        size_t step = DecodeUtf8At(s + i, n - i, &code);
        if (step == 0) {
            out.Append("\xEF\xBF\xBD", 3);
            step = 1;
        } else {
            out.Append(bytes.data() + i, step);
        }
        i += step;
    }
}

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

bool IsBidiControl(uint32_t code) {
    return code == 0x200E || code == 0x200F || code == 0x061C || (code >= 0x202A && code <= 0x202E) ||
           (code >= 0x2066 && code <= 0x2069);
}

size_t BidiControlAt(std::string_view text, size_t at) {
    auto byte = [&text, at](size_t i) { return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0u; };
    if (byte(0) == 0xD8 && byte(1) == 0x9C) return 2;  // U+061C
    if (byte(0) != 0xE2 || (byte(2) & 0xC0) != 0x80) return 0;
    uint32_t code = 0x2000 | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
    return (byte(1) & 0xC0) == 0x80 && IsBidiControl(code) ? 3 : 0;
}
