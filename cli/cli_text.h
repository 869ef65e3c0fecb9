// Texts quimbo-build prints: paths and the system's reasons, in UTF-8.
//
// Every name and path it prints (on stderr, and the page's path on stdout)
// goes through AppendPathText, so that a file name can neither split a line
// nor reach the terminal as a control sequence. Printable text, valid UTF-8,
// passes as it is; everything else is escaped with a backslash:
//
//   \\      a backslash that is part of a name (on POSIX every backslash; on
//           Windows, where it separates folders, it is printed as it is)
//   \n \t   a line feed, a tab
//   \xHH    every other byte of a control character (C0, DEL, C1 as its
//           two UTF-8 bytes, and the characters that reorder text around
//           them, IsBidiControl) or of anything that is not valid UTF-8 (on
//           Windows an unpaired surrogate, as the three bytes it would take)
#pragma once

#include "../common/platform.h"

// The kinds of file that make a folder a gallery, for "no images" messages
// (gallery/listing.cpp's patterns; a folder of GIF files alone has none).
#define QUIMBO_IMAGE_KINDS ".jpg, .jpeg, .jfif, .png, .webp, .avif, .svg, .ico; .gif alone does not count"

// Bytes one path unit may take in print: 4 for a byte escaped as \xHH; 12 for
// a UTF-16 unit (an unpaired surrogate: three escaped bytes).
constexpr size_t kPrintedBytesPerUnit = sizeof(PathChar) == 1 ? 4 : 12;

// Room for any path of kPathCapacity units as it is printed.
constexpr size_t kPathTextCapacity = kPrintedBytesPerUnit * kPathCapacity;

// Appends `length` units of a native path or name as quimbo-build prints it
// (see above), as far as whole characters fit into `out`. Returns the units
// taken: fewer than `length` only when `out` is full, which also sets its
// overflow flag.
size_t AppendPathText(const PathChar* path, size_t length, ByteBuf& out);

// The same for a command-line argument as getopt_long reads it: bytes meant
// as UTF-8 (on Windows the arguments' WTF-8, where an unpaired surrogate is
// escaped as on Windows).
size_t AppendArgumentText(const char* text, size_t length, ByteBuf& out);

// Appends the system's text for `error` in UTF-8.
void AppendErrorText(SystemError error, ByteBuf& out);
