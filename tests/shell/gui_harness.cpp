#include "gui_harness.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>

#include "shell/main_window.h"

namespace {

std::mutex Lock;
std::condition_variable Changed;
std::deque<SeenDialog> Dialogs;
std::set<HWND> Reported;
std::map<HWND, SeenDialog> BoxParams;  // filled at WM_INITDIALOG, read at activation
int RightDowns = 0;
bool WorkDone = true;

HHOOK CbtHook, CallHook, MessageHook;
HWND Helper;            // test-owned window on the window's thread that runs work items
HWND MainWindowHandle;
HANDLE Thread;
DWORD GuiThreadId;
int ExitCode = -1;
int StartArguments = 0;
HANDLE Ready;

constexpr UINT kRunWork = WM_APP + 7;

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring TextOf(HWND window) {
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(GetWindowTextW(window, text.data(), length + 1));
    return text;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM data) {
    auto* dialog = reinterpret_cast<SeenDialog*>(data);
    std::wstring cls = ClassOf(child);
    if (_wcsicmp(cls.c_str(), L"SysTreeView32") == 0) dialog->isFolderBrowser = true;
    if (_wcsicmp(cls.c_str(), L"Static") == 0) {
        std::wstring text = TextOf(child);
        if (!text.empty()) dialog->statics.push_back(text);
    }
    return TRUE;
}

LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wParam);
        if (ClassOf(box) == L"#32770") {
            std::lock_guard<std::mutex> hold(Lock);
            if (!Reported.count(box)) {
                Reported.insert(box);
                SeenDialog dialog;
                auto found = BoxParams.find(box);
                if (found != BoxParams.end()) dialog = found->second;
                dialog.box = box;
                dialog.caption = TextOf(box);
                dialog.owner = GetWindow(box, GW_OWNER);
                EnumChildWindows(box, CollectChild, reinterpret_cast<LPARAM>(&dialog));
                Dialogs.push_back(dialog);
                Changed.notify_all();
            }
        }
    }
    return CallNextHookEx(CbtHook, code, wParam, lParam);
}

// A message box hands its own parameter record to its dialog at WM_INITDIALOG.
LRESULT CALLBACK OnCall(int code, WPARAM wParam, LPARAM lParam) {
    auto* call = reinterpret_cast<CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_INITDIALOG && call->lParam && ClassOf(call->hwnd) == L"#32770") {
        auto* params = reinterpret_cast<const MSGBOXPARAMSW*>(call->lParam);
        if (!IsBadReadPtr(params, sizeof(*params)) && params->cbSize == sizeof(MSGBOXPARAMSW)) {
            SeenDialog dialog;
            dialog.isMessageBox = true;
            dialog.text = params->lpszText ? params->lpszText : L"";
            dialog.style = params->dwStyle;
            dialog.instance = params->hInstance;
            if (params->lpszIcon && !IS_INTRESOURCE(params->lpszIcon)) dialog.iconName = params->lpszIcon;
            dialog.helpId = static_cast<DWORD>(params->dwContextHelpId);
            std::lock_guard<std::mutex> hold(Lock);
            BoxParams[call->hwnd] = dialog;
        }
    }
    return CallNextHookEx(CallHook, code, wParam, lParam);
}

LRESULT CALLBACK OnGetMessage(int code, WPARAM wParam, LPARAM lParam) {
    auto* message = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && message->message == WM_KEYDOWN && message->wParam == VK_RIGHT &&
        _wcsicmp(ClassOf(message->hwnd).c_str(), L"SysTreeView32") == 0) {
        std::lock_guard<std::mutex> hold(Lock);
        ++RightDowns;
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
    CbtHook = SetWindowsHookExW(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
    CallHook = SetWindowsHookExW(WH_CALLWNDPROC, OnCall, nullptr, GetCurrentThreadId());
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
    UnhookWindowsHookEx(CbtHook);
    UnhookWindowsHookEx(CallHook);
    UnhookWindowsHookEx(MessageHook);
    DestroyWindow(Helper);
    UnregisterClassW(L"QuimboTestHelper", GetModuleHandleW(nullptr));
    TargetFolder[0] = StatusText[0] = ScratchBuffer[0] = 0;
    return 0;
}

}  // namespace

void GuiRun::Start(int arguments) {
    {
        std::lock_guard<std::mutex> hold(Lock);
        Dialogs.clear();
        Reported.clear();
        BoxParams.clear();
        RightDowns = 0;
        WorkDone = true;
    }
    StartArguments = arguments;
    ExitCode = -1;
    Ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Thread = CreateThread(nullptr, 0, GuiThread, nullptr, 0, &GuiThreadId);
    WaitForSingleObject(Ready, 10000);
    CloseHandle(Ready);
    MainWindowHandle = nullptr;
    for (int i = 0; i < 500 && !MainWindowHandle; ++i) {
        HWND window = FindWindowA(kMainClassName, nullptr);
        if (window && IsWindowVisible(window) && GetMenu(window)) MainWindowHandle = window;
        else Sleep(10);
    }
    window_ = MainWindowHandle;
    threadId_ = GuiThreadId;
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

bool GuiRun::NextDialog(SeenDialog* dialog, DWORD timeoutMs) {
    std::unique_lock<std::mutex> hold(Lock);
    if (!Changed.wait_for(hold, std::chrono::milliseconds(timeoutMs), [] { return !Dialogs.empty(); })) return false;
    *dialog = Dialogs.front();
    Dialogs.pop_front();
    return true;
}

bool GuiRun::NoDialogFor(DWORD ms) {
    SeenDialog dialog;
    if (!NextDialog(&dialog, ms)) return true;
    std::lock_guard<std::mutex> hold(Lock);
    Dialogs.push_front(dialog);
    return false;
}

void GuiRun::Press(HWND box, int id) { PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id))); }

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
    WaitWork(5000);
}

int GuiRun::TreeRightArrowDowns() const {
    std::lock_guard<std::mutex> hold(Lock);
    return RightDowns;
}

void PressKeys(HWND foreground, std::initializer_list<WORD> keys) {
    if (foreground) {
        SetForegroundWindow(foreground);
        Sleep(50);
    }
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
    Sleep(100);
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

void PatchImport(const char* dll, void* real, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    auto& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress); import->Name; ++import) {
        if (_stricmp(reinterpret_cast<char*>(base + import->Name), dll) != 0) continue;
        for (auto* thunk = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk); thunk->u1.Function; ++thunk) {
            if (reinterpret_cast<void*>(thunk->u1.Function) != real) continue;
            DWORD old;
            VirtualProtect(&thunk->u1.Function, sizeof(void*), PAGE_READWRITE, &old);
            thunk->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&thunk->u1.Function, sizeof(void*), old, &old);
        }
    }
}
}  // namespace

void InstallFontCounter() {
    if (RealCreateFontA) return;
    HMODULE gdi = GetModuleHandleW(L"gdi32.dll");
    RealCreateFontA = reinterpret_cast<decltype(&CreateFontA)>(GetProcAddress(gdi, "CreateFontA"));
    RealDeleteObject = reinterpret_cast<decltype(&DeleteObject)>(GetProcAddress(gdi, "DeleteObject"));
    PatchImport("gdi32.dll", reinterpret_cast<void*>(RealCreateFontA), reinterpret_cast<void*>(CountingCreateFontA));
    PatchImport("gdi32.dll", reinterpret_cast<void*>(RealDeleteObject), reinterpret_cast<void*>(CountingDeleteObject));
}

long LiveFontsCreated() {
    std::lock_guard<std::mutex> hold(FontLock);
    return static_cast<long>(LiveFonts.size());
}

long FontsCreatedTotal() {
    std::lock_guard<std::mutex> hold(FontLock);
    return CreatedTotal;
}
