// The message box that carries the program's own icon.
#pragma once

#include <windows.h>

// A modal message box with the program's icon resource `iconName`, brought to
// the foreground and announced by the asterisk beep. `owner` may be null.
// Returns the button that closed it (IDOK, IDCANCEL, IDYES, IDNO).
int ShowIconMessage(HWND owner, const wchar_t* text, const wchar_t* caption, const wchar_t* iconName, UINT style);
