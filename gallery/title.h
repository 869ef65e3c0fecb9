// Carrying an edited gallery title over into the next build of the page.
#pragma once

#include <stddef.h>
#include <string_view>

#include "../common/platform.h"
#include "../common/text.h"

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

// The title the user gives on the command line, as the page's script holds
// it: `text` (UTF-8) inside the double quotes of `const title="..."`, which
// stands in a <script> element. Backslash, quotes, "<", ">", "&", control
// characters and the line and paragraph separators are written as \uXXXX
// (or \\, \n, \t), so that no text can end the string or the element, and
// the carry-over reads the same bytes back (no double quote inside, no
// "&ndash;" to replace). Each byte that is not UTF-8, and each unpaired
// surrogate (three bytes of WTF-8 from a Windows command line), becomes
// U+FFFD. False when the result is longer than the carry-over takes back
// (kTitleMaxBytes less the closing quote): a later build would lose it.
bool TitleForScript(std::string_view text, CarriedTitle* out);

// The text a title in the page's script (as carried over) stands for, in
// UTF-8: its escapes (\uXXXX, \xHH, \n, \t, \\, \", ...) undone. For the
// album index, which shows each gallery under its title.
void AppendTitleText(std::string_view scriptText, ByteBuf& out);

// True when `title` (as carried over) is a title that the user gave: not
// empty and not the default word of either language.
bool IsGivenTitle(std::string_view title);

// Reads the start of the page at `pagePath` and extracts its title; the
// default title when there is no page (or, on POSIX, only a link or no
// regular file at that name). When the page is there but cannot be opened or
// read, the default title too, and `error` (when given) gets the system's code.
CarriedTitle ReadCarriedTitle(const PathChar* pagePath, bool german, SystemError* error = nullptr);
