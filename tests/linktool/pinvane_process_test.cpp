// Pinvane.exe as a user runs it: started as a process under Wine, its
// console bytes, exit codes, the example batch on disk and the shortcuts it
// writes, read back through the shell's link object.
#include <windows.h>
#include <shobjidl.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "linktool/linktool_texts.h"
#include "tests/support/win32_helpers.h"

using namespace testsupport;

namespace {

// The build's Pinvane.exe, as Wine sees the Unix file system (drive Z:).
const std::wstring& PinvaneExe() {
    static const std::wstring exe = WindowsPath(PINVANE_EXE);
    return exe;
}

struct RunResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
};

// Starts Pinvane with `arguments` after its quoted name (or with `rawLine` as the
// whole command line), standard output redirected into a file, in `folder`.
RunResult StartPinvane(const std::wstring& arguments, const std::wstring& folder, const wchar_t* userProfile = nullptr,
               bool rawLine = false) {
    std::wstring outPath = folder + L"\\stdout.bin";
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(out, INVALID_HANDLE_VALUE);
    wchar_t savedProfile[4096] = L"";
    DWORD hadProfile = GetEnvironmentVariableW(L"USERPROFILE", savedProfile, 4096);
    if (userProfile) SetEnvironmentVariableW(L"USERPROFILE", userProfile);

    std::wstring line = rawLine ? arguments : L"\"" + PinvaneExe() + L"\" " + arguments;
    std::vector<wchar_t> mutableLine(line.begin(), line.end());
    mutableLine.push_back(0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION process{};
    RunResult run;
    BOOL started = CreateProcessW(PinvaneExe().c_str(), mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  folder.c_str(), &startup, &process);
    EXPECT_TRUE(started) << GetLastError();
    if (userProfile) SetEnvironmentVariableW(L"USERPROFILE", hadProfile ? savedProfile : nullptr);
    CloseHandle(out);
    if (started) {
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    HANDLE in = CreateFileW(outPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    char buffer[65536];
    DWORD read = 0;
    ReadFile(in, buffer, sizeof(buffer), &read, nullptr);
    CloseHandle(in);
    DeleteFileW(outPath.c_str());
    run.out.assign(buffer, read);
    return run;
}

// ANSI text of a path, as the result lines show it on a redirected output.
std::string Ansi(const std::wstring& text) {
    char buffer[8192];
    int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, buffer, sizeof(buffer), nullptr, nullptr);
    return std::string(buffer, n > 0 ? n - 1 : 0);
}

// What a user's own console would get: ANSI, then the console's code page.
std::string ShownPath(const std::wstring& path) {
    std::string ansi = Ansi(path);
    UINT page = GetConsoleOutputCP();
    if (page == 0 || page == GetACP()) return ansi;
    wchar_t wide[8192];
    int units = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide, 8192);
    char bytes[16384];
    int n = WideCharToMultiByte(page, 0, wide, units, bytes, sizeof(bytes), nullptr, nullptr);
    return std::string(bytes, n > 0 ? n : 0);
}

std::string UsageScreen() {
    std::string all;
    for (size_t i = 0; i < kUsageScreenPieces; ++i) all += kUsageScreen[i].text;
    return all;
}

std::string ExampleBatch() {
    std::string bytes;
    for (size_t i = 0; i < kExampleBatchLineCount; ++i) bytes += std::string(kExampleBatchLines[i]) + "\r\n";
    return bytes;
}

// ---- Usage and refusals ------------------------------------------------------------------

TEST(PinvaneUsage, ShownWithExitCodeZeroForTooFewArguments) {
    TempFolder folder;
    const std::string usage = UsageScreen();
    for (const std::wstring& args : {std::wstring(L""), std::wstring(L"/x"), std::wstring(L"something"),
                                     std::wstring(L"\"\""), std::wstring(L"xx")}) {
        RunResult run = StartPinvane(args, folder.Bare());
        EXPECT_EQ(run.exitCode, 0u) << std::string(args.begin(), args.end());
        EXPECT_EQ(run.out, usage) << std::string(args.begin(), args.end());  // no colour codes in the bytes
    }
    // Only the program's name, then only blanks after it.
    RunResult bare = StartPinvane(L"Pinvane.exe", folder.Bare(), nullptr, true);
    EXPECT_EQ(bare.exitCode, 0u);
    EXPECT_EQ(bare.out, usage);
    RunResult blanks = StartPinvane(L"Pinvane.exe \t   ", folder.Bare(), nullptr, true);
    EXPECT_EQ(blanks.exitCode, 0u);
    EXPECT_EQ(blanks.out, usage);
}

TEST(PinvaneUsage, RefusesANinthOrOverlongArgumentWithoutWritingAnything) {
    TempFolder folder;
    const std::string usage = UsageScreen();
    RunResult nine = StartPinvane(L"a.lnk t 3 4 5 6 7 8 9", folder.Bare());
    EXPECT_EQ(nine.exitCode, 1u);
    EXPECT_EQ(nine.out, " Error: argument 9 is one too many; Pinvane takes at most 8 arguments.\r\n" + usage);
    EXPECT_EQ(GetFileAttributesW((folder / L"a.lnk").c_str()), INVALID_FILE_ATTRIBUTES);

    // 521 units in the link path: the shortcut would land elsewhere if the path were cut.
    std::wstring longName = std::wstring(L"\\\\?\\") + folder.Bare() + L"\\" +
                            std::wstring(kArgumentMaxUnits + 1 - folder.Bare().size() - 5, L'n');
    ASSERT_EQ(longName.size(), kArgumentMaxUnits + 1);
    RunResult overlong = StartPinvane(L"\"" + longName + L"\" C:\\windows\\notepad.exe", folder.Bare());
    EXPECT_EQ(overlong.exitCode, 1u);
    EXPECT_EQ(overlong.out, " Error: argument 1 (Link) is longer than 520 characters.\r\n" + usage);

    // Even a single overlong argument is refused rather than shown the usage screen for.
    RunResult single = StartPinvane(std::wstring(600, L'x'), folder.Bare());
    EXPECT_EQ(single.exitCode, 1u);
    EXPECT_EQ(single.out, " Error: argument 1 (Link) is longer than 520 characters.\r\n" + usage);
}

// ---- Example batch -----------------------------------------------------------------------

TEST(PinvaneExample, WritesTheBatchOntoTheDesktop) {
    TempFolder profile;
    CreateDirectoryW((profile / L"Desktop").c_str(), nullptr);
    std::wstring batch = profile / L"Desktop\\Example.bat";

    RunResult run = StartPinvane(L"x", profile.Bare(), profile.Bare().c_str());
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, " Written: \"" + ShownPath(batch) + "\"\r\n\r\n");
    EXPECT_EQ(ReadBytes(batch), ExampleBatch());

    // A longer old file is replaced, not written into; X works like x.
    MakeFile(batch, std::string(5000, 'Z'));
    run = StartPinvane(L"X", profile.Bare(), profile.Bare().c_str());
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(ReadBytes(batch), ExampleBatch());

    // "x" with a second argument is create mode with the link path x.
    run = StartPinvane(L"x C:\\windows\\notepad.exe", profile.Bare(), profile.Bare().c_str());
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, " Link created: \"x\"\r\n\r\n");
}

TEST(PinvaneExample, ReportsWhatCouldNotBeWritten) {
    TempFolder profile;
    std::wstring batch = profile / L"Desktop\\Example.bat";

    // No Desktop folder.
    RunResult run = StartPinvane(L"x", profile.Bare(), profile.Bare().c_str());
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.out, " Error writing \"" + ShownPath(batch) + "\"\r\n\r\n");

    // A read-only Example.bat is the user's choice: reported, left as it is.
    CreateDirectoryW((profile / L"Desktop").c_str(), nullptr);
    MakeFile(batch, "keep me");
    SetFileAttributesW(batch.c_str(), FILE_ATTRIBUTE_READONLY);
    run = StartPinvane(L"x", profile.Bare(), profile.Bare().c_str());
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.out, " Error writing \"" + ShownPath(batch) + "\"\r\n\r\n");
    EXPECT_EQ(ReadBytes(batch), "keep me");
}

TEST(PinvaneExample, AFailedWriteAfterCreationIsAnError) {
    // The fixture's Desktop\Example.bat is a link to /dev/full: it opens, and every write fails.
    std::wstring profile = WindowsPath(FULL_DISK_PROFILE);
    ASSERT_TRUE(FileExists(profile + L"\\Desktop"))
        << "the /dev/full fixture is missing (tests/linktool/CMakeLists.txt makes it where /dev/full exists)";
    TempFolder folder;
    RunResult run = StartPinvane(L"x", folder.Bare(), profile.c_str());
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.out, " Error writing \"" + ShownPath(profile + L"\\Desktop\\Example.bat") + "\"\r\n\r\n");
}

TEST(PinvaneExample, ProfileOutsideTheAnsiCodePageIsUsedInFull) {
    TempFolder base;
    std::wstring profile = base / L"\x4E2D\x6587 \x03A9";  // not in the ANSI code page of this prefix
    CreateDirectoryW(profile.c_str(), nullptr);
    CreateDirectoryW((profile + L"\\Desktop").c_str(), nullptr);
    RunResult run = StartPinvane(L"x", base.Bare(), profile.c_str());
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(ReadBytes(profile + L"\\Desktop\\Example.bat"), ExampleBatch());
    EXPECT_EQ(run.out, " Written: \"" + ShownPath(profile + L"\\Desktop\\Example.bat") + "\"\r\n\r\n");
    if (GetACP() == 1252) EXPECT_NE(run.out.find("\\?? "), std::string::npos) << run.out;  // no ANSI form
}

// ---- Create mode -------------------------------------------------------------------------

struct LinkFields {
    std::wstring path, arguments, workingDirectory, description, iconPath;
    int iconIndex = -99, showCommand = -99;
    bool loaded = false;
};

LinkFields ReadLink(const std::wstring& file) {
    LinkFields fields;
    CoInitialize(nullptr);
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* persist = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
            if (SUCCEEDED(persist->Load(file.c_str(), STGM_READ))) {
                fields.loaded = true;
                wchar_t text[2048];
                text[0] = 0;
                link->GetPath(text, 2048, nullptr, SLGP_RAWPATH);
                fields.path = text;
                text[0] = 0;
                link->GetArguments(text, 2048);
                fields.arguments = text;
                text[0] = 0;
                link->GetWorkingDirectory(text, 2048);
                fields.workingDirectory = text;
                text[0] = 0;
                link->GetDescription(text, 2048);
                fields.description = text;
                text[0] = 0;
                link->GetIconLocation(text, 2048, &fields.iconIndex);
                fields.iconPath = text;
                // Wine's link object does not hand the stored show command back
                // after Load; take it from the file's header (offset 0x3C), where
                // the shell reads it when the shortcut is opened.
                std::string bytes = ReadBytes(file);
                if (bytes.size() >= 0x40) memcpy(&fields.showCommand, bytes.data() + 0x3C, 4);
            }
            persist->Release();
        }
        link->Release();
    }
    CoUninitialize();
    return fields;
}

TEST(PinvaneCreate, EveryFieldReachesTheShortcut) {
    TempFolder folder;
    std::wstring lnk = folder / L"Far Manager.lnk";
    RunResult run = StartPinvane(L"\"" + lnk + L"\" \"c:\\Program Files\\Far Manager\\Far.exe\" \"/w -e\" \"D:\\work dir\" "
                         L"\"Classical File Manager\" \"c:\\Program Files\\Far Manager\\Far.exe\" 2 3",
                         folder.Bare());
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, " Link created: \"" + ShownPath(lnk) + "\"\r\n\r\n");
    LinkFields f = ReadLink(lnk);
    ASSERT_TRUE(f.loaded);
    EXPECT_EQ(f.path, L"c:\\Program Files\\Far Manager\\Far.exe");
    EXPECT_EQ(f.arguments, L"/w -e");
    EXPECT_EQ(f.workingDirectory, L"D:\\work dir");  // given, used unchanged though it does not exist
    EXPECT_EQ(f.description, L"Classical File Manager");
    EXPECT_EQ(f.iconPath, L"c:\\Program Files\\Far Manager\\Far.exe");
    EXPECT_EQ(f.iconIndex, 2);
    EXPECT_EQ(f.showCommand, 3);
}

TEST(PinvaneCreate, DerivedWorkingDirectoryAndParsedNumbers) {
    TempFolder folder;
    struct Case {
        std::wstring args;  // after the link path
        std::wstring workingDirectory;
        int iconIndex, showCommand;
    } cases[] = {
        {L"\"c:\\Program Files\\Far Manager\\Far.exe\"", L"c:\\Program Files\\Far Manager", 0, 1},
        {L"C:\\app.exe \"\" \"\" \"\" \"\" $10 0", L"C:", 16, 0},
        {L"notepad.exe \"\" \"\" \"\" \"\" -1 -5", L"notepad.exe", -1, -5},
        {L"C:\\windows\\notepad.exe a b c d Icon Normal", L"b", 0, 1},  // letters give the defaults
        {L"C:\\windows\\notepad.exe \"\" \"\" \"\" \"\" \"7 \" 0x7", L"C:\\windows", 0, 7},  // trailing blank
        {L"C:\\windows\\notepad.exe \"\" \"\" \"\" \"\" %11 &7", L"C:\\windows", 3, 7},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::wstring lnk = folder / (L"case" + std::to_wstring(++n) + L".lnk");
        RunResult run = StartPinvane(L"\"" + lnk + L"\" " + c.args, folder.Bare());
        EXPECT_EQ(run.exitCode, 0u) << n;
        LinkFields f = ReadLink(lnk);
        EXPECT_TRUE(f.loaded) << n;
        EXPECT_EQ(f.workingDirectory, c.workingDirectory) << n;
        EXPECT_EQ(f.iconIndex, c.iconIndex) << n;
        EXPECT_EQ(f.showCommand, c.showCommand) << n;
    }
    // The longest argument a slot holds arrives whole.
    std::wstring lnk = folder / L"long.lnk";
    std::wstring description(kArgumentMaxUnits, L'd');
    RunResult run = StartPinvane(L"\"" + lnk + L"\" C:\\windows\\notepad.exe \"\" \"\" " + description, folder.Bare());
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(ReadLink(lnk).description, description);
}

TEST(PinvaneCreate, ReplacesAProtectedOldShortcut) {
    TempFolder folder;
    std::wstring lnk = folder / L"old.lnk";
    MakeFile(lnk, std::string(300, 'o'));
    SetFileAttributesW(lnk.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    RunResult run = StartPinvane(L"\"" + lnk + L"\" C:\\windows\\notepad.exe \"\" \"\" Fresh", folder.Bare());
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(ReadLink(lnk).description, L"Fresh");
}

TEST(PinvaneCreate, FailuresGiveTheErrorLineAndExitCodeOne) {
    TempFolder folder;
    RunResult empty = StartPinvane(L"\"\" \"\"", folder.Bare());
    EXPECT_EQ(empty.exitCode, 1u);
    EXPECT_EQ(empty.out, " Error creating: \"\"\r\n\r\n");

    RunResult noFolder = StartPinvane(L"\"" + folder.Bare() + L"\\missing\\a.lnk\" C:\\windows\\notepad.exe", folder.Bare());
    EXPECT_EQ(noFolder.exitCode, 1u);
    EXPECT_EQ(noFolder.out, " Error creating: \"" + ShownPath(folder.Bare() + L"\\missing\\a.lnk") + "\"\r\n\r\n");

    // A folder at the link path is the user's: it stays, with its attributes.
    std::wstring dir = folder / L"Folder.lnk";
    CreateDirectoryW(dir.c_str(), nullptr);
    SetFileAttributesW(dir.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    const DWORD kept = GetFileAttributesW(dir.c_str());  // as far as the file system keeps them
    ASSERT_NE(kept & FILE_ATTRIBUTE_HIDDEN, 0u);
    RunResult onFolder = StartPinvane(L"\"" + dir + L"\" C:\\windows\\notepad.exe", folder.Bare());
    EXPECT_EQ(onFolder.exitCode, 1u);
    EXPECT_EQ(onFolder.out, " Error creating: \"" + ShownPath(dir) + "\"\r\n\r\n");
    EXPECT_EQ(GetFileAttributesW(dir.c_str()), kept);
    SetFileAttributesW(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(PinvaneCreate, WorkingDirectoryTooLongIsRefusedAndTheOldShortcutStays) {
    TempFolder folder;
    std::wstring lnk = folder / L"keep.lnk";
    MakeFile(lnk, std::string(300, 'k'));
    std::wstring longTarget = L"C:\\" + std::wstring(511, L'f') + L"\\a.exe";  // its folder has 514 units
    RunResult run = StartPinvane(L"\"" + lnk + L"\" \"" + longTarget + L"\"", folder.Bare());
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.out, " Error: the folder of argument 2 (Target), used as working directory, is longer than 513 "
                       "characters.\r\n Error creating: \"" + ShownPath(lnk) + "\"\r\n\r\n");
    EXPECT_EQ(ReadBytes(lnk), std::string(300, 'k'));

    RunResult given = StartPinvane(L"\"" + lnk + L"\" a.exe \"\" " + std::wstring(514, L'w'), folder.Bare());
    EXPECT_EQ(given.exitCode, 1u);
    EXPECT_EQ(given.out.rfind(" Error: argument 4 (WorkingDirectory) is longer than 513 characters.\r\n", 0), 0u);
    // 513 units are fine.
    RunResult fits = StartPinvane(L"\"" + lnk + L"\" a.exe \"\" " + std::wstring(513, L'w'), folder.Bare());
    EXPECT_EQ(fits.exitCode, 0u);
    EXPECT_EQ(ReadLink(lnk).workingDirectory, std::wstring(513, L'w'));
}

// ---- Colours in a real console -----------------------------------------------------------

struct ConsoleRow {
    std::wstring text;
    std::vector<WORD> attributes;
};

// Runs Pinvane attached to a console of the test's own and reads back its screen.
std::vector<ConsoleRow> RunInConsole(const std::wstring& arguments, const std::wstring& folder, WORD startColour,
                                     WORD* finalColour) {
    std::vector<ConsoleRow> rows;
    HANDLE savedIn = GetStdHandle(STD_INPUT_HANDLE), savedOut = GetStdHandle(STD_OUTPUT_HANDLE),
           savedErr = GetStdHandle(STD_ERROR_HANDLE);
    FreeConsole();
    if (!AllocConsole()) return rows;
    HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    SetConsoleTextAttribute(screen, startColour);
    std::wstring line = L"\"" + PinvaneExe() + L"\" " + arguments;
    std::vector<wchar_t> mutableLine(line.begin(), line.end());
    mutableLine.push_back(0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (CreateProcessW(PinvaneExe().c_str(), mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                       &startup, &process)) {
        WaitForSingleObject(process.hProcess, 60000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        CONSOLE_SCREEN_BUFFER_INFO info;
        GetConsoleScreenBufferInfo(screen, &info);
        *finalColour = info.wAttributes;
        for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
            ConsoleRow row;
            row.text.resize(info.dwSize.X);
            row.attributes.resize(info.dwSize.X);
            DWORD got = 0;
            ReadConsoleOutputCharacterW(screen, row.text.data(), info.dwSize.X, COORD{0, y}, &got);
            ReadConsoleOutputAttribute(screen, row.attributes.data(), info.dwSize.X, COORD{0, y}, &got);
            rows.push_back(row);
        }
    }
    CloseHandle(screen);
    FreeConsole();
    SetStdHandle(STD_INPUT_HANDLE, savedIn);
    SetStdHandle(STD_OUTPUT_HANDLE, savedOut);
    SetStdHandle(STD_ERROR_HANDLE, savedErr);
    return rows;
}

// The attribute of the first cell of `text` on the first row that holds it; 0xFFFF when none.
WORD ColourOf(const std::vector<ConsoleRow>& rows, const std::wstring& text) {
    for (const ConsoleRow& row : rows) {
        size_t at = row.text.find(text);
        if (at == std::wstring::npos) continue;
        for (size_t i = at; i < at + text.size(); ++i)
            if (row.attributes[i] != row.attributes[at]) return 0xFFFE;  // mixed colours within the text
        return row.attributes[at];
    }
    return 0xFFFF;
}

TEST(PinvaneConsole, ColoursOfTheUsageScreenAndResultLines) {
    TempFolder folder;
    const WORD kStart = FOREGROUND_RED | FOREGROUND_BLUE;  // magenta, to tell "unchanged" from grey
    WORD final = 0;
    std::vector<ConsoleRow> rows = RunInConsole(L"", folder.Bare(), kStart, &final);
    if (rows.empty()) GTEST_SKIP() << "no console available";
    EXPECT_EQ(ColourOf(rows, L"Pinvane v1.0.0.0"), 10);
    EXPECT_EQ(ColourOf(rows, L"Copyright (C) 2025 Tervaldo"), 10);
    EXPECT_EQ(ColourOf(rows, L"PINVANE Link Target [Argument(s)]"), 11);
    EXPECT_EQ(ColourOf(rows, L"Example (batch, using line-break ^):"), 7);
    EXPECT_EQ(ColourOf(rows, L"PINVANE x   =>"), 11);  // the line wraps in an 80-column console
    EXPECT_EQ(ColourOf(rows, L" Pinvane \"%USERPROFILE%\\Desktop\\Far Manager.lnk\"^"), 7);
    EXPECT_EQ(ColourOf(rows, L"Overwrites existing link without prompt."), 7);
    EXPECT_EQ(final, 7);

    // A failed creation leaves the colour the console had; a created link turns it grey after the line.
    rows = RunInConsole(L"\"\" \"\"", folder.Bare(), kStart, &final);
    EXPECT_EQ(ColourOf(rows, L" Error creating: \"\""), kStart);
    EXPECT_EQ(final, kStart);
    rows = RunInConsole(L"made.lnk C:\\windows\\notepad.exe", folder.Bare(), kStart, &final);
    EXPECT_EQ(ColourOf(rows, L" Link created: \"made.lnk\""), kStart);
    EXPECT_EQ(final, 7);
}

// ---- Resources ---------------------------------------------------------------------------

TEST(PinvaneResources, IconGroupAndVersionStrings) {
    HMODULE module = LoadLibraryExW(PinvaneExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HRSRC group = FindResourceW(module, L"I", MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
    ASSERT_NE(group, nullptr);
    const BYTE* dir = static_cast<const BYTE*>(LockResource(LoadResource(module, group)));
    WORD count = 0, bitCount = 0;
    memcpy(&count, dir + 4, 2);
    memcpy(&bitCount, dir + 6 + 6, 2);  // first entry: width, height, colours, reserved, planes, bit count
    EXPECT_EQ(count, 1);
    EXPECT_EQ(dir[6], 32);
    EXPECT_EQ(dir[7], 32);
    EXPECT_EQ(bitCount, 32);
    FreeLibrary(module);

    DWORD handle = 0;
    std::vector<BYTE> info(GetFileVersionInfoSizeW(PinvaneExe().c_str(), &handle));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoW(PinvaneExe().c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileFlags | fixed->dwFileOS | fixed->dwFileType, 0u);
    struct {
        const wchar_t* name;
        const wchar_t* value;
    } strings[] = {
        {L"FileDescription", L"Pinvane - create LNK shortcuts"}, {L"ProductName", L"Pinvane - create LNK shortcuts"},
        {L"InternalName", L"Pinvane"},  {L"OriginalFilename", L"Pinvane.exe"},
        {L"FileVersion", L"1.0.0.0"},   {L"ProductVersion", L"1.0.0.0"},
    };
    for (const auto& s : strings) {
        wchar_t* value = nullptr;
        std::wstring key = std::wstring(L"\\StringFileInfo\\000004E4\\") + s.name;
        ASSERT_TRUE(VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &size))
            << std::string(key.begin(), key.end());
        EXPECT_EQ(std::wstring(value), s.value);
    }
}

}  // namespace
