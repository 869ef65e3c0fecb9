// Helpers of the tests that run under Wine (Win32, window and process tests):
// throwaway folders and files on the real file system, paths and texts,
// window class and text, waiting for a condition, and replacing an import of
// the test program.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace testsupport {

// ---- Folders and files ---------------------------------------------------------------------

// A fresh, empty folder under the temporary folder; removed with everything
// in it (attributes cleared first) when the object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder with its trailing backslash, as the window hands it to the build.
    const std::wstring& Path() const { return path_; }
    // The folder without it, as a user types it (a working directory, a profile).
    std::wstring Bare() const { return path_.substr(0, path_.size() - 1); }
    std::wstring operator/(const std::wstring& name) const { return path_ + name; }

private:
    std::wstring path_;
};

// Creates (or replaces) a file holding `bytes` and gives it `attributes` when not 0.
void MakeFile(const std::wstring& path, const std::string& bytes = "x", DWORD attributes = 0);
void MakeFolder(const std::wstring& path);
// Removes a file, or a folder with everything in it, attributes cleared first
// (path without trailing backslash).
void RemoveTree(const std::wstring& path);
bool FileExists(const std::wstring& path);

// The whole file, or "<missing>" when it cannot be read.
std::string ReadBytes(const std::wstring& path);

// ---- Paths and texts -----------------------------------------------------------------------

std::string Utf8(const std::wstring& text);
// A path of the build (a Unix path) as Wine shows it: on drive Z:, with backslashes.
std::wstring WindowsPath(const char* unixPath);
std::wstring CurrentDirectory();
std::wstring WithSlash(std::wstring path);

// ---- Windows -------------------------------------------------------------------------------

std::wstring ClassOf(HWND window);
// The window's whole text; empty for no window.
std::wstring TextOf(HWND window);

// ---- Waiting -------------------------------------------------------------------------------

// Asks `condition` until it holds, every `pollMs`, for at most `timeoutMs`;
// whether it held. For states that have no event to wait on (another
// thread's or process's windows, files another process writes).
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD pollMs = 10);

// ---- Imports -------------------------------------------------------------------------------

// Points this program's import of `function` from `dll` (e.g. "user32.dll")
// at `replacement`; returns the entry it had, or null when the program does
// not import it by name. Code linked into the test program calls through
// these entries; the system's own calls do not.
void* PatchImport(const char* dll, const char* function, void* replacement);

}  // namespace testsupport
