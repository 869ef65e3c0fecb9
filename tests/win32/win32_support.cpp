#include "win32_support.h"

#include <ostream>

namespace w32test {

// ---- Folders and files ---------------------------------------------------------------------

TempFolder::TempFolder() {
    static int counter = 0;
    wchar_t temp[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    std::wstring base(temp, n);
    if (base.empty() || base.back() != L'\\') base += L'\\';
    for (;;) {
        path_ = base + L"qw32-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
        if (CreateDirectoryW(path_.c_str(), nullptr)) break;
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    path_ += L'\\';
}

TempFolder::~TempFolder() { RemoveTree(path_.substr(0, path_.size() - 1)); }

void MakeFile(const std::wstring& path, const std::string& bytes, DWORD attributes) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    if (!bytes.empty()) WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    if (attributes) SetFileAttributesW(path.c_str(), attributes);
}

void MakeFolder(const std::wstring& path) { CreateDirectoryW(path.c_str(), nullptr); }

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring full = path + L"\\" + name;
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full);
            else
                DeleteFileW(full.c_str());
        } while (FindNextFileW(search, &data));
        FindClose(search);
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(path.c_str());
}

std::string ReadBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes;
    char block[65536];
    DWORD got = 0;
    while (ReadFile(file, block, sizeof(block), &got, nullptr) && got > 0) bytes.append(block, got);
    CloseHandle(file);
    return bytes;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

// ---- Page entries --------------------------------------------------------------------------

std::ostream& operator<<(std::ostream& out, const Entry& entry) {
    return out << "{" << entry.id << " src=" << entry.src << " alt=" << entry.alt << " caption=" << entry.caption << "}";
}

static std::string Between(const std::string& line, const std::string& before, const std::string& after) {
    size_t start = line.find(before);
    if (start == std::string::npos) return "?";
    start += before.size();
    size_t end = line.find(after, start);
    return end == std::string::npos ? "?" : line.substr(start, end - start);
}

std::vector<Entry> ParseEntries(const std::string& page) {
    std::vector<Entry> entries;
    const std::string open = "<figure>\r\n";
    for (size_t at = page.find(open); at != std::string::npos; at = page.find(open, at + 1)) {
        size_t close = page.find("</figure>\r\n\r\n", at);
        Entry entry{"?", "?", "?", "?"};
        if (close != std::string::npos) {
            std::string block = page.substr(at + open.size(), close - at - open.size());
            size_t lineEnd = block.find("\r\n");
            if (lineEnd != std::string::npos && block.size() >= lineEnd + 2) {
                std::string img = block.substr(0, lineEnd);
                std::string caption = block.substr(lineEnd + 2);
                if (caption.size() >= 2 && caption.compare(caption.size() - 2, 2, "\r\n") == 0 &&
                    caption.find("\r\n") == caption.size() - 2) {
                    caption.resize(caption.size() - 2);
                    entry.id = Between(img, " <img id=\"", "\"");
                    entry.src = Between(img, " src=\"", "\"");
                    entry.alt = Between(img, " alt=\"", "\"");
                    entry.caption = Between(caption, " <figcaption onclick=\"toggleDim()\" title=\"[I]nfo&hellip;\">",
                                            "</figcaption>");
                }
            }
        }
        entries.push_back(entry);
    }
    return entries;
}

Entry PlainEntry(int number, const std::string& name) {
    char id[16];
    snprintf(id, sizeof(id), "%03d", number);
    return Entry{id, name, name, name};
}

// ---- Message boxes -------------------------------------------------------------------------

namespace {

using MessageBoxWFn = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT);
using MessageBoxIndirectWFn = int(WINAPI*)(const MSGBOXPARAMSW*);

MessageBoxWFn RealMessageBoxW = nullptr;
MessageBoxIndirectWFn RealMessageBoxIndirectW = nullptr;

struct CatcherState {
    bool active = false;
    HHOOK hook = nullptr;
    std::vector<int> answers;
    size_t nextAnswer = 0;
    std::vector<CaughtBox> boxes;
    std::vector<HWND> seen;
};
CatcherState Catcher;

// Replaces the entry of `function` (imported from user32) in this program's
// import table; returns the old one, or null when it is not imported.
void* PatchImport(const char* function, void* replacement) {
    auto* base = reinterpret_cast<unsigned char*>(GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress) return nullptr;
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name; ++imp) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + imp->Name), "user32.dll") != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + (imp->OriginalFirstThunk ? imp->OriginalFirstThunk : imp->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (lstrcmpA(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
            DWORD old = 0;
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &old);
            void* previous = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), old, &old);
            return previous;
        }
    }
    return nullptr;
}

int WINAPI RecordMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
    if (Catcher.active) {
        CaughtBox box;
        box.owner = owner;
        box.text = text ? text : L"";
        box.caption = caption ? caption : L"";
        box.style = style;
        Catcher.boxes.push_back(box);
    }
    return RealMessageBoxW(owner, text, caption, style);
}

int WINAPI RecordMessageBoxIndirectW(const MSGBOXPARAMSW* params) {
    if (Catcher.active) {
        CaughtBox box;
        box.indirect = true;
        box.owner = params->hwndOwner;
        box.text = params->lpszText ? params->lpszText : L"";
        box.caption = params->lpszCaption ? params->lpszCaption : L"";
        box.style = params->dwStyle;
        box.recordSize = params->cbSize;
        box.instance = params->hInstance;
        if (params->lpszIcon && !IS_INTRESOURCE(params->lpszIcon)) box.iconName = params->lpszIcon;
        box.contextHelpId = params->dwContextHelpId;
        box.hasCallback = params->lpfnMsgBoxCallback != nullptr;
        box.languageId = params->dwLanguageId;
        Catcher.boxes.push_back(box);
    }
    return RealMessageBoxIndirectW(params);
}

void InstallImportPatches() {
    if (RealMessageBoxW) return;
    RealMessageBoxW = reinterpret_cast<MessageBoxWFn>(PatchImport("MessageBoxW", reinterpret_cast<void*>(&RecordMessageBoxW)));
    RealMessageBoxIndirectW = reinterpret_cast<MessageBoxIndirectWFn>(
        PatchImport("MessageBoxIndirectW", reinterpret_cast<void*>(&RecordMessageBoxIndirectW)));
    if (!RealMessageBoxW) RealMessageBoxW = &MessageBoxW;
    if (!RealMessageBoxIndirectW) RealMessageBoxIndirectW = &MessageBoxIndirectW;
}

std::wstring WindowText(HWND window) {
    wchar_t text[4096];
    int n = GetWindowTextW(window, text, 4096);
    return std::wstring(text, n > 0 ? n : 0);
}

BOOL CALLBACK FindErrorIcon(HWND child, LPARAM found) {
    wchar_t cls[32];
    GetClassNameW(child, cls, 32);
    if (lstrcmpiW(cls, L"Static") == 0 && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        HICON shown = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
        if (shown && shown == LoadIconW(nullptr, IDI_ERROR)) *reinterpret_cast<bool*>(found) = true;
    }
    return TRUE;
}

LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wParam);
        wchar_t cls[32];
        GetClassNameW(box, cls, 32);
        bool known = false;
        for (HWND seen : Catcher.seen) known = known || seen == box;
        if (!known && lstrcmpW(cls, L"#32770") == 0) {
            Catcher.seen.push_back(box);
            if (Catcher.boxes.empty() || Catcher.boxes.back().shown) Catcher.boxes.push_back(CaughtBox{});
            CaughtBox& caught = Catcher.boxes.back();
            caught.shown = true;
            caught.shownCaption = WindowText(box);
            caught.shownText = WindowText(GetDlgItem(box, 0xFFFF));
            caught.shownOwner = GetWindow(box, GW_OWNER);
            for (int id : {IDOK, IDCANCEL, IDYES, IDNO})
                if (GetDlgItem(box, id)) caught.buttons.push_back(id);
            EnumChildWindows(box, FindErrorIcon, reinterpret_cast<LPARAM>(&caught.errorIcon));
            int answer = Catcher.nextAnswer < Catcher.answers.size() ? Catcher.answers[Catcher.nextAnswer++] : IDCANCEL;
            caught.pressed = answer;
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, answer)));
        }
    }
    return CallNextHookEx(Catcher.hook, code, wParam, lParam);
}

}  // namespace

BoxCatcher::BoxCatcher(std::vector<int> answers) {
    InstallImportPatches();
    Catcher = CatcherState{};
    Catcher.active = true;
    Catcher.answers = std::move(answers);
    Catcher.hook = SetWindowsHookExW(WH_CBT, CbtHook, nullptr, GetCurrentThreadId());
}

BoxCatcher::~BoxCatcher() {
    if (Catcher.hook) UnhookWindowsHookEx(Catcher.hook);
    Catcher.hook = nullptr;
    Catcher.active = false;
}

const std::vector<CaughtBox>& BoxCatcher::Boxes() const { return Catcher.boxes; }

// ---- Test window ---------------------------------------------------------------------------

namespace {

std::vector<WPARAM> RecordedCommands;
std::vector<LPARAM> RecordedParams;

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) {
        RecordedCommands.push_back(wParam);
        RecordedParams.push_back(lParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

TestWindow::TestWindow() {
    static ATOM registered = 0;
    if (!registered) {
        WNDCLASSW cls = {};
        cls.lpfnWndProc = TestWindowProc;
        cls.hInstance = GetModuleHandleW(nullptr);
        cls.lpszClassName = L"QuimboTestWindow";
        cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        registered = RegisterClassW(&cls);
    }
    RecordedCommands.clear();
    RecordedParams.clear();
    window_ = CreateWindowExW(0, L"QuimboTestWindow", L"Quimbo test", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                              400, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

TestWindow::~TestWindow() {
    if (window_) DestroyWindow(window_);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

const std::vector<WPARAM>& TestWindow::Commands() const { return RecordedCommands; }
const std::vector<LPARAM>& TestWindow::CommandParams() const { return RecordedParams; }

}  // namespace w32test
