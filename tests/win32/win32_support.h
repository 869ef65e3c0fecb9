// Helpers of the Win32 tests: throwaway folders on the real file system, and a
// catcher for the message boxes that the gallery build shows on this thread.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace w32test {

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
    std::wstring operator/(const std::wstring& name) const { return path_ + name; }

private:
    std::wstring path_;
};

// Creates (or replaces) a file holding `bytes` and gives it `attributes` when not 0.
void MakeFile(const std::wstring& path, const std::string& bytes = "x", DWORD attributes = 0);
void MakeFolder(const std::wstring& path);
void RemoveTree(const std::wstring& path);  // path without trailing backslash

// The whole file, or "<missing>" when it cannot be read.
std::string ReadBytes(const std::wstring& path);

std::string Utf8(const std::wstring& text);

// ---- Page entries --------------------------------------------------------------------------

// One figure entry of a page, as its four lines give it.
struct Entry {
    std::string id, src, alt, caption;
    bool operator==(const Entry& other) const {
        return id == other.id && src == other.src && alt == other.alt && caption == other.caption;
    }
};
std::ostream& operator<<(std::ostream& out, const Entry& entry);

// Every "<figure>" block of `page`, in order; a block that does not have the
// shape of an entry (four lines and an empty one) gives an entry with id "?".
std::vector<Entry> ParseEntries(const std::string& page);

// The expected entry for a plain name (ASCII without characters that are encoded).
Entry PlainEntry(int number, const std::string& name);

// ---- Message boxes -------------------------------------------------------------------------

// What one message box was: as the program asked for it (the parameters of
// its call), and as it appeared on the screen.
struct CaughtBox {
    bool indirect = false;       // through MessageBoxIndirectW (else MessageBoxW)
    HWND owner = nullptr;
    std::wstring text, caption;  // as asked for
    UINT style = 0;
    // MessageBoxIndirectW only:
    UINT recordSize = 0;
    HINSTANCE instance = nullptr;
    std::wstring iconName;       // empty when the icon was given as a number
    DWORD_PTR contextHelpId = 0;
    bool hasCallback = false;
    DWORD languageId = 0;
    // As shown:
    bool shown = false;
    std::wstring shownText, shownCaption;
    HWND shownOwner = nullptr;
    std::vector<int> buttons;    // IDOK, IDCANCEL, IDYES, IDNO present in the box
    bool errorIcon = false;      // the system's error icon is shown
    int pressed = 0;
};

// Catches every message box shown on this thread while it lives: records its
// call (by replacing the program's imports of MessageBoxW and
// MessageBoxIndirectW) and, through a CBT hook, reads the box on the screen
// and closes it with the next scripted answer (IDCANCEL when none is left).
class BoxCatcher {
public:
    explicit BoxCatcher(std::vector<int> answers = {});
    ~BoxCatcher();
    const std::vector<CaughtBox>& Boxes() const;
};

// A hidden top-level window that records the WM_COMMAND messages it gets.
class TestWindow {
public:
    TestWindow();
    ~TestWindow();
    HWND Handle() const { return window_; }
    const std::vector<WPARAM>& Commands() const;
    const std::vector<LPARAM>& CommandParams() const;

private:
    HWND window_;
};

}  // namespace w32test
