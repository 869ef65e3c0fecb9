// Runs the real main window on a thread of the test process and watches it
// from the test's own thread: its dialogs are caught by the test support's
// BoxCatcher on the window's thread, keys arrive as real input, pixels are
// read back from the window's surface.
#pragma once

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "tests/support/box_catcher.h"

using testsupport::CaughtBox;

// The window under test; start with Start(), stop with Stop().
class GuiRun {
public:
    // Starts RunMainWindowLoop on a new thread with `arguments` as the count of
    // command-line arguments and waits for the visible window (a test failure
    // when it does not come).
    void Start(int arguments = 0);
    // Closes the window (when still running), waits for the loop to end and
    // tears the window down on its thread. Returns the loop's exit code.
    int Stop();
    // Waits for the loop to end by itself; the exit code, or -1 on timeout.
    int WaitExit(DWORD timeoutMs = 5000);
    bool Running() const;

    HWND Window() const { return window_; }
    DWORD ThreadId() const { return threadId_; }

    // Next dialog shown since the last call (left open); false on timeout.
    bool NextDialog(CaughtBox* dialog, DWORD timeoutMs = 8000);
    // True when no dialog comes up within `ms`: waits the whole time.
    bool NoDialogFor(DWORD ms);
    // Clicks a button of a dialog (IDOK, IDYES, ...).
    static void Press(HWND box, int id);
    // Waits until `dialog` is gone and the window's thread has handled what
    // followed its end; false when it is still there after `timeoutMs`.
    bool WaitClosed(HWND dialog, DWORD timeoutMs = 5000);

    // Runs `work` on the window's thread from inside its message loop and
    // returns at once; WaitWork waits for it to finish.
    void RunOnWindowThread(std::function<void()> work);
    bool WaitWork(DWORD timeoutMs = 8000);

    // Lets the window's thread process everything queued so far (a test
    // failure when it does not within 5 s).
    void Settle();
    // Has the window paint what is invalid now, on its thread, and waits for it.
    void PaintNow();

    // Right-arrow key downs that a folder tree received while this run lasted.
    int TreeRightArrowDowns() const;
    // Waits until the Right-arrow key that a folder browser sends its tree when
    // it comes up has been handled inside `dialog` (its key-up taken from the
    // queue, and the thread settled after it); false after `timeoutMs`.
    bool WaitNudge(HWND dialog, DWORD timeoutMs = 5000);

private:
    HWND window_ = nullptr;
    DWORD threadId_ = 0;
};

// Real keyboard input to the window under test: brings `foreground` to the
// front, presses the keys in order, then releases them in reverse, and waits
// until the window's thread has taken every key-up from its queue (so the key
// downs before them have been handled), or the window is gone. A test failure
// when the keys do not arrive.
void PressKeys(HWND foreground, std::initializer_list<WORD> keys);

// A 32-bit top-down capture of the window's client area.
struct Capture {
    int width = 0, height = 0;
    std::vector<DWORD> pixels;  // 0x00RRGGBB
    DWORD At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
Capture CaptureClient(HWND window);
// The window with its frame and menu, as the screen shows it.
Capture CaptureScreenRect(const RECT& rect);
bool SaveBmp(const Capture& capture, const std::wstring& path);

constexpr DWORD Rgb(int r, int g, int b) { return (DWORD(r) << 16) | (DWORD(g) << 8) | DWORD(b); }

// Counts of fonts that the test executable's code creates and deletes
// (CreateFontA / DeleteObject as imported by this module).
void InstallFontCounter();
long LiveFontsCreated();
long FontsCreatedTotal();
