// Turning file names into page text.
#pragma once

#include <stddef.h>
#include <string_view>

#include "../common/text.h"

// UTF-16 to UTF-8 by the standard rules; a surrogate that is not part of a
// pair is dropped. At most three bytes per unit, so 259 units fit 777 bytes.
void FileNameToUtf8(const char16_t* name, size_t length, ByteBuf& out);

// Valid UTF-8 passes unchanged; every byte that does not begin or continue a
// valid sequence becomes U+FFFD. For names that are only bytes (POSIX).
void BytesToValidUtf8(std::string_view bytes, ByteBuf& out);

// Percent-encodes `bytes` for the src attribute: 0x2D-0x3A, A-Z, _, a-z and ~
// stay as they are, every other byte becomes % and two upper-case hex digits.
void EncodeImageSrc(std::string_view bytes, ByteBuf& out);

// Writes `text` for an attribute value or element content: ", < and > become
// &quot;, &lt; and &gt;; everything else, the ampersand too, stays as it is.
// (Windows names cannot hold the three, so Windows pages are unchanged.)
void AppendAttributeText(std::string_view text, ByteBuf& out);

// The entry number in decimal, at least three digits ("%03i").
void FormatEntryId(int number, ByteBuf& out);

// Upper-cases one UTF-16 unit: a-z directly, units above 0x7F through the
// platform's mapping of that single character, all others unchanged.
char16_t UpperCaseUnit(char16_t unit);

// The platform's upper-case mapping of one unit (CharUpperW on Windows).
char16_t PlatformUpperCase(char16_t unit);

// True when `text` contains `part`, comparing upper-cased units.
bool ContainsTextNoCase(std::u16string_view text, std::u16string_view part);
