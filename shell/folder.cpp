// Folder choice through the shell's browser, the folder of a dropped path, and
// the remembered folder in the registry.
#include <shlobj.h>

#include "../common/common.h"
#include "main_window.h"

bool BrowseTargetFolder(HWND owner, wchar_t* result, const wchar_t* title) {
    BROWSEINFOW info = {};
    info.hwndOwner = owner;
    info.pidlRoot = nullptr;
    info.pszDisplayName = result;  // the shell writes at most MAX_PATH units here
    info.lpszTitle = title;
    info.ulFlags = kBrowseFlags;
    info.lpfn = FolderDialogCallback;
    info.lParam = 0;
    PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info);
    if (!item) return false;
    BOOL ok = SHGetPathFromIDListW(item, result);
    ILFree(item);
    return ok && result[0] != 0;
}

static BOOL CALLBACK FindTreeChild(HWND child, LPARAM found) {
    char className[32];
    if (GetClassNameA(child, className, sizeof(className)) && lstrcmpiA(className, "SysTreeView32") == 0) {
        *reinterpret_cast<HWND*>(found) = child;
        return FALSE;
    }
    return TRUE;
}

// The folder tree of the browser: a child of the dialog, or nested deeper in
// the new dialog style.
static HWND FolderTreeOf(HWND dialog) {
    HWND tree = nullptr;
    EnumChildWindows(dialog, FindTreeChild, reinterpret_cast<LPARAM>(&tree));
    return tree;
}

int CALLBACK FolderDialogCallback(HWND dialog, UINT message, LPARAM param, LPARAM) {
    switch (message) {
        case BFFM_INITIALIZED: {
            Sleep(55);
            SetFocus(FolderTreeOf(dialog));
            wchar_t start[kStatusTextCapacity];
            WideBuf startText(start);
            startText.AppendZ(TargetFolder);
            if (start[0]) SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(start));
            Sleep(111);
            // Right arrow on the preselected folder opens it in the tree. It is an
            // extended key; sent as a character it would type a letter instead.
            BYTE scan = static_cast<BYTE>(MapVirtualKeyW(VK_RIGHT, 0));
            keybd_event(VK_RIGHT, scan, KEYEVENTF_EXTENDEDKEY, 0);
            keybd_event(VK_RIGHT, scan, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP, 0);
            return 1;
        }
        case BFFM_SELCHANGED: {
            wchar_t path[MAX_PATH + 1] = {};
            if (!SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(param), path)) path[0] = 0;
            SendMessageA(dialog, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(path));
            return 1;
        }
        default: return 0;
    }
}

bool FolderOfPath(const wchar_t* path, wchar_t* out) {
    out[0] = 0;
    size_t length = TextLength(path);
    size_t folderLength = length;
    DWORD attributes = GetFileAttributesW(path);
    bool isFolder = false;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        wchar_t probeStorage[kStatusTextCapacity + 8];
        WideBuf probe(probeStorage);
        probe.Append(path, length);
        probe.AppendZ(L"\\NUL");
        isFolder = !probe.overflow && PathExists(probeStorage);
    }
    if (!isFolder) {
        folderLength = length;
        while (folderLength > 0 && path[folderLength] != L'\\') --folderLength;
    }
    if (folderLength >= kFolderCapacity) return false;
    for (size_t i = 0; i < folderLength; ++i) out[i] = path[i];
    out[folderLength] = 0;
    return true;
}

void RegistryReadString(HKEY root, const wchar_t* subkey, const wchar_t* name, wchar_t* out) {
    out[0] = 0;
    HKEY key;
    if (RegOpenKeyExW(root, subkey, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS) return;
    wchar_t raw[kFolderCapacity] = {};  // 2052 bytes: room for the 2051 read
    static_assert(sizeof(raw) >= kRegistryReadBytes, "registry read buffer");
    DWORD size = kRegistryReadBytes;
    LONG status = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(raw), &size);
    RegCloseKey(key);
    // A value too long for the read is not used: part of a folder names another one.
    if (status != ERROR_SUCCESS || size > kRegistryReadBytes) return;
    size_t units = size / 2;  // an odd last byte is no whole unit
    size_t length = 0;
    while (length < units && raw[length]) ++length;
    for (size_t i = 0; i < length; ++i) out[i] = raw[i];
    out[length] = 0;
}

bool RegistryWriteString(HKEY root, const wchar_t* subkey, const wchar_t* name, const wchar_t* text) {
    HKEY key;
    wchar_t noClass[1] = {0};
    if (RegCreateKeyExW(root, subkey, 0, noClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    DWORD bytes = static_cast<DWORD>(2 * (TextLength(text) + 1));
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
    RegCloseKey(key);
    return true;
}
