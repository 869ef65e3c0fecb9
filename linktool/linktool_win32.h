// The Win32 half of Pinvane: console output, the example batch file, the
// shell link writer and the main flow that ties them to the portable core.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <stdint.h>
#include <string_view>

#include "linktool_core.h"

// ---- Console -----------------------------------------------------------------------------

// Sets the text attribute of whatever standard output is right now. When it is
// not a console the call fails and the text after it goes out uncoloured.
void SetConsoleColor(uint16_t attribute);

// Writes bytes to standard output as they are; nothing is held back, so a colour
// set before applies exactly to them.
void WriteConsoleBytes(std::string_view bytes);

constexpr size_t kAnsiTextBytes = 16385;  // conversion output, the terminating zero included

// Converts `text` (zero-terminated) to the system ANSI code page into the
// caller's buffer of kAnsiTextBytes; characters without an ANSI form become the
// code page's default character. Returns the bytes before the zero; an empty
// text when the conversion fails or does not fit.
size_t ConvertToAnsi(const wchar_t* text, char* out);

// Writes a path as the result lines show it: converted to ANSI (so characters
// outside it show as the default character), then from ANSI to the console's
// output code page.
void WriteConsolePath(const wchar_t* path);

// ---- Example batch -----------------------------------------------------------------------

constexpr size_t kExpandedTextUnits = 32768;  // the most an expansion can give, with its zero
constexpr size_t kExamplePathUnits = 514;     // an example batch path and its zero

// Expands the environment references in `text` into `out` (capacity `units`)
// and returns the length of the expansion. When the system cannot expand the
// text it is copied unchanged. When the expansion does not fit, the returned
// length is larger than `units - 1` and `out` holds the unexpanded text.
size_t ExpandEnvironment(const wchar_t* text, wchar_t* out, size_t units);

enum class BatchResult { Written, NotCreated, WriteFailed };

// Creates the file at `path` anew (an existing read-only file is not forced)
// and writes the example batch into it; the console colour is grey afterwards
// whatever the result. WriteFailed when the file was created but a write or
// the close failed: the file on disk is then not the whole example.
BatchResult WriteExampleBatch(const wchar_t* path);

// ---- Shell link --------------------------------------------------------------------------

// Makes the link object. The program uses CreateSystemLinkObject; tests hand in
// objects of their own to see the calls or to refuse an interface.
using LinkObjectFactory = HRESULT (*)(IUnknown** object);

// CoCreateInstance of the shell's link object (CLSID_ShellLink), no outer
// object, in-process or local server, asking for IUnknown.
HRESULT CreateSystemLinkObject(IUnknown** object);

enum class LinkResult { Created, Failed, MissingInterface };

// Writes the shortcut `link` through the link object and judges the result by
// the file it leaves: Created when a file of at least 256 bytes exists at
// `link` afterwards. An existing file at `link` (read-only, hidden or system
// too) is removed first; an existing folder there is left alone and gives
// Failed. `workingDirectory` is stored as given: compose it first with
// ComposeWorkingDirectory. MissingInterface when the object refuses
// IShellLinkW or IPersistFile; every reference is released and COM is
// uninitialised before any return.
LinkResult CreateShellLink(const wchar_t* target, const wchar_t* arguments, const wchar_t* workingDirectory,
                           const wchar_t* link, const wchar_t* description, const wchar_t* iconPath,
                           int32_t iconNumber, int32_t showCommand,
                           LinkObjectFactory factory = CreateSystemLinkObject);

// ---- Main flow ---------------------------------------------------------------------------

// One whole run: splits `commandLine`, runs one mode, writes its lines to
// standard output and returns the exit code (0, 1 or 219).
int RunPinvane(const wchar_t* commandLine, LinkObjectFactory factory = CreateSystemLinkObject);
