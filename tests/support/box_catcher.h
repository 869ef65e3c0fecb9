// The one catcher for the dialogs that code under test shows: each message
// box with the parameters of its call and with what it shows on the screen,
// and any other dialog (the folder browser) with what it shows.
//
// It serves two uses. Code that shows its boxes on the test's own thread (a
// gallery build called directly) gets each box answered as it comes up, from
// a script of answers. A window that runs on a thread of its own (the main
// window under test) leaves its dialogs open; the test takes them one by one
// with Next, looks at them and presses their buttons.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

// What one dialog was.
struct CaughtBox {
    HWND box = nullptr;          // the dialog window; valid while it is open
    // As the program asked for it: the parameters of its call of MessageBoxW
    // or MessageBoxIndirectW (nothing for other dialogs).
    bool isMessageBox = false;   // such a call was made for it
    bool indirect = false;       // through MessageBoxIndirectW (else MessageBoxW)
    HWND owner = nullptr;
    std::wstring text, caption;
    UINT style = 0;
    // MessageBoxIndirectW only:
    UINT recordSize = 0;
    HINSTANCE instance = nullptr;
    std::wstring iconName;       // empty when the icon was given as a number
    DWORD_PTR contextHelpId = 0;
    bool hasCallback = false;
    DWORD languageId = 0;
    // As it appeared on the screen:
    bool shown = false;
    std::wstring shownText, shownCaption;
    HWND shownOwner = nullptr;
    std::vector<int> buttons;    // IDOK, IDCANCEL, IDYES, IDNO present in the box
    bool errorIcon = false;      // the system's error icon is shown
    bool isFolderBrowser = false;         // it holds the shell's folder tree
    std::vector<std::wstring> statics;    // the texts of its static controls
    int pressed = 0;             // the scripted answer pressed (0: left to the test)
};

// Catches the dialogs of one thread of this program. The calls are recorded by
// replacing the program's imports of MessageBoxW and MessageBoxIndirectW; the
// dialogs are read, when they are activated, by a CBT hook on the thread. One
// catcher per thread at a time.
class BoxCatcher {
public:
    // Watches the calling thread from now on and answers each dialog as it
    // comes up with the next of `answers` (IDCANCEL when none is left).
    explicit BoxCatcher(std::vector<int> answers);
    // Watches the thread that calls Watch(); its dialogs stay open.
    BoxCatcher();
    // Stops watching (call it on the watched thread, or after Unwatch there).
    ~BoxCatcher();
    BoxCatcher(const BoxCatcher&) = delete;
    BoxCatcher& operator=(const BoxCatcher&) = delete;

    // Starts and stops watching the calling thread.
    void Watch();
    void Unwatch();

    // Every dialog so far, in the order they were called or came up. Any thread.
    std::vector<CaughtBox> Boxes() const;
    // The next dialog not handed out yet: one that came up, or a message box
    // call that ended without showing a box; false when none comes within
    // `timeoutMs`. Any thread.
    bool Next(CaughtBox* box, DWORD timeoutMs);
    // True when no dialog comes within `ms` (one that comes stays for Next).
    // An absence has no event to wait for: this always waits the whole time.
    bool NoneFor(DWORD ms);

    // Clicks a button of an open dialog (IDOK, IDYES, ...), as the user would.
    static void Press(HWND box, int id);

    struct State;

private:
    State* state_;
};

}  // namespace testsupport
