#include "gallery_checks.h"

#include <string.h>

#include "common/unicode.h"
#include "gallery/encode.h"
#include "gallery/title.h"

static bool IsValidUtf8(std::string_view bytes) {
    char storage[16384];
    ByteBuf copy(storage);
    BytesToValidUtf8(bytes, copy);
    return !copy.overflow && copy.View() == bytes;
}

const char* CheckGalleryInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // The title: at most 78 bytes, no zero byte, no double quote at its end
    // unless it was carried over that way, and the same for both languages when found.
    for (bool german : {false, true}) {
        CarriedTitle title = ExtractCarriedTitle(bytes, german);
        if (title.length > kTitleMaxBytes - 1) return "title longer than 78 bytes";
        if (memchr(title.text, 0, title.length)) return "zero byte inside the title";
        if (title.text[title.length] != 0) return "title not terminated";
        if (strstr(title.text, "&ndash;")) return "&ndash; left in the title";
    }

    // Names as UTF-16 units: valid UTF-8 out, at most three bytes a unit.
    size_t units = size / 2;
    if (units > 2048) units = 2048;
    char16_t name[2048];
    for (size_t i = 0; i < units; ++i) name[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    char utf8Storage[3 * 2048 + 1];
    ByteBuf utf8(utf8Storage);
    FileNameToUtf8(name, units, utf8);
    if (utf8.overflow || utf8.len > 3 * units) return "UTF-8 of a name too long";
    if (!IsValidUtf8(utf8.View())) return "UTF-8 of a name is not valid";

    // The src form: only kept bytes and %XX, and it decodes back to the input.
    char srcStorage[3 * 16384 + 1];
    ByteBuf src(srcStorage);
    std::string_view raw = bytes.substr(0, 16384);
    EncodeImageSrc(raw, src);
    if (src.overflow) return "src overflow";
    size_t back = 0;
    for (size_t i = 0; i < src.len; ++i) {
        unsigned char c = static_cast<unsigned char>(src.buf[i]);
        unsigned char original;
        if (c == '%') {
            if (i + 2 >= src.len) return "cut %XX";
            auto hex = [](char h) { return h <= '9' ? h - '0' : h - 'A' + 10; };
            original = static_cast<unsigned char>(hex(src.buf[i + 1]) * 16 + hex(src.buf[i + 2]));
            i += 2;
        } else {
            if (c <= ' ' || c == '"' || c == '\'' || c == '<' || c == '>' || c == '&' || c >= 0x7F) return "unsafe byte in src";
            original = c;
        }
        if (back >= raw.size() || static_cast<unsigned char>(raw[back]) != original) return "src does not decode back";
        ++back;
    }
    if (back != raw.size()) return "src lost bytes";

    // Any bytes made valid: the result is valid UTF-8.
    char validStorage[3 * 16384 + 1];
    ByteBuf valid(validStorage);
    BytesToValidUtf8(raw, valid);
    if (valid.overflow || !IsValidUtf8(valid.View())) return "BytesToValidUtf8 output invalid";

    // Attribute text never carries a bare quote or angle bracket.
    char attrStorage[6 * 16384 + 1];
    ByteBuf attr(attrStorage);
    AppendAttributeText(raw, attr);
    if (attr.overflow || memchr(attr.buf, '"', attr.len) || memchr(attr.buf, '<', attr.len) || memchr(attr.buf, '>', attr.len))
        return "attribute text unsafe";

    // ReplaceText on a copy never runs past its buffer and keeps the text terminated.
    char work[kReplaceCapacity];
    size_t take = size < sizeof(work) - 1 ? size : sizeof(work) - 1;
    memcpy(work, data, take);
    work[take] = 0;
    size_t length = ReplaceText(work, sizeof(work), "a", "bcd", true, true);
    if (length >= sizeof(work) || work[length] != 0) return "ReplaceText broke the buffer";
    return nullptr;
}
