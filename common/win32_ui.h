// Win32-only helpers of the gallery generator: the message box with the
// program's icon and the system's error text.
#pragma once

#include <windows.h>

// Capacity of SystemErrorText's result, the terminating zero included.
constexpr DWORD kSystemErrorTextCapacity = 513;

// A modal message box with the program's icon resource `iconName`, brought to
// the foreground and announced by the asterisk beep. `owner` may be null.
// Returns the button that closed it (IDOK, IDCANCEL, IDYES, IDNO).
int ShowIconMessage(HWND owner, const wchar_t* text, const wchar_t* caption, const wchar_t* iconName, UINT style);

// Writes the system's text for `code` into `out` (kSystemErrorTextCapacity
// units), trimmed at the end of blanks, control characters and full stops.
// Empty when the system has no text for the code or it does not fit.
const wchar_t* SystemErrorText(DWORD code, wchar_t* out);
