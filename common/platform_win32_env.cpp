// Language and error texts on Win32.
#include <windows.h>

#include "../gallery/encode.h"
#include "common.h"
#include "platform.h"

uint16_t UserLanguageId() { return GetUserDefaultLangID(); }

void AppendSystemErrorTextUtf8(SystemError code, ByteBuf& out) {
    wchar_t text[513];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                  nullptr, code, 0, text, 513, nullptr);
    length = static_cast<DWORD>(TrimErrorText(text, length));
    FileNameToUtf8(reinterpret_cast<const char16_t*>(text), length, out);
}
