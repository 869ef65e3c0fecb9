// The gallery generator's one window: start-up, window procedure, painting,
// folder choice, remembered folder and dialogs.
#pragma once

#include <windows.h>

#include "shell_state.h"

// Arguments after the program name; set by the entry before the window
// exists. Only whether there are any matters.
extern int ArgumentCount;

// The three-key accelerator table of the message loop, made by RunMainWindow.
extern HACCEL MainAccelerators;

constexpr const char* kMainClassName = "QuimboClass";

// Registers the class, makes the window with its menu and keys and runs the
// message loop until the window asks to quit. Returns the exit code: the quit
// message's parameter (0), or 255 when the class cannot be registered. The
// window is left standing; the process ends right after this.
int RunMainWindowLoop();

// RunMainWindowLoop, then the end of the process with its exit code.
[[noreturn]] void RunMainWindow();

// Window procedure of the main window (a single-byte class).
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Paints the client area in answer to WM_PAINT.
void PaintMainWindow(HWND window);

// StatusText becomes the target-folder label and TargetFolder; the window is
// invalidated and repaints when the thread next takes messages.
void UpdateStatusText(HWND window);

// ---- Target folder -----------------------------------------------------------------------

// TargetFolder becomes `folder` (`length` units) followed by one backslash
// (none is added when it already ends in one). A folder that does not fit
// leaves TargetFolder empty and returns false: a cut path would name another folder.
bool SetTargetFolder(const wchar_t* folder, size_t length);

// TargetFolder becomes the process's current directory and a backslash; empty
// when the directory cannot be read or does not fit.
void SetTargetToCurrentDirectory();

// ---- Folder choice and remembered folder ---------------------------------------------------

constexpr size_t kFolderCapacity = 1026;        // units of a FolderOfPath result, zero included
constexpr DWORD kRegistryReadBytes = 2051;      // bytes read of the remembered folder
constexpr UINT kBrowseFlags = 0x367;

extern const wchar_t kRegistryKey[];    // SOFTWARE\Tervaldo\Quimbo
extern const wchar_t kRegistryValue[];  // SourceFolder

// Shows the shell's folder browser owned by `owner`, opening at TargetFolder.
// `result` has kStatusTextCapacity units. True with the chosen folder's full
// path in `result`; false when cancelled or the item has no file-system path.
bool BrowseTargetFolder(HWND owner, wchar_t* result, const wchar_t* title);

// Browse callback: preselects TargetFolder, focuses the folder tree and nudges
// it open with one Right-arrow key; mirrors the selection's path in the
// dialog's status line.
int CALLBACK FolderDialogCallback(HWND dialog, UINT message, LPARAM param, LPARAM data);

// The folder a chosen or dropped path stands for: a folder itself, or for
// anything else the text before its last backslash (empty when there is none
// past the first character). `out` has kFolderCapacity units. False (and `out`
// empty) when the folder would be longer than 1025 characters.
bool FolderOfPath(const wchar_t* path, wchar_t* out);

// Reads a registry value of any type as UTF-16 text, in the 32-bit view, at
// most kRegistryReadBytes bytes. `out` has kFolderCapacity units and receives
// the text up to its first zero unit or the end of the bytes read; empty when
// the key or value is missing, unreadable, or too long for the read.
void RegistryReadString(HKEY root, const wchar_t* subkey, const wchar_t* name, wchar_t* out);

// Writes `text` as REG_SZ with its terminating zero, in the 32-bit view,
// creating the key when missing. False when the key cannot be opened or made.
bool RegistryWriteString(HKEY root, const wchar_t* subkey, const wchar_t* name, const wchar_t* text);

// ---- Gallery build -------------------------------------------------------------------------

// Builds the gallery of `folder` (ending in a backslash) for the main window
// `window`: sets the working status, writes both files, then shows the
// completion box (Yes opens the page and minimizes the window) or the error
// box with the system's text. Returns when the user has answered.
void BuildGallery(HWND window, const wchar_t* folder);

// ---- Texts -------------------------------------------------------------------------------

// The About text in the language of GermanUi (five lines joined by CRs).
const wchar_t* AboutText();
