#include "title.h"

#include <string.h>

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
