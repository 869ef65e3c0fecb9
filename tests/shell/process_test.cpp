// Quimbo.exe as a process: exit codes of every way to close it, the browser
// at start with an argument, and the resources it carries.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/win32_helpers.h"

using testsupport::WaitUntil;
using testsupport::WindowsPath;

namespace {

const std::wstring kQuimbo = WindowsPath(QUIMBO_EXE);

struct Started {
    PROCESS_INFORMATION process = {};
    HWND window = nullptr;
};

struct Search {
    DWORD pid;
    const wchar_t* className;
    HWND owner;
    HWND found;
};

BOOL CALLBACK FindOf(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (pid == search->pid && wcscmp(name, search->className) == 0 && IsWindowVisible(window) &&
        (!search->owner || GetWindow(window, GW_OWNER) == search->owner)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitWindow(DWORD pid, const wchar_t* className, HWND owner = nullptr, DWORD ms = 15000) {
    Search search = {pid, className, owner, nullptr};
    WaitUntil(
        [&] {
            EnumWindows(FindOf, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        ms, 50);
    return search.found;
}

Started Launch(const std::wstring& exe, const std::wstring& arguments) {
    Started started;
    std::wstring line = L"\"" + exe + L"\"" + arguments;
    STARTUPINFOW info = {sizeof(info)};
    EXPECT_TRUE(CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &info, &started.process));
    return started;
}

DWORD WaitExitCode(Started& started, DWORD ms = 15000) {
    DWORD code = 0xDEAD;
    if (WaitForSingleObject(started.process.hProcess, ms) == WAIT_OBJECT_0) GetExitCodeProcess(started.process.hProcess, &code);
    else TerminateProcess(started.process.hProcess, 0xDEAD);
    CloseHandle(started.process.hProcess);
    CloseHandle(started.process.hThread);
    return code;
}

TEST(Process, EveryWayOfClosingExitsWithZero) {
    struct Way {
        const char* name;
        UINT message;
        WPARAM wParam;
    };
    const Way ways[] = {{"WM_CLOSE", WM_CLOSE, 0}, {"Close button", WM_SYSCOMMAND, SC_CLOSE}, {"Exit item", WM_COMMAND, 109}};
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        Started started = Launch(kQuimbo, L"");
        HWND window = WaitWindow(started.process.dwProcessId, L"QuimboClass");
        ASSERT_NE(window, nullptr);
        PostMessageW(window, way.message, way.wParam, 0);
        EXPECT_EQ(WaitExitCode(started), 0u);
    }
}

TEST(Process, AnArgumentOpensTheFolderBrowserRightAway) {
    Started started = Launch(kQuimbo, L" whatever");
    HWND window = WaitWindow(started.process.dwProcessId, L"QuimboClass");
    ASSERT_NE(window, nullptr);
    HWND browser = WaitWindow(started.process.dwProcessId, L"#32770", window);
    ASSERT_NE(browser, nullptr);
    PostMessageW(browser, WM_COMMAND, IDCANCEL, 0);
    // Closed as a user would, once the browser is gone and the window takes input again.
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(browser) && IsWindowEnabled(window); }, 5000));
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitExitCode(started), 0u);
}

TEST(Process, ATakenWindowClassEndsWith255) {
    Started started = Launch(WindowsPath(CLASS_TAKEN_EXE), L"");
    EXPECT_EQ(WaitExitCode(started), 255u);
}

TEST(Process, VersionRecordAndIcon) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(kQuimbo.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(kQuimbo.c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010001u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010001u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));
    EXPECT_EQ(fixed->dwFileOS, DWORD(VOS_NT_WINDOWS32));
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0000);
    EXPECT_EQ(translation[1], 0x04E4);
    auto field = [&](const wchar_t* name) {
        wchar_t* value = nullptr;
        UINT units = 0;
        std::wstring path = std::wstring(L"\\StringFileInfo\\000004E4\\") + name;
        if (!VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &units)) return std::wstring(L"<missing>");
        return std::wstring(value);
    };
    EXPECT_EQ(field(L"FileDescription"), L"HTML Image Gallery Generator");
    EXPECT_EQ(field(L"FileVersion"), L"1.1.0.0");
    EXPECT_EQ(field(L"InternalName"), L"QUIMBO");
    EXPECT_EQ(field(L"ProductName"), L"Image Gallery Generator");
    EXPECT_EQ(field(L"ProductVersion"), L"1.1.0.0");
    EXPECT_EQ(field(L"OriginalFilename"), L"Quimbo.exe");
    EXPECT_NE(field(L"CompanyName").find(L"Tervaldo"), std::wstring::npos);
    EXPECT_NE(field(L"LegalCopyright").find(L"Tervaldo"), std::wstring::npos);

    // One icon group "I" with one 32x32 image of 256 colours.
    HMODULE module = LoadLibraryExW(kQuimbo.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HRSRC group = FindResourceW(module, L"I", RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
#pragma pack(push, 2)
    struct Entry {
        BYTE width, height, colours, reserved;
        WORD planes, bits;
        DWORD bytes;
        WORD id;
    };
    struct Header {
        WORD reserved, type, count;
        Entry entries[1];
    };
#pragma pack(pop)
    auto* header = static_cast<const Header*>(LockResource(LoadResource(module, group)));
    ASSERT_EQ(header->count, 1);
    EXPECT_EQ(header->entries[0].width, 32);
    EXPECT_EQ(header->entries[0].height, 32);
    EXPECT_EQ(header->entries[0].bits, 8);
    EXPECT_EQ(header->entries[0].colours, 0);  // 256
    FreeLibrary(module);
}

}  // namespace
