// Bounded text building shared by both programs.
//
// A TextBuf<CharT> writes into storage that the caller owns (usually a fixed
// array). Appends past the capacity set a sticky overflow flag and append
// nothing; the caller checks `overflow` once when it is done. The text is kept
// zero-terminated at all times, so `cap` counts the terminating zero too.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string_view>

template <typename CharT>
struct TextBuf {
    CharT* buf;
    size_t cap;       // units of storage, the terminating zero included
    size_t len;       // units in use, without the zero
    bool overflow;    // sticky: set by the first append that did not fit

    TextBuf(CharT* storage, size_t capacity) : buf(storage), cap(capacity), len(0), overflow(false) {
        if (cap) buf[0] = 0;
    }
    template <size_t N>
    explicit TextBuf(CharT (&storage)[N]) : TextBuf(storage, N) {}

    void Clear() {
        len = 0;
        overflow = false;
        if (cap) buf[0] = 0;
    }
    // Appends all of `n` units or none of them.
    void Append(const CharT* s, size_t n) {
        if (overflow) return;
        if (cap == 0 || n > cap - 1 - len) {
            overflow = true;
            return;
        }
        for (size_t i = 0; i < n; ++i) buf[len + i] = s[i];
        len += n;
        buf[len] = 0;
    }
    void Append(std::basic_string_view<CharT> s) { Append(s.data(), s.size()); }
    void Append(CharT c) { Append(&c, 1); }
    // Appends a zero-terminated text.
    void AppendZ(const CharT* s) {
        size_t n = 0;
        while (s[n]) ++n;
        Append(s, n);
    }
    std::basic_string_view<CharT> View() const { return {buf, len}; }
};

using ByteBuf = TextBuf<char>;
using Utf16Buf = TextBuf<char16_t>;

// Length of a zero-terminated text.
template <typename CharT>
inline size_t TextLength(const CharT* s) {
    size_t n = 0;
    while (s[n]) ++n;
    return n;
}

// Appends `value` in decimal, zero-padded to at least `minDigits` characters,
// the sign of a negative number included (as printf's "%03i" does).
void AppendDecimal(ByteBuf& out, int64_t value, int minDigits = 1);

// Part of `s` from `from`, at most `count` bytes, clamped to what is there.
// (std::string_view::substr would pull the C++ runtime's exceptions into the
// executables for a range check we do not need.)
template <typename CharT>
inline std::basic_string_view<CharT> Slice(std::basic_string_view<CharT> s, size_t from,
                                           size_t count = static_cast<size_t>(-1)) {
    if (from > s.size()) from = s.size();
    size_t left = s.size() - from;
    return {s.data() + from, count < left ? count : left};
}
inline std::string_view Slice(std::string_view s, size_t from, size_t count = static_cast<size_t>(-1)) {
    return Slice<char>(s, from, count);
}

// Drops trailing units below 33 (blanks, CR, LF and other controls) and full
// stops from a system message; returns the new length.
template <typename CharT>
inline size_t TrimErrorText(const CharT* text, size_t length) {
    while (length > 0 && (static_cast<uint32_t>(text[length - 1]) < 33 || text[length - 1] == CharT('.'))) --length;
    return length;
}
