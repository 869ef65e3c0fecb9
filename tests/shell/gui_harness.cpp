#include "gui_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "shell/main_window.h"
#include "tests/support/win32_helpers.h"

using testsupport::BoxCatcher;
using testsupport::ClassOf;
using testsupport::WaitUntil;

namespace {

std::mutex Lock;
std::condition_variable Changed;
int RightDowns = 0;
std::vector<HWND> RightUpDialogs;  // the top-level windows whose Right-arrow key-ups were taken
std::map<WORD, int> KeyUps;        // key-ups taken from the queue, by virtual key
bool WorkDone = true;

// The window thread's dialogs; made for each run, watched by the window's thread.
std::unique_ptr<BoxCatcher> Dialogs;

HHOOK MessageHook;
HWND Helper;            // test-owned window on the window's thread that runs work items
HWND MainWindowHandle;
HANDLE Thread;
DWORD GuiThreadId;
int ExitCode = -1;
int StartArguments = 0;
HANDLE Ready;

constexpr UINT kRunWork = WM_APP + 7;

// Keys as the window's thread takes them from its queue (in any loop: its
// own, a dialog's, a message box's).
LRESULT CALLBACK OnGetMessage(int code, WPARAM wParam, LPARAM lParam) {
    auto* message = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        bool up = message->message == WM_KEYUP || message->message == WM_SYSKEYUP;
        if (message->message == WM_KEYDOWN && message->wParam == VK_RIGHT &&
            _wcsicmp(ClassOf(message->hwnd).c_str(), L"SysTreeView32") == 0) {
            std::lock_guard<std::mutex> hold(Lock);
            ++RightDowns;
        }
        if (up) {
            HWND root = GetAncestor(message->hwnd, GA_ROOT);
            std::lock_guard<std::mutex> hold(Lock);
            ++KeyUps[static_cast<WORD>(message->wParam)];
            if (message->wParam == VK_RIGHT) RightUpDialogs.push_back(root);
        }
    }
    return CallNextHookEx(MessageHook, code, wParam, lParam);
}

LRESULT CALLBACK HelperProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kRunWork) {
        auto* work = reinterpret_cast<std::function<void()>*>(lParam);
        (*work)();
        delete work;
        std::lock_guard<std::mutex> hold(Lock);
        WorkDone = true;
        Changed.notify_all();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

DWORD WINAPI GuiThread(void*) {
    WNDCLASSW helperClass = {};
    helperClass.lpfnWndProc = HelperProc;
    helperClass.hInstance = GetModuleHandleW(nullptr);
    helperClass.lpszClassName = L"QuimboTestHelper";
    RegisterClassW(&helperClass);
    Helper = CreateWindowW(L"QuimboTestHelper", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, helperClass.hInstance, nullptr);
    Dialogs->Watch();
    MessageHook = SetWindowsHookExW(WH_GETMESSAGE, OnGetMessage, nullptr, GetCurrentThreadId());
    SetEvent(Ready);

    ArgumentCount = StartArguments;
    ExitCode = RunMainWindowLoop();

    HWND window = FindWindowA(kMainClassName, nullptr);
    if (window) DestroyWindow(window);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    UnregisterClassA(kMainClassName, GetModuleHandleW(nullptr));
    if (MainAccelerators) DestroyAcceleratorTable(MainAccelerators);
    MainAccelerators = nullptr;
    Dialogs->Unwatch();
    UnhookWindowsHookEx(MessageHook);
    DestroyWindow(Helper);
    UnregisterClassW(L"QuimboTestHelper", GetModuleHandleW(nullptr));
    TargetFolder[0] = StatusText[0] = ScratchBuffer[0] = 0;
    return 0;
}

int KeyUpsOf(WORD key) {
    std::lock_guard<std::mutex> hold(Lock);
    auto found = KeyUps.find(key);
    return found == KeyUps.end() ? 0 : found->second;
}

}  // namespace

void GuiRun::Start(int arguments) {
    {
        std::lock_guard<std::mutex> hold(Lock);
        RightDowns = 0;
        RightUpDialogs.clear();
        KeyUps.clear();
        WorkDone = true;
    }
    Dialogs.reset(new BoxCatcher());
    StartArguments = arguments;
    ExitCode = -1;
    Ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Thread = CreateThread(nullptr, 0, GuiThread, nullptr, 0, &GuiThreadId);
    // Generous: the first window of a fresh Wine prefix on a busy machine can take seconds.
    if (WaitForSingleObject(Ready, 60000) != WAIT_OBJECT_0) ADD_FAILURE() << "the window's thread did not start";
    CloseHandle(Ready);
    MainWindowHandle = nullptr;
    bool up = WaitUntil(
        [] {
            HWND window = FindWindowA(kMainClassName, nullptr);
            if (window && IsWindowVisible(window) && GetMenu(window)) MainWindowHandle = window;
            return MainWindowHandle != nullptr;
        },
        30000);
    if (!up) ADD_FAILURE() << "the main window did not come up within 30 s";
    window_ = MainWindowHandle;
    threadId_ = GuiThreadId;
    // In front, as a program the user starts is: input that the window makes
    // for itself (the folder browser's nudge) goes to the foreground window.
    if (window_) {
        SetForegroundWindow(window_);
        HWND window = window_;
        bool front = WaitUntil(
            [window] {
                HWND foreground = GetForegroundWindow();
                return foreground == window || GetWindow(foreground, GW_OWNER) == window;  // or its browser
            },
            2000);
        if (!front) ADD_FAILURE() << "the main window did not come to the front";
    }
    Settle();
}

bool GuiRun::Running() const { return Thread && WaitForSingleObject(Thread, 0) == WAIT_TIMEOUT; }

int GuiRun::WaitExit(DWORD timeoutMs) {
    if (!Thread) return ExitCode;
    if (WaitForSingleObject(Thread, timeoutMs) != WAIT_OBJECT_0) return -1;
    CloseHandle(Thread);
    Thread = nullptr;
    return ExitCode;
}

int GuiRun::Stop() {
    if (!Thread) return ExitCode;
    if (Running() && window_) PostMessageW(window_, WM_CLOSE, 0, 0);
    return WaitExit(15000);
}

bool GuiRun::NextDialog(CaughtBox* dialog, DWORD timeoutMs) { return Dialogs->Next(dialog, timeoutMs); }

bool GuiRun::NoDialogFor(DWORD ms) { return Dialogs->NoneFor(ms); }

void GuiRun::Press(HWND box, int id) { BoxCatcher::Press(box, id); }

bool GuiRun::WaitClosed(HWND dialog, DWORD timeoutMs) {
    bool gone = WaitUntil([dialog] { return !IsWindow(dialog); }, timeoutMs);
    Settle();
    return gone;
}

void GuiRun::RunOnWindowThread(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> hold(Lock);
        WorkDone = false;
    }
    PostMessageW(Helper, kRunWork, 0, reinterpret_cast<LPARAM>(new std::function<void()>(std::move(work))));
}

bool GuiRun::WaitWork(DWORD timeoutMs) {
    std::unique_lock<std::mutex> hold(Lock);
    return Changed.wait_for(hold, std::chrono::milliseconds(timeoutMs), [] { return WorkDone; });
}

// A posted work item runs after everything posted before it.
void GuiRun::Settle() {
    if (!Running()) return;
    RunOnWindowThread([] {});
    if (!WaitWork(5000) && Running()) ADD_FAILURE() << "the window's thread did not settle within 5 s";
}

void GuiRun::PaintNow() {
    HWND window = window_;
    RunOnWindowThread([window] { UpdateWindow(window); });
    if (!WaitWork(5000)) ADD_FAILURE() << "the window did not paint within 5 s";
}

int GuiRun::TreeRightArrowDowns() const {
    std::lock_guard<std::mutex> hold(Lock);
    return RightDowns;
}

bool GuiRun::WaitNudge(HWND dialog, DWORD timeoutMs) {
    bool taken = WaitUntil(
        [dialog] {
            std::lock_guard<std::mutex> hold(Lock);
            return std::find(RightUpDialogs.begin(), RightUpDialogs.end(), dialog) != RightUpDialogs.end();
        },
        timeoutMs);
    Settle();
    return taken;
}

void PressKeys(HWND foreground, std::initializer_list<WORD> keys) {
    if (foreground) {
        SetForegroundWindow(foreground);
        if (!WaitUntil([foreground] { return GetForegroundWindow() == foreground; }, 2000))
            ADD_FAILURE() << "the window did not come to the front for the keys";
    }
    std::map<WORD, int> before;
    for (WORD key : keys) before[key] = KeyUpsOf(key);
    std::vector<INPUT> inputs;
    for (WORD key : keys) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, 0));
        inputs.push_back(input);
    }
    for (auto it = keys.end(); it != keys.begin();) {
        --it;
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = *it;
        input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(*it, 0));
        input.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    bool taken = WaitUntil(
        [&] {
            if (foreground && !IsWindow(foreground)) return true;  // a key closed it
            for (WORD key : keys)
                if (KeyUpsOf(key) <= before[key]) return false;
            return true;
        },
        5000);
    if (!taken) ADD_FAILURE() << "the window's thread did not take the keys within 5 s";
}

static Capture CaptureFrom(HDC source, int x, int y, int width, int height) {
    Capture capture;
    capture.width = width;
    capture.height = height;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(source);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
    GdiFlush();
    const DWORD* p = static_cast<const DWORD*>(bits);
    capture.pixels.assign(p, p + static_cast<size_t>(width) * height);
    for (DWORD& pixel : capture.pixels) pixel &= 0xFFFFFF;
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(bitmap);
    return capture;
}

Capture CaptureClient(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    HDC dc = GetDC(window);
    Capture capture = CaptureFrom(dc, 0, 0, client.right, client.bottom);
    ReleaseDC(window, dc);
    return capture;
}

Capture CaptureScreenRect(const RECT& rect) {
    HDC dc = GetDC(nullptr);
    Capture capture = CaptureFrom(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    ReleaseDC(nullptr, dc);
    return capture;
}

bool SaveBmp(const Capture& capture, const std::wstring& path) {
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER header = {};
    DWORD bytes = static_cast<DWORD>(capture.pixels.size() * 4);
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + bytes;
    header.biSize = sizeof(header);
    header.biWidth = capture.width;
    header.biHeight = -capture.height;
    header.biPlanes = 1;
    header.biBitCount = 32;
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return false;
    DWORD written;
    bool ok = WriteFile(out, &file, sizeof(file), &written, nullptr) && WriteFile(out, &header, sizeof(header), &written, nullptr) &&
              WriteFile(out, capture.pixels.data(), bytes, &written, nullptr);
    CloseHandle(out);
    return ok;
}

// ---- Font counter: the test executable's own imports of CreateFontA and DeleteObject ----

namespace {
std::mutex FontLock;
std::set<HGDIOBJ> LiveFonts;
long CreatedTotal = 0;
decltype(&CreateFontA) RealCreateFontA;
decltype(&DeleteObject) RealDeleteObject;

HFONT WINAPI CountingCreateFontA(int h, int w, int e, int o, int weight, DWORD i, DWORD u, DWORD s, DWORD cs, DWORD op,
                                 DWORD cp, DWORD q, DWORD pf, LPCSTR face) {
    HFONT font = RealCreateFontA(h, w, e, o, weight, i, u, s, cs, op, cp, q, pf, face);
    std::lock_guard<std::mutex> hold(FontLock);
    if (font) LiveFonts.insert(font);
    ++CreatedTotal;
    return font;
}

BOOL WINAPI CountingDeleteObject(HGDIOBJ object) {
    {
        std::lock_guard<std::mutex> hold(FontLock);
        LiveFonts.erase(object);
    }
    return RealDeleteObject(object);
}
}  // namespace

void InstallFontCounter() {
    if (RealCreateFontA) return;
    RealCreateFontA = reinterpret_cast<decltype(&CreateFontA)>(
        testsupport::PatchImport("gdi32.dll", "CreateFontA", reinterpret_cast<void*>(CountingCreateFontA)));
    RealDeleteObject = reinterpret_cast<decltype(&DeleteObject)>(
        testsupport::PatchImport("gdi32.dll", "DeleteObject", reinterpret_cast<void*>(CountingDeleteObject)));
    EXPECT_NE(RealCreateFontA, nullptr) << "the test program does not import CreateFontA";
    EXPECT_NE(RealDeleteObject, nullptr) << "the test program does not import DeleteObject";
    if (!RealCreateFontA) RealCreateFontA = &CreateFontA;
    if (!RealDeleteObject) RealDeleteObject = &DeleteObject;
}

long LiveFontsCreated() {
    std::lock_guard<std::mutex> hold(FontLock);
    return static_cast<long>(LiveFonts.size());
}

long FontsCreatedTotal() {
    std::lock_guard<std::mutex> hold(FontLock);
    return CreatedTotal;
}
