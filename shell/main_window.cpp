// Start-up and the window procedure: every command runs to completion here,
// on the program's one thread.
#include "main_window.h"

#include <shellapi.h>

#include "../common/common.h"
#include "../gallery/build.h"
#include "../gallery/listing.h"
#include "icon_message.h"
#include "shell_texts.h"

int ArgumentCount = 0;
HACCEL MainAccelerators = nullptr;

const wchar_t kRegistryKey[] = L"SOFTWARE\\Tervaldo\\Quimbo";
const wchar_t kRegistryValue[] = L"SourceFolder";

// ---- Target folder -----------------------------------------------------------------------

bool SetTargetFolder(const wchar_t* folder, size_t length) {
    WideBuf target(TargetFolder);
    target.Append(folder, length);
    if (length == 0 || folder[length - 1] != L'\\') target.Append(L'\\');
    if (target.overflow) {
        target.Clear();
        return false;
    }
    return true;
}

void SetTargetToCurrentDirectory() {
    wchar_t directory[kStatusTextCapacity];
    DWORD length = GetCurrentDirectoryW(kStatusTextCapacity, directory);
    // A directory too long for the buffer comes back as the size it needs, with nothing copied.
    if (length == 0 || length >= kStatusTextCapacity) {
        TargetFolder[0] = 0;
        return;
    }
    SetTargetFolder(directory, length);
}

// ---- Message handlers --------------------------------------------------------------------

static void OnCreate(HWND window) {
    if (ArgumentCount > 0) {
        PostMessageA(window, WM_COMMAND, CMD_NEW_GALLERY, 0);
    } else {
        RegistryReadString(HKEY_CURRENT_USER, kRegistryKey, kRegistryValue, ScratchBuffer);
        if (ScratchBuffer[0] > 32) {
            WideBuf target(TargetFolder);
            target.AppendZ(ScratchBuffer);  // at most 1025 units: always fits
        } else {
            SetTargetToCurrentDirectory();
        }
    }
    UpdateStatusText(window);
}

// A warning box owned by the window: the message, two CRs and the folder.
static void ShowFolderWarning(HWND window, const wchar_t* message, const wchar_t* folder) {
    wchar_t storage[kStatusTextCapacity + 128];
    WideBuf text(storage);
    text.AppendZ(message);
    text.AppendZ(L"\r\r");
    text.AppendZ(folder);
    MessageBoxW(window, storage, Pick(kErrorCaption), MB_ICONWARNING);
}

static void OnNewGallery(HWND window) {
    if (!BrowseTargetFolder(window, ScratchBuffer, Pick(kBrowseTitle))) return;
    wchar_t folder[kFolderCapacity];
    if (!FolderOfPath(ScratchBuffer, folder)) return;
    SetTargetFolder(folder, TextLength(folder));
    if (TargetFolder[0] && FolderHasImages(TargetFolder)) {
        InvalidateRgn(window, nullptr, TRUE);
        RegistryWriteString(HKEY_CURRENT_USER, kRegistryKey, kRegistryValue, TargetFolder);
        UpdateStatusText(window);
        BuildGallery(window, TargetFolder);
        return;
    }
    ShowFolderWarning(window, Pick(kNoImagesText), TargetFolder);
    SetTargetToCurrentDirectory();
    UpdateStatusText(window);
}

static void OnRunGallery(HWND window) {
    WideBuf page(ScratchBuffer);
    page.AppendZ(TargetFolder);
    page.AppendZ(kPageName);
    // A page path too long for the buffer cannot name an existing page.
    if (!page.overflow && PathExists(ScratchBuffer)) {
        ShellExecuteW(window, L"open", ScratchBuffer, nullptr, nullptr, SW_SHOWNORMAL);
        return;
    }
    ShowFolderWarning(window, Pick(kNoPageText), TargetFolder);
}

static void OnAbout(HWND window) { ShowIconMessage(window, AboutText(), kAboutCaption, L"I", MB_USERICON); }

static void OnCommand(HWND window, unsigned command) {
    switch (command) {
        case CMD_NEW_GALLERY: OnNewGallery(window); break;
        case CMD_RUN_GALLERY: OnRunGallery(window); break;
        case CMD_EXIT: SendMessageA(window, WM_CLOSE, 0, 0); break;
        case CMD_ABOUT: OnAbout(window); break;
        default: break;
    }
}

// The first dropped item sets the target folder; nothing is built. A name
// longer than the buffer is not used at all (a cut name would be another path).
static void OnDropFiles(HWND window, HDROP drop) {
    UINT needed = DragQueryFileW(drop, 0, nullptr, 0);
    if (needed > 0 && needed < kStatusTextCapacity &&
        DragQueryFileW(drop, 0, ScratchBuffer, kStatusTextCapacity) > 0) {
        wchar_t folder[kFolderCapacity];
        if (FolderOfPath(ScratchBuffer, folder)) {
            SetTargetFolder(folder, TextLength(folder));
            UpdateStatusText(window);
        }
    }
    DragFinish(drop);  // the drop's memory is ours to release
}

static void OnHelp(HWND window) {
    InvalidateRgn(window, nullptr, TRUE);
    SendMessageA(window, WM_COMMAND, CMD_ABOUT, 0);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: OnCreate(window); return 0;
        case WM_DESTROY: PostQuitMessage(0); return 0;
        case WM_PAINT: PaintMainWindow(window); return 0;
        case WM_CLOSE: PostQuitMessage(0); return 0;
        case WM_HELP: OnHelp(window); return 0;
        case WM_COMMAND: OnCommand(window, LOWORD(wParam)); return 0;
        case WM_DROPFILES: OnDropFiles(window, reinterpret_cast<HDROP>(wParam)); return 0;
        default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

const wchar_t* AboutText() { return Pick(kAboutText); }

// ---- Start-up ----------------------------------------------------------------------------

static void BuildMenu(HWND window) {
    HMENU bar = CreateMenu();
    HMENU file = CreateMenu();
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), Pick(kMenuFile));
    AppendMenuA(file, MF_STRING, CMD_NEW_GALLERY, Pick(kMenuNewGallery));
    AppendMenuA(file, MF_STRING, CMD_RUN_GALLERY, Pick(kMenuRunGallery));
    AppendMenuA(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(file, MF_STRING, CMD_EXIT, Pick(kMenuExit));
    AppendMenuA(bar, MF_STRING, CMD_ABOUT, kMenuAbout);
    SetMenu(window, bar);
}

int RunMainWindowLoop() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, "I");
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(DKGRAY_BRUSH));
    windowClass.lpszClassName = kMainClassName;
    if (!RegisterClassExA(&windowClass)) return 255;

    ACCEL keys[3] = {
        {FVIRTKEY | FCONTROL, 'N', CMD_NEW_GALLERY},
        {FVIRTKEY | FCONTROL, 'R', CMD_RUN_GALLERY},
        {FVIRTKEY | FALT, 'X', CMD_EXIT},
    };
    MainAccelerators = CreateAcceleratorTableA(keys, 3);

    HWND window = CreateWindowExW(WS_EX_ACCEPTFILES, L"QuimboClass", kWindowTitle, WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 480, 320, nullptr, nullptr, instance, nullptr);

    DeleteMenu(GetSystemMenu(window, FALSE), SC_MAXIMIZE, MF_BYCOMMAND);
    DeleteMenu(GetSystemMenu(window, FALSE), SC_SIZE, MF_BYCOMMAND);
    BuildMenu(window);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0)) {
        if (!TranslateAcceleratorW(window, MainAccelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}

void RunMainWindow() { ExitProcess(static_cast<UINT>(RunMainWindowLoop())); }
