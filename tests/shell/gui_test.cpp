// The real main window under Wine, driven through messages and keys; its
// dialogs caught on its thread. Runs once with a German and once with an
// English user language (LC_ALL), and checks every text of that language.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <set>

#include "gui_harness.h"
#include "gui_test_util.h"
#include "shell/icon_message.h"
#include "shell/main_window.h"

namespace {

const std::wstring kRule(36, L'\u2500');

std::wstring Label() { return Pick(L"Target folder:\r\n\r\n", L"Zielordner:\r\n\r\n"); }
std::wstring WarningCaption() { return Pick(L"E R R O R", L"F E H L E R"); }
std::wstring Lang() { return GermanUi ? L"de" : L"en"; }

// A callback of the system's, so stdcall on i686: a lambda would convert to a cdecl pointer.
BOOL CALLBACK AddChildText(HWND child, LPARAM texts) {
    reinterpret_cast<std::set<std::wstring>*>(texts)->insert(testsupport::TextOf(child));
    return TRUE;
}

class Window : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ApplyLanguageRule();
        InstallFontCounter();
    }
    void TearDown() override {
        if (gui.Running()) EXPECT_EQ(gui.Stop(), 0);
    }
    // Posts a command as the menu sends it.
    void Command(unsigned id) { PostMessageW(gui.Window(), WM_COMMAND, id, 0); }
    // Waits for the folder browser, lets its start-up nudge pass, selects
    // `folder` and waits until the browser's status line names it (the
    // selection callback), then presses OK.
    void ChooseInBrowser(const std::wstring& folder) {
        CaughtBox browser;
        ASSERT_TRUE(gui.NextDialog(&browser));
        ASSERT_TRUE(browser.isFolderBrowser);
        EXPECT_EQ(browser.shownOwner, gui.Window());
        // The nudge opens the preselected folder in the tree; had it come after
        // our selection, it would move the selection on.
        EXPECT_TRUE(gui.WaitNudge(browser.box)) << "the folder tree did not get its Right-arrow nudge";
        // Wine's tree sometimes stops part of the way down a long path; asking again goes on.
        bool shown = false;
        for (int attempt = 0; attempt < 5 && !shown; ++attempt) {
            SendMessageW(browser.box, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
            shown = WaitUntil([&] { return StaticTexts(browser.box).count(folder) > 0; }, 500, 50);
        }
        EXPECT_TRUE(shown) << "the browser's status line does not show the selected folder";
        GuiRun::Press(browser.box, IDOK);
    }
    static std::set<std::wstring> StaticTexts(HWND box) {
        std::set<std::wstring> texts;
        EnumChildWindows(box, AddChildText, reinterpret_cast<LPARAM>(&texts));
        return texts;
    }
    GuiRun gui;
};

TEST_F(Window, LanguageFollowsTheUsersDefaultLanguage) {
    EXPECT_EQ(GermanUi, (GetUserDefaultLangID() & 0x3FF) == 7);
    const char* lc = getenv("LC_ALL");
    if (lc && strncmp(lc, "de", 2) == 0) EXPECT_EQ(GetUserDefaultLangID(), 0x0407);
    if (lc && strncmp(lc, "en", 2) == 0) EXPECT_FALSE(GermanUi);
}

TEST_F(Window, StartShowsTheRememberedFolderOrTheCurrentDirectory) {
    const std::wstring here = WithSlash(CurrentDirectory());
    struct Case {
        const char* name;
        const wchar_t* stored;  // null: no value at all
        std::wstring expected;
    };
    const Case cases[] = {
        {"missing", nullptr, here},
        {"remembered", L"D:\\Bilder\\", L"D:\\Bilder\\"},
        {"empty", L"", here},
        {"leading blank", L" D:\\Bilder\\", here},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteStoredFolder();
        if (c.stored) StoreFolder(c.stored);
        gui.Start();
        EXPECT_EQ(std::wstring(TargetFolder), c.expected);
        EXPECT_EQ(std::wstring(StatusText), Label() + c.expected);
        EXPECT_TRUE(gui.NoDialogFor(100));
        EXPECT_EQ(gui.Stop(), 0);
    }
    DeleteStoredFolder();
}

// Values of other types and sizes, read as the window's start reads them.
TEST(RegistryRead, AnyTypeIsReadAsTextWithinTheReadSize) {
    auto units = [](const std::wstring& text) {
        const BYTE* p = reinterpret_cast<const BYTE*>(text.data());
        return std::vector<BYTE>(p, p + text.size() * 2);
    };
    std::vector<BYTE> odd = units(L"Z:\\Odd\\");
    odd.push_back('Q');  // a lone last byte is no character
    std::wstring longest = L"Z:\\" + std::wstring(1021, L'x') + L"\\";  // 1025 units
    struct Case {
        const char* name;
        DWORD type;
        std::vector<BYTE> bytes;
        std::wstring expected;
    };
    const Case cases[] = {
        {"dword", REG_DWORD, {5, 0, 0, 0}, L"\x05"},
        {"dword as text", REG_DWORD, {'B', 0, 'C', 0}, L"BC"},
        {"binary without zero, odd count", REG_BINARY, odd, L"Z:\\Odd\\"},
        {"text ends at the first zero", REG_BINARY, units(std::wstring(L"E:\\A\\\0E:\\B\\", 10)), L"E:\\A\\"},
        {"1025 units without zero fit the read", REG_BINARY, units(longest), longest},
        {"1025 units with their zero do not", REG_SZ, units(longest + L'\0'), L""},
        {"much too long", REG_SZ, units(std::wstring(3000, L'y') + L'\0'), L""},
        {"empty binary", REG_BINARY, {}, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StoreValue(c.type, c.bytes.data(), static_cast<DWORD>(c.bytes.size()));
        wchar_t out[kFolderCapacity + 8];
        wmemset(out, L'#', kFolderCapacity + 8);
        RegistryReadString(HKEY_CURRENT_USER, kRegistryKey, kRegistryValue, out);
        EXPECT_EQ(std::wstring(out), c.expected);
        EXPECT_EQ(out[kFolderCapacity], L'#');  // nothing past the buffer
    }
    DeleteStoredFolder();
    wchar_t out[kFolderCapacity] = {L'#'};
    RegistryReadString(HKEY_CURRENT_USER, kRegistryKey, kRegistryValue, out);
    EXPECT_EQ(std::wstring(out), L"");
}

TEST(RegistryWrite, StoresTextWithItsZeroInTheThirtyTwoBitView) {
    DeleteStoredFolder();
    EXPECT_TRUE(RegistryWriteString(HKEY_CURRENT_USER, kRegistryKey, kRegistryValue, L"C:\\Photos\\"));
    StoredValue stored = ReadStored();
    EXPECT_EQ(stored.type, DWORD(REG_SZ));
    EXPECT_EQ(stored.bytes.size(), 22u);
    EXPECT_EQ(stored.Text(), L"C:\\Photos\\");
    DeleteStoredFolder();
}

TEST(FolderOfPath, FoldersStayFilesGiveTheirFolder) {
    std::wstring folder = FolderWithFiles(L"folder_of", {L"a.jpg"});
    struct Case {
        std::wstring path;
        bool ok;
        std::wstring expected;
    };
    const Case cases[] = {
        {folder, true, folder},
        {folder + L"\\a.jpg", true, folder},
        {folder + L"\\missing.jpg", true, folder},
        {L"C:\\a.jpg", true, L"C:"},
        {L"name.jpg", true, L""},
        {L"\\name.jpg", true, L""},
        {L"Z:\\" + std::wstring(1022, L'f') + L"\\x.jpg", true, L"Z:\\" + std::wstring(1022, L'f')},
        {L"Z:\\" + std::wstring(1023, L'f') + L"\\x.jpg", false, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path.begin(), c.path.begin() + std::min<size_t>(60, c.path.size())));
        wchar_t out[kFolderCapacity + 4];
        wmemset(out, L'#', kFolderCapacity + 4);
        EXPECT_EQ(FolderOfPath(c.path.c_str(), out), c.ok);
        EXPECT_EQ(std::wstring(out), c.expected);
        EXPECT_EQ(out[kFolderCapacity], L'#');
    }
}

// The start without a usable value falls back to the current directory, the
// start with a DWORD value among them.
TEST_F(Window, AValueOfAnotherTypeFallsBackToTheCurrentDirectory) {
    DWORD five = 5;
    StoreValue(REG_DWORD, &five, 4);
    gui.Start();
    EXPECT_EQ(std::wstring(TargetFolder), WithSlash(CurrentDirectory()));
    EXPECT_EQ(gui.Stop(), 0);
    DeleteStoredFolder();
}

TEST_F(Window, MenuSystemMenuKeysAndWindow) {
    gui.Start();
    HWND window = gui.Window();
    wchar_t title[128] = {};
    GetWindowTextW(window, title, 128);
    EXPECT_STREQ(title, L"Quimbo - HTML Image Gallery Generator");
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    RECT frame;
    GetWindowRect(window, &frame);
    EXPECT_EQ(frame.right - frame.left, 480);
    EXPECT_EQ(frame.bottom - frame.top, 320);
    WNDCLASSEXA windowClass = {sizeof(windowClass)};
    ASSERT_TRUE(GetClassInfoExA(GetModuleHandleW(nullptr), "QuimboClass", &windowClass));
    EXPECT_EQ(windowClass.style, UINT(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(windowClass.hbrBackground, GetStockObject(DKGRAY_BRUSH));
    EXPECT_EQ(windowClass.hIcon, LoadIconA(GetModuleHandleW(nullptr), "I"));
    EXPECT_FALSE(IsWindowUnicode(window));  // a single-byte class

    auto text = [](HMENU menu, int index) {
        char buffer[128] = {};
        GetMenuStringA(menu, index, buffer, 128, MF_BYPOSITION);
        return std::string(buffer);
    };
    auto pick = [](const char* english, const char* german) { return std::string(GermanUi ? german : english); };
    HMENU bar = GetMenu(window);
    ASSERT_EQ(GetMenuItemCount(bar), 2);
    EXPECT_EQ(text(bar, 0), pick("&File", "&Datei"));
    EXPECT_EQ(text(bar, 1), "&?");
    EXPECT_EQ(GetMenuItemID(bar, 1), 199u);  // a command on the bar itself
    HMENU file = GetSubMenu(bar, 0);
    ASSERT_EQ(GetMenuItemCount(file), 4);
    EXPECT_EQ(text(file, 0), pick("Create &new gallery\tCtrl+N", "&Neue Galerie erstellen\tCtrl+N"));
    EXPECT_EQ(text(file, 1), pick("&Run gallery\tCtrl+R", "Galerie sta&rten\tCtrl+R"));
    EXPECT_TRUE(GetMenuState(file, 2, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ(text(file, 3), pick("E&xit\tAlt+F4", "&Beenden\tAlt+F4"));
    EXPECT_EQ(GetMenuItemID(file, 0), 101u);
    EXPECT_EQ(GetMenuItemID(file, 1), 102u);
    EXPECT_EQ(GetMenuItemID(file, 3), 109u);

    HMENU system = GetSystemMenu(window, FALSE);
    std::vector<UINT> ids;
    for (int i = 0; i < GetMenuItemCount(system); ++i) ids.push_back(GetMenuItemID(system, i) & 0xFFF0);
    auto has = [&](UINT id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); };
    EXPECT_FALSE(has(SC_MAXIMIZE));
    EXPECT_FALSE(has(SC_SIZE));
    EXPECT_TRUE(has(SC_RESTORE));
    EXPECT_TRUE(has(SC_MOVE));
    EXPECT_TRUE(has(SC_MINIMIZE));
    EXPECT_TRUE(has(SC_CLOSE));

    ASSERT_NE(MainAccelerators, nullptr);
    ACCEL keys[8];
    ASSERT_EQ(CopyAcceleratorTableW(MainAccelerators, nullptr, 0), 3);
    ASSERT_EQ(CopyAcceleratorTableW(MainAccelerators, keys, 8), 3);
    EXPECT_EQ(keys[0].fVirt & 0x7F, FVIRTKEY | FCONTROL);
    EXPECT_EQ(keys[0].key, 'N');
    EXPECT_EQ(keys[0].cmd, 101);
    EXPECT_EQ(keys[1].fVirt & 0x7F, FVIRTKEY | FCONTROL);
    EXPECT_EQ(keys[1].key, 'R');
    EXPECT_EQ(keys[1].cmd, 102);
    EXPECT_EQ(keys[2].fVirt & 0x7F, FVIRTKEY | FALT);
    EXPECT_EQ(keys[2].key, 'X');
    EXPECT_EQ(keys[2].cmd, 109);

    // Any other command, and keys that are not in the table, change nothing.
    std::wstring before = StatusText;
    Command(150);
    PressKeys(window, {VK_CONTROL, 'X'});
    PressKeys(window, {VK_MENU, 'N'});
    gui.Settle();
    EXPECT_TRUE(gui.NoDialogFor(300));
    EXPECT_EQ(std::wstring(StatusText), before);
    EXPECT_TRUE(gui.Running());
}

TEST_F(Window, StartWithAnArgumentOpensTheBrowserAndCancelLeavesTheTargetEmpty) {
    StoreFolder(L"D:\\Bilder\\");
    gui.Start(1);
    CaughtBox browser;
    ASSERT_TRUE(gui.NextDialog(&browser));
    EXPECT_TRUE(browser.isFolderBrowser);
    EXPECT_EQ(browser.shownOwner, gui.Window());
    std::wstring title = Pick(L"\U0001F306 Quimbo - Image Gallery\rTarget folder containing images:",
                              L"\U0001F306 Quimbo - Image Gallery\rZielordner mit Bildern:");
    EXPECT_NE(std::find(browser.statics.begin(), browser.statics.end(), title), browser.statics.end());
    GuiRun::Press(browser.box, IDCANCEL);
    EXPECT_TRUE(gui.WaitClosed(browser.box));
    EXPECT_EQ(std::wstring(TargetFolder), L"");
    EXPECT_EQ(std::wstring(StatusText), Label());
    EXPECT_EQ(ReadStored().Text(), L"D:\\Bilder\\");
    DeleteStoredFolder();
}

// The stand-in program for .html pages records the command line it was
// started with. Wine's HKEY_CLASSES_ROOT is the machine's classes key, so the
// association goes there, and the old one comes back afterwards.
class PageHandler {
public:
    PageHandler() {
        std::wstring recorder = CurrentDirectory() + L"\\open_recorder.exe";
        log_ = CurrentDirectory() + L"\\opened.txt";
        DeleteFileW(log_.c_str());
        oldHtml_ = GetDefault(L"Software\\Classes\\.html");
        SetDefault(L"Software\\Classes\\QuimboTest.Page\\shell\\open\\command", L"\"" + recorder + L"\" \"%1\"");
        SetDefault(L"Software\\Classes\\.html", L"QuimboTest.Page");
    }
    ~PageHandler() {
        SetDefault(L"Software\\Classes\\.html", oldHtml_.empty() ? L"htmlfile" : oldHtml_);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\QuimboTest.Page");
    }
    // The recorded command line, once the stand-in has written it; empty when
    // nothing comes within `ms`. Showing that nothing opens takes a short `ms`
    // and waits all of it: an absence has no event to wait for.
    std::wstring Opened(DWORD ms = 10000) {
        std::wstring line;
        WaitUntil([&] { return !(line = TakeRecord()).empty(); }, ms, 100);
        return line;
    }

private:
    // The command line the stand-in wrote (it moves the whole file into place), or empty.
    std::wstring TakeRecord() {
        HANDLE in = CreateFileW(log_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (in == INVALID_HANDLE_VALUE) return L"";
        wchar_t buffer[2048] = {};
        DWORD read = 0;
        ReadFile(in, buffer, sizeof(buffer) - 2, &read, nullptr);
        CloseHandle(in);
        if (!read) return L"";
        DeleteFileW(log_.c_str());
        return buffer;
    }

    static std::wstring GetDefault(const wchar_t* path) {
        wchar_t value[256] = {};
        DWORD size = sizeof(value) - 2;
        RegGetValueW(HKEY_LOCAL_MACHINE, path, nullptr, RRF_RT_REG_SZ, nullptr, value, &size);
        return value;
    }
    static void SetDefault(const wchar_t* path, const std::wstring& value) {
        HKEY key;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), DWORD((value.size() + 1) * 2));
        RegCloseKey(key);
    }
    std::wstring log_;
    std::wstring oldHtml_;
};

std::wstring FrameShot(const std::wstring& name, HWND window) {
    RECT frame;
    GetWindowRect(window, &frame);
    std::wstring path = CurrentDirectory() + L"\\screenshot_" + Lang() + L"_" + name + L".bmp";
    SaveBmp(CaptureScreenRect(frame), path);
    return path;
}

TEST_F(Window, NewGalleryBuildsRemembersTheFolderAndOffersToOpenThePage) {
    PageHandler handler;
    std::wstring folder = FolderWithFiles(L"gallery_" + Lang(), {L"Beach.jpg", L"Dog.png", L"Old.gif"});
    std::wstring target = folder + L"\\";
    std::wstring page = target + L"!pictures.html";
    StoreFolder(L"D:\\Before\\");
    gui.Start();
    HWND window = gui.Window();

    Command(CMD_NEW_GALLERY);
    ChooseInBrowser(folder);
    CaughtBox done;
    ASSERT_TRUE(gui.NextDialog(&done));
    ASSERT_TRUE(done.isMessageBox);
    std::wstring created = Pick(L"Gallery created:\r\n\r\n", L"Galerie erstellt:\r") + page;
    EXPECT_EQ(std::wstring(StatusText), created);
    EXPECT_EQ(done.text, created + L"\r\r" + Pick(L"Start gallery now with browser?", L"Galerie jetzt mit Browser starten?"));
    EXPECT_EQ(done.shownCaption, L"\U0001F306 Quimbo - Image Gallery");
    EXPECT_EQ(done.style, UINT(MB_YESNOCANCEL | MB_USERICON | MB_SETFOREGROUND));
    EXPECT_EQ(done.iconName, L"I");
    EXPECT_EQ(done.instance, GetModuleHandleW(nullptr));
    EXPECT_EQ(done.contextHelpId, 1u);
    EXPECT_EQ(done.shownOwner, nullptr);
    EXPECT_TRUE(FileExists(page));
    EXPECT_TRUE(FileExists(target + L"$create-Thumbnails.cmd"));
    EXPECT_EQ(std::wstring(TargetFolder), target);

    StoredValue stored = ReadStored();
    EXPECT_EQ(stored.type, DWORD(REG_SZ));
    EXPECT_EQ(stored.bytes.size(), 2 * (target.size() + 1));
    EXPECT_EQ(stored.Text(), target);

    gui.PaintNow();  // the status after the build, for the picture
    FrameShot(L"after_build", window);

    // No: nothing opens, the window stays as it is.
    GuiRun::Press(done.box, IDNO);
    gui.Settle();
    EXPECT_FALSE(IsIconic(window));
    EXPECT_EQ(handler.Opened(500), L"");

    // Cancel, this time through Ctrl+N; the browser opens at the target and OK takes it.
    PressKeys(window, {VK_CONTROL, 'N'});
    CaughtBox browser;
    ASSERT_TRUE(gui.NextDialog(&browser));
    ASSERT_TRUE(browser.isFolderBrowser);
    EXPECT_TRUE(gui.WaitNudge(browser.box)) << "the folder tree did not get its Right-arrow nudge";
    EXPECT_GE(gui.TreeRightArrowDowns(), 1) << "the folder tree did not get its Right-arrow nudge";
    GuiRun::Press(browser.box, IDOK);
    ASSERT_TRUE(gui.NextDialog(&done));
    GuiRun::Press(done.box, IDCANCEL);
    gui.Settle();
    EXPECT_FALSE(IsIconic(window));
    EXPECT_EQ(handler.Opened(500), L"");
    EXPECT_EQ(std::wstring(TargetFolder), target);

    // Yes: the page goes to the shell's "open" action, and the window is minimized.
    Command(CMD_NEW_GALLERY);
    ChooseInBrowser(folder);
    ASSERT_TRUE(gui.NextDialog(&done));
    GuiRun::Press(done.box, IDYES);
    std::wstring opened = handler.Opened();
    EXPECT_NE(opened.find(L"!pictures.html"), std::wstring::npos) << std::string(opened.begin(), opened.end());
    EXPECT_NE(opened.find(L"gallery_" + Lang()), std::wstring::npos);
    gui.Settle();
    EXPECT_TRUE(IsIconic(window));
    DeleteStoredFolder();
}

TEST_F(Window, AFolderWithoutImagesIsRefusedAndTheRegistryKeepsItsValue) {
    std::wstring folder = FolderWithFiles(L"gifs_" + Lang(), {L"a.gif", L"b.GIF"});
    StoreFolder(L"D:\\Before\\");
    gui.Start();
    Command(CMD_NEW_GALLERY);
    ChooseInBrowser(folder);
    CaughtBox warning;
    ASSERT_TRUE(gui.NextDialog(&warning));
    EXPECT_EQ(warning.shownOwner, gui.Window());
    EXPECT_EQ(warning.shownCaption, WarningCaption());
    EXPECT_EQ(warning.style, UINT(MB_ICONWARNING));
    EXPECT_EQ(warning.text, Pick(L"No images in this folder:", L"Keine Bilder in diesem Ordner:") + L"\r\r" + folder + L"\\");
    GuiRun::Press(warning.box, IDOK);
    EXPECT_TRUE(gui.WaitClosed(warning.box));
    std::wstring here = WithSlash(CurrentDirectory());
    EXPECT_EQ(std::wstring(TargetFolder), here);
    EXPECT_EQ(std::wstring(StatusText), Label() + here);
    EXPECT_EQ(ReadStored().Text(), L"D:\\Before\\");
    EXPECT_FALSE(FileExists(folder + L"\\!pictures.html"));
    DeleteStoredFolder();
}

// A drop as the shell makes it: a DROPFILES block with wide names.
HDROP MakeDrop(const std::vector<std::wstring>& names) {
    size_t units = 1;
    for (const auto& name : names) units += name.size() + 1;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + units * 2);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* text = reinterpret_cast<wchar_t*>(drop + 1);
    for (const auto& name : names) {
        memcpy(text, name.c_str(), name.size() * 2);
        text += name.size() + 1;
    }
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

TEST_F(Window, RunGalleryOpensThePageOrWarns) {
    PageHandler handler;
    std::wstring folder = FolderWithFiles(L"run_" + Lang(), {L"a.jpg"});
    DeleteStoredFolder();
    gui.Start();
    PostMessageW(gui.Window(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({folder})), 0);
    gui.Settle();
    ASSERT_EQ(std::wstring(TargetFolder), folder + L"\\");

    PressKeys(gui.Window(), {VK_CONTROL, 'R'});
    CaughtBox warning;
    ASSERT_TRUE(gui.NextDialog(&warning));
    EXPECT_EQ(warning.shownOwner, gui.Window());
    EXPECT_EQ(warning.shownCaption, WarningCaption());
    EXPECT_EQ(warning.style, UINT(MB_ICONWARNING));
    EXPECT_EQ(warning.text, Pick(L"No Quimbo gallery found\rin this folder:", L"Keine Quimbo-Galerie vorhanden\rin diesem Ordner:") +
                                L"\r\r" + folder + L"\\");
    GuiRun::Press(warning.box, IDOK);

    FolderWithFiles(L"run_" + Lang(), {L"a.jpg", L"!pictures.html"});
    Command(CMD_RUN_GALLERY);
    std::wstring opened = handler.Opened();
    EXPECT_NE(opened.find(L"run_" + Lang()), std::wstring::npos);
    EXPECT_NE(opened.find(L"!pictures.html"), std::wstring::npos);
    EXPECT_TRUE(gui.NoDialogFor(200));
    EXPECT_FALSE(IsIconic(gui.Window()));
}

TEST_F(Window, DroppedItemsSetTheTargetFolder) {
    std::wstring a = FolderWithFiles(L"drop_a", {L"one.jpg"});
    std::wstring b = FolderWithFiles(L"drop_b", {L"two.jpg"});
    std::wstring c = FolderWithFiles(L"drop_c", {L"three.txt"});
    DeleteStoredFolder();
    gui.Start();
    auto drop = [&](const std::vector<std::wstring>& names) {
        PostMessageW(gui.Window(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(names)), 0);
        gui.Settle();
        return std::wstring(TargetFolder);
    };
    // Three files: only the first one's folder counts, and nothing is built or stored.
    EXPECT_EQ(drop({b + L"\\two.jpg", a + L"\\one.jpg", c + L"\\three.txt"}), b + L"\\");
    EXPECT_EQ(std::wstring(StatusText), Label() + b + L"\\");
    EXPECT_FALSE(FileExists(b + L"\\!pictures.html"));
    EXPECT_FALSE(ReadStored().present);
    // A folder is taken itself; one with its backslash gets no second one.
    EXPECT_EQ(drop({a}), a + L"\\");
    EXPECT_EQ(drop({c + L"\\"}), c + L"\\");
    // Too long: a name past the buffer, or a folder past 1025 characters, is not used at all.
    EXPECT_EQ(drop({L"Z:\\" + std::wstring(2100, L'n') + L"\\x.jpg"}), c + L"\\");
    EXPECT_EQ(drop({L"Z:\\" + std::wstring(1100, L'f') + L"\\x.jpg"}), c + L"\\");
    // Just fits: a folder of 1025 characters.
    std::wstring longest = L"Z:\\" + std::wstring(1022, L'g');
    EXPECT_EQ(drop({longest + L"\\x.jpg"}), longest + L"\\");
    EXPECT_TRUE(gui.NoDialogFor(100));
}

TEST_F(Window, HelpKeyAndQuestionMarkShowTheAboutBox) {
    gui.Start();
    std::wstring about = L"Quimbo - HTML Image Gallery Generator\rv1.1.0.0\r\u00A9 2025 Tervaldo\r" + kRule + L"\r" +
                         Pick(L"Made for everyone who keeps photos in folders", L"F\u00FCr alle, die ihre Fotos in Ordnern aufbewahren");
    PressKeys(gui.Window(), {VK_F1});
    CaughtBox box;
    ASSERT_TRUE(gui.NextDialog(&box)) << "F1 showed nothing";
    EXPECT_EQ(box.text, about);
    EXPECT_EQ(box.shownCaption, L"Information");
    EXPECT_EQ(box.style, UINT(MB_USERICON | MB_SETFOREGROUND));
    EXPECT_EQ(box.iconName, L"I");
    EXPECT_EQ(box.shownOwner, gui.Window());
    GuiRun::Press(box.box, IDOK);

    // "&?" on the menu bar sends its command directly.
    Command(CMD_ABOUT);
    ASSERT_TRUE(gui.NextDialog(&box));
    EXPECT_EQ(box.text, about);
    GuiRun::Press(box.box, IDOK);
    EXPECT_TRUE(gui.NoDialogFor(200));
}

TEST_F(Window, EveryWayOfClosingEndsTheLoopWithZero) {
    struct Way {
        const char* name;
        std::function<void(HWND)> close;
    };
    std::vector<Way> ways = {
        {"WM_CLOSE", [](HWND w) { PostMessageW(w, WM_CLOSE, 0, 0); }},
        {"Close button", [](HWND w) { PostMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"Exit item", [](HWND w) { PostMessageW(w, WM_COMMAND, CMD_EXIT, 0); }},
        {"Alt+X", [](HWND w) { PressKeys(w, {VK_MENU, 'X'}); }},
        {"Alt+F4", [](HWND w) { PressKeys(w, {VK_MENU, VK_F4}); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        gui.Start();
        way.close(gui.Window());
        EXPECT_EQ(gui.WaitExit(5000), 0);
        if (gui.Running()) gui.Stop();
    }
    // Ctrl+N opens the browser like the menu item does.
    gui.Start();
    PressKeys(gui.Window(), {VK_CONTROL, 'N'});
    CaughtBox browser;
    ASSERT_TRUE(gui.NextDialog(&browser));
    EXPECT_TRUE(browser.isFolderBrowser);
    GuiRun::Press(browser.box, IDCANCEL);
}

TEST_F(Window, AFailedClassRegistrationGives255) {
    WNDCLASSEXA taken = {sizeof(taken)};
    taken.lpfnWndProc = DefWindowProcA;
    taken.hInstance = GetModuleHandleW(nullptr);
    taken.lpszClassName = "QuimboClass";
    ASSERT_TRUE(RegisterClassExA(&taken));
    EXPECT_EQ(RunMainWindowLoop(), 255);
    EXPECT_EQ(FindWindowA("QuimboClass", nullptr), nullptr);
    UnregisterClassA("QuimboClass", GetModuleHandleW(nullptr));
}

TEST_F(Window, PaintingShowsIconHeadingBannerAndStatusWithoutLeakingFonts) {
    StoreFolder(L"C:\\Fotos\\");
    gui.Start();
    HWND window = gui.Window();
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    gui.Settle();
    Capture shot = CaptureClient(window);
    SaveBmp(shot, CurrentDirectory() + L"\\client_" + Lang() + L"_start.bmp");
    FrameShot(L"start", window);
    ASSERT_GT(shot.width, 400);
    ASSERT_GT(shot.height, 200);

    const DWORD background = Rgb(64, 64, 64);
    EXPECT_EQ(shot.At(4, 4), background);
    EXPECT_EQ(shot.At(shot.width - 5, shot.height - 5), background);
    EXPECT_EQ(shot.At(8, 100), background);
    // The icon at 16,16: the blue square, the sun, the mountain.
    EXPECT_EQ(shot.At(16 + 8, 16 + 4), Rgb(0x1b, 0x2a, 0x4a));
    EXPECT_EQ(shot.At(16 + 23, 16 + 9), Rgb(0xf5, 0xc5, 0x42));
    EXPECT_EQ(shot.At(16 + 12, 16 + 22), Rgb(0x7a, 0x4f, 0xc9));

    auto count = [&](DWORD colour, int x0, int y0, int x1, int y1) {
        int n = 0;
        for (int y = y0; y < y1 && y < shot.height; ++y)
            for (int x = x0; x < x1 && x < shot.width; ++x) n += shot.At(x, y) == colour;
        return n;
    };
    const DWORD red = Rgb(192, 0, 0), black = Rgb(0, 0, 0), grey = Rgb(170, 170, 170), teal = Rgb(0, 170, 170);
    EXPECT_GT(count(red, 60, 16, shot.width, 64), 30);
    EXPECT_GT(count(black, 61, 17, shot.width, 64), 10);
    EXPECT_EQ(count(red, 0, 0, 60, shot.height), 0);
    int shadowed = 0;
    for (int y = 16; y < 63; ++y)
        for (int x = 60; x < shot.width - 1; ++x)
            shadowed += shot.At(x, y) == red && shot.At(x + 1, y + 1) == black;
    EXPECT_GT(shadowed, 5) << "no black shadow one pixel down and right of the heading";
    EXPECT_GT(count(grey, 60, 64, shot.width, 150), 30);
    EXPECT_EQ(count(grey, 0, 0, 60, shot.height), 0);
    EXPECT_GT(count(teal, 60, 150, shot.width, shot.height), 30);
    EXPECT_EQ(count(teal, 0, 0, shot.width, 150), 0);
    EXPECT_EQ(count(teal, 0, 0, 60, shot.height), 0);

    // Hundreds of repaints: every font made for a paint is gone after it.
    DWORD objectsBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    long createdBefore = FontsCreatedTotal();
    for (int i = 0; i < 300; ++i) RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    gui.Settle();
    EXPECT_GE(FontsCreatedTotal() - createdBefore, 600);
    EXPECT_EQ(LiveFontsCreated(), 0);
    if (objectsBefore) EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), objectsBefore + 2);
    DeleteStoredFolder();
}

TEST_F(Window, StatusTextAndTargetStayWithinTheirBuffers) {
    gui.Start();
    HWND window = gui.Window();
    // 2047 characters and the backslash fill TargetFolder exactly; one more does not fit.
    std::wstring fits(2047, L'a');
    gui.RunOnWindowThread([&] {
        EXPECT_TRUE(SetTargetFolder(fits.c_str(), fits.size()));
        UpdateStatusText(window);
    });
    ASSERT_TRUE(gui.WaitWork());
    EXPECT_EQ(std::wstring(TargetFolder), fits + L"\\");
    EXPECT_EQ(std::wstring(StatusText), Label());  // label and folder together do not fit: the label alone
    std::wstring tooLong(2048, L'b');
    gui.RunOnWindowThread([&] { EXPECT_FALSE(SetTargetFolder(tooLong.c_str(), tooLong.size())); });
    ASSERT_TRUE(gui.WaitWork());
    EXPECT_EQ(std::wstring(TargetFolder), L"");
}

TEST_F(Window, AFolderTooLongForThePathBufferIsReportedAndNothingIsWritten) {
    // A real folder whose name leaves no room for "$create-Thumbnails.cmd" in 512 characters.
    std::wstring folder = CurrentDirectory() + L"\\long_" + Lang();
    CreateDirectoryW(folder.c_str(), nullptr);
    while (folder.size() < 495) {
        folder += L"\\" + std::wstring(std::min<size_t>(100, 494 - folder.size()), L'd');
        CreateDirectoryW(folder.c_str(), nullptr);
    }
    folder += L"\\";
    ASSERT_EQ(folder.size(), 496u);  // 496 + 22 > 512: the script's path does not fit
    HANDLE image = CreateFileW((folder + L"a.jpg").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(image, INVALID_HANDLE_VALUE);
    CloseHandle(image);

    gui.Start();
    gui.RunOnWindowThread([&] { BuildGallery(gui.Window(), folder.c_str()); });
    CaughtBox error;
    ASSERT_TRUE(gui.NextDialog(&error));
    wchar_t system[600] = {};
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_FILENAME_EXCED_RANGE, 0,
                             system, 600, nullptr);
    while (n && (system[n - 1] < 33 || system[n - 1] == L'.')) --n;
    EXPECT_EQ(error.text, Pick(L"System Error:\r\n", L"Systemfehler:\r\n") + std::wstring(system, n));
    EXPECT_EQ(error.shownCaption, WarningCaption());
    EXPECT_EQ(error.style, UINT(MB_ICONERROR));
    EXPECT_EQ(error.shownOwner, gui.Window());
    GuiRun::Press(error.box, IDOK);
    ASSERT_TRUE(gui.WaitWork());
    EXPECT_EQ(std::wstring(StatusText), Pick(L"Working:", L"Bearbeitung:") + L"\r\n\r\n" + folder);
    EXPECT_FALSE(FileExists(folder + L"!pictures.html"));
}

}  // namespace
