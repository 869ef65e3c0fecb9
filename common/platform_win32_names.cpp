// File names as the gallery page shows them, on Win32.
#include <windows.h>

#include "platform.h"
#include "unicode.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows names are UTF-16");

static std::u16string_view AsUtf16(const PathChar* name, size_t length) {
    return {reinterpret_cast<const char16_t*>(name), length};
}

void AppendNameText(const PathChar* name, size_t length, ByteBuf& out) {
    FileNameToUtf8(reinterpret_cast<const char16_t*>(name), length, out);
}

void AppendNameBytes(const PathChar* name, size_t length, ByteBuf& out) {
    FileNameToUtf8(reinterpret_cast<const char16_t*>(name), length, out);
}

bool NameContainsNoCase(const PathChar* name, size_t length, const char* part) {
    char16_t wide[16];
    size_t n = 0;
    while (part[n] && n < 16) {
        wide[n] = static_cast<unsigned char>(part[n]);
        ++n;
    }
    return ContainsTextNoCase(AsUtf16(name, length), std::u16string_view(wide, n));
}

char16_t PlatformUpperCase(char16_t unit) {
    // The system's table, as CharUpperW applies it to a single character, but
    // from kernel32: a program that has no window then needs no user32 (whose
    // start-up costs time and memory).
    wchar_t in = unit;
    wchar_t out = unit;
    return LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, &in, 1, &out, 1) == 1 ? static_cast<char16_t>(out) : unit;
}

bool NameComesBefore(const PathChar* a, size_t aLength, const PathChar* b, size_t bLength) {
    size_t common = aLength < bLength ? aLength : bLength;
    for (size_t i = 0; i < common; ++i) {
        char16_t x = PlatformUpperCase(static_cast<char16_t>(a[i])), y = PlatformUpperCase(static_cast<char16_t>(b[i]));
        if (x != y) return x < y;
    }
    if (aLength != bLength) return aLength < bLength;
    for (size_t i = 0; i < common; ++i) {
        if (a[i] != b[i]) return static_cast<char16_t>(a[i]) < static_cast<char16_t>(b[i]);
    }
    return false;
}
