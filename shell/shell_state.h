// The gallery generator's global buffers and command identifiers, owned by the
// window for the whole run.
#pragma once

#include "../common/text.h"

using WideBuf = TextBuf<wchar_t>;

constexpr size_t kStatusTextCapacity = 2049;  // units, the terminating zero included

extern wchar_t TargetFolder[kStatusTextCapacity];   // always ends in a backslash once set
extern wchar_t StatusText[kStatusTextCapacity];     // painted below the banner
extern wchar_t ScratchBuffer[kStatusTextCapacity];  // error texts and other short-lived text

enum Command : unsigned {
    CMD_NEW_GALLERY = 101,
    CMD_RUN_GALLERY = 102,
    CMD_EXIT = 109,
    CMD_ABOUT = 199,
};
