// quimbo-build's Windows side that the Windows build alone has: names as it
// prints them from UTF-16, and the lock that keeps two builds of one folder
// apart (a named mutex after the folder's identity).
#include <gtest/gtest.h>

#include <windows.h>

#include <cwctype>
#include <string>
#include <thread>

#include "cli/cli_text.h"
#include "common/common.h"
#include "tests/support/win32_helpers.h"

using namespace testsupport;

namespace {

TEST(PrintedNames, Utf16NamesAreTextOrEscaped) {
    struct Case {
        std::wstring name;
        std::string printed;
    } cases[] = {
        {L"C:\\Bilder\\Sch\u00F6n \U0001F4F7.jpg", "C:\\Bilder\\Sch\xC3\xB6n \xF0\x9F\x93\xB7.jpg"},  // separators as they are
        {L"a\nb\x1B\x7F\x0085", "a\\nb\\x1B\\x7F\\xC2\\x85"},
        {std::wstring(L"lone\xD800x"), "lone\\xED\\xA0\\x80x"},
        {std::wstring(L"\xDCF7\xD83D"), "\\xED\\xB3\\xB7\\xED\\xA0\\xBD"},  // low before high: two unpaired
    };
    for (const Case& c : cases) {
        char storage[128];
        ByteBuf out(storage);
        EXPECT_EQ(AppendPathText(c.name.data(), c.name.size(), out), c.name.size());
        EXPECT_EQ(std::string(out.buf, out.len), c.printed);
    }
    // A pair is never split between two parts: it goes whole or waits for the next.
    char storage[32];
    for (size_t capacity : {6, 18, 19}) {
        ByteBuf part(storage, capacity);
        size_t taken = AppendPathText(L"ab\xD83D\xDCF7", 4, part);
        EXPECT_EQ(taken, capacity == 19 ? 4u : 2u) << capacity;
        EXPECT_EQ(part.overflow, capacity != 19) << capacity;
    }
}

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

// The lock is the folder's whatever path leads to it, another folder's is
// another lock, and a thread that does not get it in time is told so.
TEST(FolderLock, OneBuildOfAFolderAtATimeWhateverPathLeadsToIt) {
    TempFolder folder;
    MakeFolder(folder / L"sub");
    FolderLock held;
    ASSERT_TRUE(LockFolder(folder.Path().c_str(), 0, &held));
    ASSERT_NE(held.handle, 0) << "no lock at all: no file id for the folder?";
    std::thread other([&folder] {
        for (const std::wstring& path : {folder.Path(), Upper(folder.Path()), folder / L"sub\\..\\"}) {
            FolderLock lock;
            DWORD start = GetTickCount();
            EXPECT_FALSE(LockFolder(path.c_str(), 200, &lock)) << Utf8(path);
            EXPECT_GE(GetTickCount() - start, 150u) << Utf8(path);
            EXPECT_EQ(lock.handle, 0);
        }
        FolderLock sub;
        EXPECT_TRUE(LockFolder((folder / L"sub\\").c_str(), 0, &sub));
        EXPECT_NE(sub.handle, 0);
        UnlockFolder(&sub);
    });
    other.join();
    UnlockFolder(&held);
    EXPECT_EQ(held.handle, 0);
    std::thread after([&folder] {
        FolderLock lock;
        EXPECT_TRUE(LockFolder(folder.Path().c_str(), 0, &lock));
        EXPECT_NE(lock.handle, 0);
        UnlockFolder(&lock);
    });
    after.join();
    // A folder that is not there has no lock to take; the build will say why.
    FolderLock none;
    EXPECT_TRUE(LockFolder((folder / L"missing\\").c_str(), 0, &none));
    EXPECT_EQ(none.handle, 0);
}

// quimbo-build.exe reads its UTF-16 command line through getopt_long on a
// lossless copy: options are read in every form around a folder named with
// letters beyond ASCII, a title keeps its letters (an unpaired surrogate
// shows as U+FFFD), and a folder's unpaired surrogate reaches the program as
// it was (Wine's files cannot hold one: the folder is named, not found).
TEST(CommandLine, GetoptLongTakesAnyWindowsName) {
    TempFolder folder;
    std::wstring album = folder / L"Sch\u00F6n -r";
    MakeFolder(album);
    MakeFile(album + L"\\a.jpg");
    std::wstring errPath = folder / L"err.txt";
    auto run = [&](const std::wstring& args, DWORD* exitCode) {
        std::wstring line = L"\"" + WindowsPath(QUIMBO_BUILD_EXE) + L"\" " + args;
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        HANDLE err = CreateFileW(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
        STARTUPINFOW startup = {sizeof(startup)};
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = err;
        PROCESS_INFORMATION process = {};
        *exitCode = 99;
        if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
            WaitForSingleObject(process.hProcess, 60000);
            GetExitCodeProcess(process.hProcess, exitCode);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        CloseHandle(err);
        return ReadBytes(errPath);
    };
    DWORD exitCode = 0;
    std::string err = run(L"--lang=de -j2 --title=\"Sch\u00F6n\xDC00 & Co\" -- \"" + album + L"\"", &exitCode);
    EXPECT_EQ(exitCode, 0u) << err;
    std::string page = ReadBytes(album + L"\\!pictures.html");
    EXPECT_NE(page.find("<html lang=\"de\">"), std::string::npos);
    EXPECT_NE(page.find("const title=\"Sch\xC3\xB6n\xEF\xBF\xBD \\u0026 Co\";"), std::string::npos)
        << page.substr(page.find("const title="), 40);
    err = run(L"\"" + folder / L"lone\xD800" + L"\" -rj2", &exitCode);
    EXPECT_EQ(exitCode, 2u);
    EXPECT_EQ(err.rfind("quimbo-build: no such folder: ", 0), 0u) << err;
    EXPECT_NE(err.find("\\lone\\xED\\xA0\\x80\r\n"), std::string::npos) << err;
}

// A folder held for its build cannot be renamed away while it is held, and
// one below the tree's folder that is a link (a reparse point) is refused.
TEST(HeldFolder, CannotBeMovedWhileHeldAndIsNoLink) {
    TempFolder folder, outside;
    MakeFolder(folder / L"sub");
    std::wstring root = folder.Path(), sub = folder / L"sub\\";
    HeldFolder base, held;
    SystemError error = 0;
    ASSERT_EQ(OpenHeldFolder(root.c_str(), nullptr, &base, &error), FolderOpen::Opened) << error;
    ASSERT_EQ(OpenHeldFolder(sub.c_str(), &base, &held, &error), FolderOpen::Opened) << error;
    EXPECT_FALSE(MoveFileW((folder / L"sub").c_str(), (folder / L"moved").c_str()));
    CloseHeldFolder(&held);
    EXPECT_TRUE(MoveFileW((folder / L"sub").c_str(), (folder / L"moved").c_str())) << GetLastError();
    if (CreateSymbolicLinkW((folder / L"sub").c_str(), outside.Path().c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY)) {
        // Windows opens the link itself and refuses it (NotFolder); Wine refuses to open it at all.
        EXPECT_NE(OpenHeldFolder(sub.c_str(), &base, &held, &error), FolderOpen::Opened);
        EXPECT_EQ(held.handle, 0);
    }
    CloseHeldFolder(&base);
}

}  // namespace
