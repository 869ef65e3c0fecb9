// Runs the real main window on a thread of the test process and watches it
// from the test's own thread: dialogs are caught with a CBT hook on the
// window's thread, keys arrive as real input, pixels are read back from the
// window's surface.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// One dialog as it came up on the window's thread.
struct SeenDialog {
    HWND box = nullptr;
    HWND owner = nullptr;
    std::wstring caption;
    bool isMessageBox = false;  // the box's own parameters were seen
    std::wstring text;          // message box text
    UINT style = 0;             // message box style
    HINSTANCE instance = nullptr;
    std::wstring iconName;      // MB_USERICON: the icon's resource name
    DWORD helpId = 0;
    bool isFolderBrowser = false;  // holds the shell's folder tree
    std::vector<std::wstring> statics;  // texts of its static controls
};

// The window under test; start with Start(), stop with Stop().
class GuiRun {
public:
    // Starts RunMainWindowLoop on a new thread with `arguments` as the count of
    // command-line arguments and waits for the visible window.
    void Start(int arguments = 0);
    // Closes the window (when still running), waits for the loop to end and
    // tears the window down on its thread. Returns the loop's exit code.
    int Stop();
    // Waits for the loop to end by itself; the exit code, or -1 on timeout.
    int WaitExit(DWORD timeoutMs = 5000);
    bool Running() const;

    HWND Window() const { return window_; }
    DWORD ThreadId() const { return threadId_; }

    // Next dialog shown since the last call; false on timeout.
    bool NextDialog(SeenDialog* dialog, DWORD timeoutMs = 8000);
    // True when no dialog comes up within `ms`.
    bool NoDialogFor(DWORD ms);
    // Clicks a button of a dialog (IDOK, IDYES, ...).
    static void Press(HWND box, int id);

    // Runs `work` on the window's thread from inside its message loop and
    // returns at once; WaitWork waits for it to finish.
    void RunOnWindowThread(std::function<void()> work);
    bool WaitWork(DWORD timeoutMs = 8000);

    // Lets the window's thread process everything queued so far.
    void Settle();

    // Right-arrow key downs that a folder tree received while this run lasted.
    int TreeRightArrowDowns() const;

private:
    HWND window_ = nullptr;
    DWORD threadId_ = 0;
};

// Real keyboard input: presses the keys in order, then releases them in reverse.
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
