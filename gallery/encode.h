// Turning file names into page text.
#pragma once

#include <stddef.h>
#include <string_view>

#include "../common/unicode.h"

// Percent-encodes `bytes` for the src attribute: 0x2D-0x3A, A-Z, _, a-z and ~
// stay as they are, every other byte becomes % and two upper-case hex digits.
void EncodeImageSrc(std::string_view bytes, ByteBuf& out);

// Writes `text` for an attribute value or element content: ", < and > become
// &quot;, &lt; and &gt;; everything else, the ampersand too, stays as it is.
// (Windows names cannot hold the three, so Windows pages are unchanged.)
void AppendAttributeText(std::string_view text, ByteBuf& out);

// As AppendAttributeText, and the ampersand becomes &amp; too, so that a name
// shows as it is even where it looks like an entity; a character that
// reorders text (IsBidiControl) shows as its UTF-8 bytes, "\xE2\x80\xAE", as
// quimbo-build prints it. For the album index, which has no old bytes to keep.
void AppendHtmlText(std::string_view text, ByteBuf& out);

// The entry number in decimal, at least three digits ("%03i").
void FormatEntryId(int number, ByteBuf& out);
