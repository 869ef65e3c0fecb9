// Language and error texts on Win32.
#include <windows.h>

#include "platform.h"

uint16_t UserLanguageId() { return GetUserDefaultLangID(); }

const PathChar* SystemErrorText(SystemError code, PathChar* out) {
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                  nullptr, code, 0, out, kSystemErrorTextCapacity, nullptr);
    if (length >= kSystemErrorTextCapacity) length = 0;
    out[TrimErrorText(out, length)] = 0;
    return out;
}
