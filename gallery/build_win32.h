// The gallery build as the window runs it: status text, completion and error boxes.
#pragma once

#include <windows.h>

// Builds the gallery of `folder` (ending in a backslash) for the main window
// `window`: sets the working status, writes both files, then shows the
// completion box (Yes opens the page and minimizes the window) or the error
// box with the system's text. Returns when the user has answered.
void BuildGallery(HWND window, const wchar_t* folder);
