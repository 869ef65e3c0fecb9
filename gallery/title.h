// Carrying an edited gallery title over into the next build of the page.
#pragma once

#include <stddef.h>
#include <string_view>

#include "../common/platform.h"

constexpr size_t kTitleReadWindow = 6000;  // bytes of the old page that are searched
constexpr size_t kTitleMaxBytes = 79;      // bytes taken behind the marker, closing quote included
constexpr size_t kReplaceCapacity = 8192;  // working copy of ReplaceText, zero included

constexpr size_t kNotFound = static_cast<size_t>(-1);

// Position of the first occurrence of `part` in `text`, or kNotFound.
// The NoCase form maps a-z onto A-Z before comparing; other bytes compare as they are.
size_t FindText(std::string_view text, std::string_view part);
size_t FindTextNoCase(std::string_view text, std::string_view part);

// Replaces in place in the zero-terminated `text` (capacity `capacity`, at most
// kReplaceCapacity is used): the first occurrence of `find`, or all of them.
// A result that would not fit stops the replacing and keeps what was done.
// Returns the new length.
size_t ReplaceText(char* text, size_t capacity, std::string_view find, std::string_view replacement, bool all,
                   bool ignoreCase);

struct CarriedTitle {
    char text[kTitleMaxBytes + 1];
    size_t length;
};

// The title found in `window`, the start of an old page (searched up to its
// first zero byte), or the default word of the language when it has none.
CarriedTitle ExtractCarriedTitle(std::string_view window, bool german);

// Reads the start of the page at `pagePath` and extracts its title; the
// default title when there is no page (or, on POSIX, only a link or no
// regular file at that name). When the page is there but cannot be opened or
// read, the default title too, and `error` (when given) gets the system's code.
CarriedTitle ReadCarriedTitle(const PathChar* pagePath, bool german, SystemError* error = nullptr);
