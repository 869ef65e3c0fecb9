#include "title.h"

#include <stdint.h>
#include <string.h>

#include "../common/unicode.h"

static char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

static size_t FindPart(std::string_view text, std::string_view part, bool ignoreCase) {
    if (part.size() > text.size()) return kNotFound;
    for (size_t start = 0; start + part.size() <= text.size(); ++start) {
        size_t i = 0;
        if (ignoreCase)
            while (i < part.size() && FoldAscii(text[start + i]) == FoldAscii(part[i])) ++i;
        else
            while (i < part.size() && text[start + i] == part[i]) ++i;
        if (i == part.size()) return start;
    }
    return kNotFound;
}

size_t FindText(std::string_view text, std::string_view part) { return FindPart(text, part, false); }
size_t FindTextNoCase(std::string_view text, std::string_view part) { return FindPart(text, part, true); }

size_t ReplaceText(char* text, size_t capacity, std::string_view find, std::string_view replacement, bool all,
                   bool ignoreCase) {
    if (capacity > kReplaceCapacity) capacity = kReplaceCapacity;
    size_t length = strnlen(text, capacity);
    if (find.empty() || capacity == 0) return length;
    size_t previous = kNotFound;
    for (;;) {
        size_t at = FindPart({text, length}, find, ignoreCase);
        if (at == kNotFound || at == previous) break;
        size_t tail = length - at - find.size();
        if (length - find.size() + replacement.size() + 1 > capacity) break;  // would not fit: keep what we have
        memmove(text + at + replacement.size(), text + at + find.size(), tail);
        memcpy(text + at, replacement.data(), replacement.size());
        length = length - find.size() + replacement.size();
        text[length] = 0;
        previous = at;
        if (!all) break;
    }
    return length;
}

static CarriedTitle DefaultTitle(bool german) {
    CarriedTitle title;
    const char* word = german ? "Bilder" : "Images";
    title.length = strlen(word);
    memcpy(title.text, word, title.length + 1);
    return title;
}

CarriedTitle ExtractCarriedTitle(std::string_view window, bool german) {
    static const char kMarker[] = "const title=\"";
    // The page is searched as a zero-terminated text: it ends at its first zero byte.
    size_t end = 0;
    while (end < window.size() && window[end] != 0) ++end;
    std::string_view text(window.data(), end);
    size_t at = FindTextNoCase(text, std::string_view(kMarker, sizeof(kMarker) - 1));
    if (at == kNotFound) return DefaultTitle(german);

    CarriedTitle title;
    size_t start = at + sizeof(kMarker) - 1;
    std::string_view behind(text.data() + start, text.size() - start);
    size_t take = behind.size() < kTitleMaxBytes ? behind.size() : kTitleMaxBytes;
    // The title ends at the last double quote within the bytes taken.
    size_t cut = 0;
    for (size_t i = take; i > 0; --i) {
        if (behind[i - 1] == '"') {
            cut = i - 1;
            break;
        }
    }
    memcpy(title.text, behind.data(), cut);
    title.text[cut] = 0;
    char work[kTitleMaxBytes + 1];
    memcpy(work, title.text, cut + 1);
    title.length = ReplaceText(work, sizeof(work), "&ndash;", "\xE2\x80\x93", true, false);
    memcpy(title.text, work, title.length + 1);
    return title;
}

CarriedTitle ReadCarriedTitle(const PathChar* pagePath, bool german, SystemError* error) {
    // On the stack: galleries of several folders may be built at once.
    char window[kTitleReadWindow + 1];
    memset(window, 0, sizeof(window));
    SystemError readError = 0;
    long got = ReadFileStart(pagePath, window, kTitleReadWindow, &readError);
    if (error) *error = readError;
    if (got < 0) return DefaultTitle(german);
    return ExtractCarriedTitle(std::string_view(window, static_cast<size_t>(got)), german);
}

namespace {

void AppendUtf8(uint32_t code, ByteBuf& out) {
    if (code >= 0xD800 && code <= 0xDFFF) code = 0xFFFD;  // a surrogate alone is no character
    if (code < 0x80) {
        out.Append(static_cast<char>(code));
    } else if (code < 0x800) {
        out.Append(static_cast<char>(0xC0 | (code >> 6)));
        out.Append(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.Append(static_cast<char>(0xE0 | (code >> 12)));
        out.Append(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.Append(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.Append(static_cast<char>(0xF0 | (code >> 18)));
        out.Append(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.Append(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.Append(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

void AppendEscapedUnit(uint32_t unit, ByteBuf& out) {
    static const char kHex[] = "0123456789ABCDEF";
    const char escaped[6] = {'\\', 'u', kHex[(unit >> 12) & 15], kHex[(unit >> 8) & 15], kHex[(unit >> 4) & 15],
                             kHex[unit & 15]};
    out.Append(escaped, 6);
}

// The value of `count` hexadecimal digits at `at`, or -1.
long HexValue(std::string_view text, size_t at, size_t count) {
    if (at + count > text.size()) return -1;
    long value = 0;
    for (size_t i = at; i < at + count; ++i) {
        char c = text[i];
        int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

}  // namespace

bool TitleForScript(std::string_view text, CarriedTitle* out) {
    char storage[kTitleMaxBytes];  // the closing quote takes the last byte the carry-over reads
    ByteBuf title(storage);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t at = 0; at < text.size() && !title.overflow;) {
        uint32_t code = 0;
        size_t count = DecodeUtf8At(bytes + at, text.size() - at, &code);
        if (count == 0) {
            // An unpaired surrogate as Windows hands it over (in WTF-8, ED A0..BF
            // 80..BF) is one character that cannot be shown; any other byte that
            // is not UTF-8 stands for itself.
            bool surrogate = text.size() - at >= 3 && bytes[at] == 0xED && bytes[at + 1] >= 0xA0 &&
                             bytes[at + 1] <= 0xBF && bytes[at + 2] >= 0x80 && bytes[at + 2] <= 0xBF;
            AppendUtf8(0xFFFD, title);
            at += surrogate ? 3 : 1;
            continue;
        }
        if (code == '\\') title.Append("\\\\", 2);
        else if (code == '\n') title.Append("\\n", 2);
        else if (code == '\t') title.Append("\\t", 2);
        else if (code < 0x20 || code == '"' || code == '<' || code == '>' || code == '&' || (code >= 0x7F && code <= 0x9F) ||
                 code == 0x2028 || code == 0x2029)
            AppendEscapedUnit(code, title);
        else title.Append(text.data() + at, count);
        at += count;
    }
    // ByteBuf keeps one byte for its terminating zero: the title has at most
    // kTitleMaxBytes - 1 bytes, and its closing quote is the last byte read back.
    if (title.overflow) return false;
    memcpy(out->text, title.buf, title.len);
    out->text[title.len] = 0;
    out->length = title.len;
    return true;
}

void AppendTitleText(std::string_view script, ByteBuf& out) {
    for (size_t at = 0; at < script.size(); ++at) {
        char c = script[at];
        if (c != '\\' || at + 1 == script.size()) {
            out.Append(c);
            continue;
        }
        char kind = script[++at];
        long value = -1;
        if (kind == 'u' && (value = HexValue(script, at + 1, 4)) >= 0) {
            at += 4;
            long low = -1;
            // A pair of escaped surrogates is one character.
            if (value >= 0xD800 && value <= 0xDBFF && at + 2 < script.size() && script[at + 1] == '\\' &&
                script[at + 2] == 'u' && (low = HexValue(script, at + 3, 4)) >= 0xDC00 && low <= 0xDFFF) {
                value = 0x10000 + ((value - 0xD800) << 10) + (low - 0xDC00);
                at += 6;
            }
            AppendUtf8(static_cast<uint32_t>(value), out);
        } else if (kind == 'x' && (value = HexValue(script, at + 1, 2)) >= 0) {
            at += 2;
            AppendUtf8(static_cast<uint32_t>(value), out);
        } else {
            static const char kFrom[] = "nrtbfv0";
            static const char kTo[] = "\n\r\t\b\f\v";
            const char* known = strchr(kFrom, kind);
            if (kind == '0') continue;  // a zero character shows nothing
            out.Append(known && kind ? kTo[known - kFrom] : kind);
        }
    }
}

bool IsGivenTitle(std::string_view title) { return !title.empty() && title != "Images" && title != "Bilder"; }
