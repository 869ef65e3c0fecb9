// Small helpers of the window tests: texts by language, the registry value,
// folders of test files under the current directory.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/common.h"
#include "tests/support/win32_helpers.h"

using testsupport::CurrentDirectory;
using testsupport::FileExists;
using testsupport::MakeFile;
using testsupport::WaitUntil;
using testsupport::WithSlash;

inline std::wstring Pick(const wchar_t* english, const wchar_t* german) { return GermanUi ? german : english; }

// The folder `name` under the current directory, made when missing, holding
// just the given files (each a few bytes; files it had before are removed).
inline std::wstring FolderWithFiles(const std::wstring& name, const std::vector<std::wstring>& files) {
    std::wstring folder = CurrentDirectory() + L"\\" + name;
    CreateDirectoryW(folder.c_str(), nullptr);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                std::wstring path = folder + L"\\" + found.cFileName;
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    for (const auto& file : files) MakeFile(folder + L"\\" + file, "data");
    return folder;
}

constexpr const wchar_t* kKey = L"SOFTWARE\\Tervaldo\\Quimbo";

inline void DeleteStoredFolder() { RegDeleteKeyExW(HKEY_CURRENT_USER, kKey, KEY_WOW64_32KEY, 0); }

inline void StoreValue(DWORD type, const void* data, DWORD bytes) {
    HKEY key;
    RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr);
    RegSetValueExW(key, L"SourceFolder", 0, type, static_cast<const BYTE*>(data), bytes);
    RegCloseKey(key);
}

inline void StoreFolder(const std::wstring& folder) {
    StoreValue(REG_SZ, folder.c_str(), static_cast<DWORD>((folder.size() + 1) * 2));
}

struct StoredValue {
    bool present = false;
    DWORD type = 0;
    std::vector<BYTE> bytes;
    std::wstring Text() const {
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2 ? bytes.size() / 2 - 1 : 0);
    }
};

inline StoredValue ReadStored() {
    StoredValue value;
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS) return value;
    DWORD size = 0;
    if (RegQueryValueExW(key, L"SourceFolder", nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.bytes.resize(size);
        RegQueryValueExW(key, L"SourceFolder", nullptr, &value.type, value.bytes.data(), &size);
        value.present = true;
    }
    RegCloseKey(key);
    return value;
}
