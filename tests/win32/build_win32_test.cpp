// BuildGallery as the window runs it: the files it leaves, the status text, and
// the boxes it shows (caught on this thread and answered).
#include <gtest/gtest.h>

#include <thread>

#include "common/common.h"
#include "gallery/build.h"
#include "gallery/listing.h"
#include "gallery/title.h"
#include "shell/icon_message.h"
#include "shell/main_window.h"
#include "tests/support/box_catcher.h"
#include "tests/support/file_faults.h"
#include "tests/support/page_entries.h"
#include "tests/support/win32_helpers.h"

using namespace testsupport;

namespace {

// A hidden top-level window that records the WM_COMMAND messages it gets (one at a time).
std::vector<WPARAM> RecordedCommands;
std::vector<LPARAM> RecordedParams;

LRESULT CALLBACK RecordCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COMMAND) return DefWindowProcW(window, message, wParam, lParam);
    RecordedCommands.push_back(wParam);
    RecordedParams.push_back(lParam);
    return 0;
}

class TestWindow {
public:
    TestWindow() {
        static ATOM registered = 0;
        if (!registered) {
            WNDCLASSW cls = {};
            cls.lpfnWndProc = RecordCommand;
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
    ~TestWindow() {
        if (window_) DestroyWindow(window_);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    HWND Handle() const { return window_; }
    const std::vector<WPARAM>& Commands() const { return RecordedCommands; }
    const std::vector<LPARAM>& CommandParams() const { return RecordedParams; }

private:
    HWND window_;
};

const wchar_t kQuestionEn[] = L"Start gallery now with browser?";
const wchar_t kQuestionDe[] = L"Galerie jetzt mit Browser starten?";
const wchar_t kCompletionCaption[] = L"\U0001F306 Quimbo - Image Gallery";
const UINT kCompletionStyle = MB_YESNOCANCEL | MB_USERICON | MB_SETFOREGROUND;

std::wstring ErrorText(DWORD code) {
    wchar_t text[kSystemErrorTextCapacity];
    return SystemErrorText(code, text);
}

// Sets GermanUi for one test and puts it back.
struct Language {
    explicit Language(bool german) { GermanUi = german; }
    ~Language() { GermanUi = false; }
};

// The error box as it must look for `code`, and the status it leaves.
void ExpectErrorBox(const CaughtBox& box, HWND window, DWORD code, bool german) {
    std::wstring expectedText = (german ? L"Systemfehler:\r\n" : L"System Error:\r\n") + ErrorText(code);
    const wchar_t* caption = german ? L"F E H L E R" : L"E R R O R";
    EXPECT_FALSE(box.indirect);
    EXPECT_EQ(box.owner, window);
    EXPECT_EQ(box.style, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(Utf8(box.text), Utf8(expectedText));
    EXPECT_EQ(Utf8(box.caption), Utf8(caption));
    // and on the screen
    EXPECT_TRUE(box.shown);
    EXPECT_EQ(Utf8(box.shownText), Utf8(expectedText));
    EXPECT_EQ(Utf8(box.shownCaption), Utf8(caption));
    EXPECT_EQ(box.shownOwner, window);
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
    EXPECT_TRUE(box.errorIcon);
}

std::wstring WorkingStatus(const std::wstring& folder, bool german) {
    return (german ? L"Bearbeitung:\r\n\r\n" : L"Working:\r\n\r\n") + folder;
}

// ---- Completion box ------------------------------------------------------------------------------

struct CompletionCase {
    bool german;
    int answer;
};

class Completion : public ::testing::TestWithParam<CompletionCase> {};

TEST_P(Completion, BoxTextStatusAndAnswer) {
    CompletionCase c = GetParam();
    Language language(c.german);
    TempFolder folder;
    MakeFile(folder / L"a.jpg");
    TestWindow window;
    BoxCatcher catcher({c.answer});
    BuildGallery(window.Handle(), folder.Path().c_str());

    std::wstring status = (c.german ? L"Galerie erstellt:\r" : L"Gallery created:\r\n\r\n") + folder.Path() + L"!pictures.html";
    EXPECT_EQ(Utf8(StatusText), Utf8(status));
    ASSERT_EQ(catcher.Boxes().size(), 1u);
    const CaughtBox box = catcher.Boxes()[0];
    std::wstring text = status + L"\r\r" + (c.german ? kQuestionDe : kQuestionEn);
    EXPECT_TRUE(box.indirect);
    EXPECT_EQ(Utf8(box.text), Utf8(text));
    EXPECT_EQ(Utf8(box.caption), Utf8(kCompletionCaption));
    EXPECT_EQ(box.style, kCompletionStyle);
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.recordSize, sizeof(MSGBOXPARAMSW));
    EXPECT_EQ(box.instance, GetModuleHandleW(nullptr));
    EXPECT_EQ(Utf8(box.iconName), "I");
    EXPECT_EQ(box.contextHelpId, 1u);
    EXPECT_FALSE(box.hasCallback);
    EXPECT_EQ(box.languageId, 0u);
    EXPECT_TRUE(box.shown);
    EXPECT_EQ(Utf8(box.shownText), Utf8(text));
    EXPECT_EQ(Utf8(box.shownCaption), Utf8(kCompletionCaption));
    EXPECT_EQ(box.buttons, (std::vector<int>{IDCANCEL, IDYES, IDNO}));

    if (c.answer == IDYES) {
        ASSERT_EQ(window.Commands().size(), 1u);
        EXPECT_EQ(window.Commands()[0], static_cast<WPARAM>(CMD_RUN_GALLERY));
        EXPECT_EQ(window.CommandParams()[0], 0);
        EXPECT_TRUE(IsIconic(window.Handle()));
    } else {
        EXPECT_TRUE(window.Commands().empty());
        EXPECT_FALSE(IsIconic(window.Handle()));
        EXPECT_FALSE(IsWindowVisible(window.Handle()));
    }
    // both files are there either way
    EXPECT_EQ(ReadBytes(folder / L"!pictures.html").substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(ReadBytes(folder / L"$create-Thumbnails.cmd"), "<missing>");
}

INSTANTIATE_TEST_SUITE_P(Answers, Completion,
                         ::testing::Values(CompletionCase{false, IDYES}, CompletionCase{false, IDNO},
                                           CompletionCase{false, IDCANCEL}, CompletionCase{true, IDYES},
                                           CompletionCase{true, IDNO}, CompletionCase{true, IDCANCEL}),
                         [](const ::testing::TestParamInfo<CompletionCase>& info) {
                             const char* answer = info.param.answer == IDYES ? "Yes" : info.param.answer == IDNO ? "No" : "Cancel";
                             return std::string(info.param.german ? "German" : "English") + answer;
                         });

// ---- Files ----------------------------------------------------------------------------------------

TEST(Build, PageHoldsTheEntriesOfTheFolder) {
    TempFolder folder;
    MakeFile(folder / L"x.png");
    MakeFile(folder / L"b.jpeg");
    MakeFile(folder / L"a.jpg");
    MakeFile(folder / L"a_t.jpg");
    TestWindow window;
    BoxCatcher catcher({IDNO});
    BuildGallery(window.Handle(), folder.Path().c_str());
    std::vector<Entry> expected = {PlainEntry(1, "a.jpg"), PlainEntry(2, "b.jpeg"), PlainEntry(3, "x.png")};
    EXPECT_EQ(ParseEntries(ReadBytes(folder / L"!pictures.html")), expected);
}

TEST(Build, ReadOnlyHiddenAndSystemOutputsAreReplacedWithNormalAttributes) {
    TempFolder folder;
    MakeFile(folder / L"a.jpg");
    const DWORD sticky = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    for (const wchar_t* name : {L"!pictures.html", L"$create-Thumbnails.cmd"}) {
        MakeFile(folder / name, "old content", sticky);
        ASSERT_EQ(GetFileAttributesW((folder / name).c_str()) & sticky, sticky) << "the file system keeps no attributes";
    }
    TestWindow window;
    BoxCatcher catcher({IDNO});
    BuildGallery(window.Handle(), folder.Path().c_str());
    ASSERT_EQ(catcher.Boxes().size(), 1u);
    EXPECT_TRUE(catcher.Boxes()[0].indirect) << "the completion box, not an error";
    for (const wchar_t* name : {L"!pictures.html", L"$create-Thumbnails.cmd"}) {
        DWORD attributes = GetFileAttributesW((folder / name).c_str());
        EXPECT_EQ(attributes & (sticky | FILE_ATTRIBUTE_DIRECTORY), 0u) << Utf8(name);
        EXPECT_NE(ReadBytes(folder / name), "old content") << Utf8(name);
    }
    EXPECT_EQ(ParseEntries(ReadBytes(folder / L"!pictures.html")), std::vector<Entry>{PlainEntry(1, "a.jpg")});
}

TEST(Build, APageHeldOpenByAnotherHandleGivesTheSharingViolationBox) {
    TempFolder folder;
    MakeFile(folder / L"a.jpg");
    std::string oldPage = "<script>\r\nconst title=\"Urlaub 2024\";\r\n</script>\r\n";
    MakeFile(folder / L"!pictures.html", oldPage);
    std::wstring page = folder / L"!pictures.html";
    HANDLE held = CreateFileW(page.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    // The title cannot be read while the page is held: the default title.
    EXPECT_EQ(std::string(ReadCarriedTitle(page.c_str(), false).text), "Images");
    EXPECT_EQ(std::string(ReadCarriedTitle(page.c_str(), true).text), "Bilder");

    TestWindow window;
    {
        BoxCatcher catcher({IDOK});
        BuildGallery(window.Handle(), folder.Path().c_str());
        ASSERT_EQ(catcher.Boxes().size(), 1u);
        ExpectErrorBox(catcher.Boxes()[0], window.Handle(), ERROR_SHARING_VIOLATION, false);
    }
    EXPECT_EQ(Utf8(StatusText), Utf8(WorkingStatus(folder.Path(), false)));
    EXPECT_TRUE(window.Commands().empty());
    CloseHandle(held);

    // The page kept its content; the script was written all the same.
    EXPECT_EQ(ReadBytes(page), oldPage);
    EXPECT_NE(ReadBytes(folder / L"$create-Thumbnails.cmd"), "<missing>");
    // Once it is free again, its title is found.
    EXPECT_EQ(std::string(ReadCarriedTitle(page.c_str(), false).text), "Urlaub 2024");
}

TEST(Build, AScriptHeldOpenGivesTheGermanErrorBoxAfterTheWholePage) {
    Language language(true);
    TempFolder folder;
    MakeFile(folder / L"a.jpg");
    MakeFile(folder / L"$create-Thumbnails.cmd", "rem old\r\n");
    HANDLE held = CreateFileW((folder / L"$create-Thumbnails.cmd").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    TestWindow window;
    {
        BoxCatcher catcher({IDOK});
        BuildGallery(window.Handle(), folder.Path().c_str());
        ASSERT_EQ(catcher.Boxes().size(), 1u);
        ExpectErrorBox(catcher.Boxes()[0], window.Handle(), ERROR_SHARING_VIOLATION, true);
    }
    CloseHandle(held);
    EXPECT_EQ(Utf8(StatusText), Utf8(WorkingStatus(folder.Path(), true)));
    EXPECT_EQ(ParseEntries(ReadBytes(folder / L"!pictures.html")), std::vector<Entry>{PlainEntry(1, "a.jpg")});
    EXPECT_EQ(ReadBytes(folder / L"$create-Thumbnails.cmd"), "rem old\r\n");
}

// A write that fails halfway is a failure, with the system's text for it, and
// the old page stays as it was, title and all.
TEST(Build, AWriteFailureHalfwayShowsTheErrorBoxAndKeepsTheOldPage) {
    for (DWORD code : {static_cast<DWORD>(ERROR_DISK_FULL), static_cast<DWORD>(ERROR_NOT_READY)}) {
        TempFolder folder;
        MakeFile(folder / L"a.jpg");
        std::string oldPage = "<script>\r\nconst title=\"Holiday 2025\";\r\n</script>\r\n";
        MakeFile(folder / L"!pictures.html", oldPage, FILE_ATTRIBUTE_READONLY);
        TestWindow window;
        {
            testsupport::FileFaults faults;
            faults.FailWritesAfter(100, code);
            BoxCatcher catcher({IDOK});
            BuildGallery(window.Handle(), folder.Path().c_str());
            ASSERT_EQ(catcher.Boxes().size(), 1u) << code;
            ExpectErrorBox(catcher.Boxes()[0], window.Handle(), code, false);
        }
        EXPECT_EQ(Utf8(StatusText), Utf8(WorkingStatus(folder.Path(), false)));
        EXPECT_EQ(ReadBytes(folder / L"!pictures.html"), oldPage);
        EXPECT_EQ(ReadBytes(folder / L"$create-Thumbnails.cmd"), "<missing>") << "no half a script either";
        WIN32_FIND_DATAW data;
        HANDLE left = FindFirstFileW((folder / L"*.quimbo-tmp").c_str(), &data);
        EXPECT_EQ(left, INVALID_HANDLE_VALUE) << Utf8(data.cFileName);
        if (left != INVALID_HANDLE_VALUE) FindClose(left);
    }
}

// A folder of `length` units (trailing backslash included) inside `base`,
// made of nested folders; empty when the file system refuses it.
std::wstring MakeLongFolder(const std::wstring& base, size_t length) {
    std::wstring path = base;
    size_t remaining = length - base.size();
    size_t parts = (remaining + 200) / 201;  // each at most 200 units and its backslash
    for (size_t i = 0; i < parts; ++i) {
        size_t take = remaining / (parts - i);
        path += std::wstring(take - 1, L'd') + L"\\";
        remaining -= take;
        if (!CreateDirectoryW(path.c_str(), nullptr)) return {};
    }
    return path;
}

TEST(Build, AFolderThatJustFitsThePathBufferIsBuilt) {
    TempFolder base;
    std::wstring folder = MakeLongFolder(base.Path(), 512 - 22);
    ASSERT_EQ(folder.size(), 490u);
    MakeFile(folder + L"a.jpg");
    ASSERT_TRUE(FolderHasImages(folder.c_str()));
    TestWindow window;
    BoxCatcher catcher({IDNO});
    BuildGallery(window.Handle(), folder.c_str());
    ASSERT_EQ(catcher.Boxes().size(), 1u);
    EXPECT_TRUE(catcher.Boxes()[0].indirect) << Utf8(catcher.Boxes()[0].text);
    EXPECT_EQ(ParseEntries(ReadBytes(folder + L"!pictures.html")), std::vector<Entry>{PlainEntry(1, "a.jpg")});
    EXPECT_NE(ReadBytes(folder + L"$create-Thumbnails.cmd"), "<missing>");
}

TEST(Build, AFolderTooLongForThePathBufferWritesNothing) {
    TempFolder base;
    std::wstring folder = MakeLongFolder(base.Path(), 512 - 22 + 1);  // the page name fits, the script's does not
    ASSERT_EQ(folder.size(), 491u);
    MakeFile(folder + L"a.jpg");
    ASSERT_TRUE(FolderHasImages(folder.c_str()));
    TestWindow window;
    {
        BoxCatcher catcher({IDOK});
        BuildGallery(window.Handle(), folder.c_str());
        ASSERT_EQ(catcher.Boxes().size(), 1u);
        ExpectErrorBox(catcher.Boxes()[0], window.Handle(), ERROR_FILENAME_EXCED_RANGE, false);
    }
    EXPECT_EQ(Utf8(StatusText), Utf8(WorkingStatus(folder, false)));
    EXPECT_EQ(ReadBytes(folder + L"!pictures.html"), "<missing>");
    EXPECT_EQ(ReadBytes(folder + L"$create-Thumbnails.cmd"), "<missing>");
    // nothing spilled into the folders above either
    WIN32_FIND_DATAW data;
    for (std::wstring up = folder.substr(0, folder.size() - 1); up.size() >= base.Path().size() - 1;) {
        for (const wchar_t* pattern : {L"*.html", L"*.cmd", L"!*", L"$*"}) {
            HANDLE search = FindFirstFileW((up + L"\\" + pattern).c_str(), &data);
            EXPECT_EQ(search, INVALID_HANDLE_VALUE) << Utf8(up) << " " << Utf8(data.cFileName);
            if (search != INVALID_HANDLE_VALUE) FindClose(search);
        }
        size_t cut = up.rfind(L'\\');
        if (cut == std::wstring::npos) break;
        up.resize(cut);
    }
}

// Another build of the folder (quimbo-build making previews, another window)
// holds its lock: the window waits a second at most, then says the folder is
// in use and writes nothing. One that ends within the second is waited for.
TEST(Build, AFolderThatAnotherBuildHoldsGivesTheBusyBoxOrIsWaitedFor) {
    for (DWORD holdMs : {DWORD(INFINITE), DWORD(300)}) {
        TempFolder folder;
        MakeFile(folder / L"a.jpg");
        HANDLE taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::thread holder([&] {
            FolderLock lock;
            EXPECT_TRUE(LockFolder(folder.Path().c_str(), 0, &lock));
            SetEvent(taken);
            WaitForSingleObject(release, holdMs);
            UnlockFolder(&lock);
        });
        WaitForSingleObject(taken, INFINITE);
        TestWindow window;
        {
            BoxCatcher catcher({holdMs == INFINITE ? IDOK : IDNO});
            DWORD start = GetTickCount();
            BuildGallery(window.Handle(), folder.Path().c_str());
            DWORD waited = GetTickCount() - start;
            ASSERT_EQ(catcher.Boxes().size(), 1u);
            if (holdMs == INFINITE) {
                ExpectErrorBox(catcher.Boxes()[0], window.Handle(), ERROR_BUSY, false);
                EXPECT_NE(ErrorText(ERROR_BUSY), L"") << "the box says why";
                EXPECT_GE(waited, 900u);
                EXPECT_LT(waited, 5000u);
                EXPECT_EQ(ReadBytes(folder / L"!pictures.html"), "<missing>");
            } else {
                EXPECT_TRUE(catcher.Boxes()[0].indirect) << "the completion box: " << Utf8(catcher.Boxes()[0].text);
                EXPECT_EQ(ParseEntries(ReadBytes(folder / L"!pictures.html")), std::vector<Entry>{PlainEntry(1, "a.jpg")});
            }
        }
        SetEvent(release);
        holder.join();
        CloseHandle(taken);
        CloseHandle(release);
    }
}

}  // namespace
