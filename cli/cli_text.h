// Texts quimbo-build prints: paths and the system's reasons, in UTF-8.
#pragma once

#include "../common/platform.h"

// Appends a native path or name as quimbo-build prints it: its UTF-8 on
// Windows, its bytes as they are on POSIX.
inline void AppendPathText(const PathChar* path, size_t length, ByteBuf& out) { AppendNameBytes(path, length, out); }

// Appends the system's text for `error` in UTF-8.
inline void AppendErrorText(SystemError error, ByteBuf& out) {
    PathChar text[kSystemErrorTextCapacity];
    SystemErrorText(error, text);
    AppendNameText(text, TextLength(text), out);
}
