#include "cli_text.h"

#include <stdint.h>

#include "../common/unicode.h"

namespace {

// One character of a name: its code point and the (up to four) UTF-8 bytes it
// is printed as. Not `valid` when the bytes are not valid UTF-8 (POSIX) or
// stand for an unpaired surrogate (Windows).
struct Character {
    uint32_t code;
    bool valid;
    unsigned char bytes[4];
    size_t count;
};

// UTF-8 bytes of `code`; a surrogate takes the three bytes it would have if it were a character.
size_t EncodeUtf8(uint32_t code, unsigned char* bytes) {
    if (code < 0x80) {
        bytes[0] = static_cast<unsigned char>(code);
        return 1;
    }
    if (code < 0x800) {
        bytes[0] = static_cast<unsigned char>(0xC0 | (code >> 6));
        bytes[1] = static_cast<unsigned char>(0x80 | (code & 0x3F));
        return 2;
    }
    if (code < 0x10000) {
        bytes[0] = static_cast<unsigned char>(0xE0 | (code >> 12));
        bytes[1] = static_cast<unsigned char>(0x80 | ((code >> 6) & 0x3F));
        bytes[2] = static_cast<unsigned char>(0x80 | (code & 0x3F));
        return 3;
    }
    bytes[0] = static_cast<unsigned char>(0xF0 | (code >> 18));
    bytes[1] = static_cast<unsigned char>(0x80 | ((code >> 12) & 0x3F));
    bytes[2] = static_cast<unsigned char>(0x80 | ((code >> 6) & 0x3F));
    bytes[3] = static_cast<unsigned char>(0x80 | (code & 0x3F));
    return 4;
}

// The character that starts `at` units into `path`; returns the units it takes.
template <typename CharT>
size_t ReadCharacter(const CharT* path, size_t length, size_t at, Character* c) {
    if constexpr (sizeof(CharT) == 1) {  // POSIX: bytes, meant as UTF-8
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(path + at);
        c->count = DecodeUtf8At(bytes, length - at, &c->code);
        c->valid = c->count != 0;
        if (!c->valid) c->count = 1;
        for (size_t i = 0; i < c->count; ++i) c->bytes[i] = bytes[i];
        return c->count;
    } else {  // Windows: UTF-16
        uint32_t unit = static_cast<uint32_t>(path[at]) & 0xFFFF;
        uint32_t next = at + 1 < length ? static_cast<uint32_t>(path[at + 1]) & 0xFFFF : 0;
        size_t units = 1;
        c->code = unit;
        c->valid = unit < 0xD800 || unit > 0xDFFF;
        if (unit <= 0xDBFF && !c->valid && next >= 0xDC00 && next <= 0xDFFF) {
            c->code = 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
            c->valid = true;
            units = 2;
        }
        c->count = EncodeUtf8(c->code, c->bytes);
        return units;
    }
}

void AppendCharacter(const Character& c, ByteBuf& out) {
    if (c.valid && c.code == '\n') return out.Append("\\n", 2);
    if (c.valid && c.code == '\t') return out.Append("\\t", 2);
    if (c.valid && c.code == '\\' && kPathSeparator != PathChar('\\')) return out.Append("\\\\", 2);
    bool control = c.code < 0x20 || c.code == 0x7F || (c.code >= 0x80 && c.code <= 0x9F) || IsBidiControl(c.code);
    if (c.valid && !control) return out.Append(reinterpret_cast<const char*>(c.bytes), c.count);
    static const char kHex[] = "0123456789ABCDEF";
    for (size_t i = 0; i < c.count; ++i) {
        const char escaped[4] = {'\\', 'x', kHex[c.bytes[i] >> 4], kHex[c.bytes[i] & 15]};
        out.Append(escaped, 4);
    }
}

template <typename CharT>
size_t AppendText(const CharT* path, size_t length, ByteBuf& out) {
    size_t at = 0;
    while (at < length && !out.overflow) {
        Character c;
        size_t units = ReadCharacter(path, length, at, &c);
        // Whole characters only: room for the longest form this one can take.
        if (out.cap == 0 || out.cap - 1 - out.len < 4 * c.count) {
            out.overflow = true;
            break;
        }
        AppendCharacter(c, out);
        at += units;
    }
    return at;
}

}  // namespace

size_t AppendPathText(const PathChar* path, size_t length, ByteBuf& out) { return AppendText(path, length, out); }

size_t AppendArgumentText(const char* text, size_t length, ByteBuf& out) { return AppendText(text, length, out); }

void AppendErrorText(SystemError error, ByteBuf& out) {
    PathChar text[kSystemErrorTextCapacity];
    SystemErrorText(error, text);
    AppendNameText(text, TextLength(text), out);
}
