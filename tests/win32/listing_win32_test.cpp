// The image listing and the file-system tests on real folders, through the
// Windows directory search.
#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include "common/common.h"
#include "gallery/listing.h"
#include "tests/support/page_entries.h"
#include "tests/support/win32_helpers.h"

using namespace testsupport;

namespace {

LineWriter Writer;  // 64 KiB: kept off the stack

// The bytes WriteImageEntries writes for `folder`, caught in a file elsewhere.
std::string ListedBytes(const TempFolder& folder) {
    TempFolder out;
    std::wstring path = out / L"entries.txt";
    SystemError error = 0;
    OutputFile file;
    EXPECT_TRUE(BeginOutputFile(path.c_str(), &file, &error)) << error;
    if (!file.handle) return {};
    StartLines(&Writer, file.handle);
    EXPECT_EQ(WriteImageEntries(&Writer, folder.Path().c_str()), 0u);
    EXPECT_TRUE(FlushLines(&Writer));
    EXPECT_TRUE(CommitOutputFile(&file, path.c_str(), &error)) << error;
    return ReadBytes(path);
}

std::vector<Entry> Listed(const TempFolder& folder) { return ParseEntries(ListedBytes(folder)); }

TEST(Listing, EntriesAreNumberedAcrossPatternsInPatternOrder) {
    TempFolder folder;
    // Made in an order that is neither the pattern order nor the name order.
    MakeFile(folder / L"c.png");
    MakeFile(folder / L"b.jpeg");
    MakeFile(folder / L"Zebra.jpg");
    MakeFile(folder / L"apple.JPG");
    std::vector<Entry> expected = {PlainEntry(1, "apple.JPG"), PlainEntry(2, "Zebra.jpg"), PlainEntry(3, "b.jpeg"),
                                   PlainEntry(4, "c.png")};
    EXPECT_EQ(Listed(folder), expected);
}

TEST(Listing, TwoJpegsAndAPngAreNumberedOneToThree) {
    TempFolder folder;
    MakeFile(folder / L"photo.png");
    MakeFile(folder / L"b.jpg");
    MakeFile(folder / L"a.jpg");
    std::vector<Entry> expected = {PlainEntry(1, "a.jpg"), PlainEntry(2, "b.jpg"), PlainEntry(3, "photo.png")};
    EXPECT_EQ(Listed(folder), expected);
}

TEST(Listing, EveryListedKindInItsPlaceAndNothingTwice) {
    TempFolder folder;
    for (const wchar_t* name : {L"i.ico", L"h.avif", L"g.webp", L"f.gif", L"e.png", L"d.svg", L"c.jfif", L"b.jpeg", L"a.jpg"})
        MakeFile(folder / name);
    MakeFile(folder / L"notes.txt");
    MakeFile(folder / L"a.jpg.bak");
    std::vector<Entry> expected;
    int n = 0;
    for (const char* name : {"a.jpg", "b.jpeg", "c.jfif", "d.svg", "e.png", "f.gif", "g.webp", "h.avif", "i.ico"})
        expected.push_back(PlainEntry(++n, name));
    EXPECT_EQ(Listed(folder), expected);
}

TEST(Listing, PreviewsWorkCopiesAndFoldersAreSkipped) {
    TempFolder folder;
    for (const wchar_t* name : {L"dog_t.jpg", L"DOG_T.JPG", L"map_w.png", L"pic_t.old.jpg", L"cat_T.Png", L"dog.jpg"})
        MakeFile(folder / name);
    MakeFolder(folder / L"album.jpg");
    MakeFile(folder / L"album.jpg\\inside.jpg");
    std::vector<Entry> expected = {PlainEntry(1, "dog.jpg")};
    EXPECT_EQ(Listed(folder), expected);
}

TEST(Listing, HiddenAndReadOnlyImagesAreListed) {
    TempFolder folder;
    MakeFile(folder / L"a.jpg", "x", FILE_ATTRIBUTE_HIDDEN);
    MakeFile(folder / L"b.jpg", "x", FILE_ATTRIBUTE_READONLY);
    MakeFile(folder / L"c.jpg", "x", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
    // The attributes must really be there, or the test would prove nothing.
    ASSERT_TRUE(GetFileAttributesW((folder / L"a.jpg").c_str()) & FILE_ATTRIBUTE_HIDDEN);
    ASSERT_TRUE(GetFileAttributesW((folder / L"b.jpg").c_str()) & FILE_ATTRIBUTE_READONLY);
    std::vector<Entry> expected = {PlainEntry(1, "a.jpg"), PlainEntry(2, "b.jpg"), PlainEntry(3, "c.jpg")};
    EXPECT_EQ(Listed(folder), expected);
}

TEST(Listing, NamesAreEncodedForSrcAndKeptForAltAndCaption) {
    TempFolder folder;
    MakeFile(folder / L"Sch\u00F6ne Aussicht.jpg");
    MakeFile(folder / L"Tom & Jerry.png");
    MakeFile(folder / L"(1) it's!.png");
    MakeFile(folder / L"\U0001F306 city.svg");
    std::vector<Entry> expected = {
        {"001", "Sch%C3%B6ne%20Aussicht.jpg", "Sch\xC3\xB6ne Aussicht.jpg", "Sch\xC3\xB6ne Aussicht.jpg"},
        {"002", "%F0%9F%8C%86%20city.svg", "\xF0\x9F\x8C\x86 city.svg", "\xF0\x9F\x8C\x86 city.svg"},
        {"003", "%281%29%20it%27s%21.png", "(1) it's!.png", "(1) it's!.png"},
        {"004", "Tom%20%26%20Jerry.png", "Tom & Jerry.png", "Tom & Jerry.png"},
    };
    EXPECT_EQ(Listed(folder), expected);
}

// The four lines of an entry as the page script expects them, byte for byte;
// images load lazily from the first byte of the page, hence loading="lazy" right after alt.
TEST(Listing, EntryLinesAreByteExact) {
    TempFolder folder;
    MakeFile(folder / L"Foto 1.jpg");
    EXPECT_EQ(ListedBytes(folder),
              "<figure>\r\n"
              " <img id=\"001\" class=\"bild zoom\" src=\"Foto%201.jpg\" alt=\"Foto 1.jpg\" loading=\"lazy\" onload=\"getDimensions(this)\">\r\n"
              " <figcaption onclick=\"toggleDim()\" title=\"[I]nfo&hellip;\">Foto 1.jpg</figcaption>\r\n"
              "</figure>\r\n\r\n");
}

TEST(Listing, AFolderWithoutMatchesWritesNothing) {
    TempFolder folder;
    MakeFile(folder / L"readme.txt");
    MakeFile(folder / L"only_t.jpg");
    EXPECT_EQ(ListedBytes(folder), "");
}

TEST(Listing, TheThousandthEntryHasFourDigits) {
    TempFolder folder;
    for (int i = 1; i <= 1000; ++i) {
        wchar_t name[32];
        swprintf(name, 32, L"img%04d.png", i);
        MakeFile(folder / name, "");
    }
    std::vector<Entry> entries = Listed(folder);
    ASSERT_EQ(entries.size(), 1000u);
    EXPECT_EQ(entries[998], PlainEntry(999, "img0999.png"));
    EXPECT_EQ(entries[999], (Entry{"1000", "img1000.png", "img1000.png", "img1000.png"}));
}

// ---- Presence test ---------------------------------------------------------------------------

TEST(Presence, GifOnlyIsRefusedIconOnlyAndPreviewsOnlyAreAccepted) {
    TempFolder gifs, icons, previews, empty, missing;
    MakeFile(gifs / L"a.gif");
    MakeFile(gifs / L"b.GIF");
    MakeFile(icons / L"favicon.ICO");
    MakeFile(previews / L"dog_t.jpg");
    MakeFile(empty / L"notes.txt");
    EXPECT_FALSE(FolderHasImages(gifs.Path().c_str()));
    EXPECT_TRUE(FolderHasImages(icons.Path().c_str()));
    EXPECT_TRUE(FolderHasImages(previews.Path().c_str()));
    EXPECT_FALSE(FolderHasImages(empty.Path().c_str()));
    EXPECT_FALSE(FolderHasImages((missing / L"not here\\").c_str()));
}

TEST(Presence, EveryPresenceKindCounts) {
    for (const wchar_t* name : {L"a.svg", L"a.jpg", L"a.jfif", L"a.jpeg", L"a.png", L"a.ico", L"a.avif", L"a.webp"}) {
        TempFolder folder;
        MakeFile(folder / name);
        EXPECT_TRUE(FolderHasImages(folder.Path().c_str())) << Utf8(name);
    }
}

// The window's presence test too: a folder named like an image hides no image beside it.
TEST(Presence, AFolderAsFirstJpgMatchHidesNoImageBehindIt) {
    TempFolder jpgOnly, withPng;
    for (TempFolder* folder : {&jpgOnly, &withPng}) {
        MakeFolder(*folder / L"album.jpg");  // found before the file by the search
        MakeFile(*folder / L"zebra.jpg");
    }
    MakeFile(withPng / L"z.png");
    ASSERT_TRUE(FileMatchExists((jpgOnly / L"*.jpg").c_str()));
    EXPECT_TRUE(FolderHasImages(jpgOnly.Path().c_str()));
    EXPECT_TRUE(FolderHasImages(withPng.Path().c_str()));
    // and the listing still lists the file behind the folder
    std::vector<Entry> expected = {PlainEntry(1, "zebra.jpg"), PlainEntry(2, "z.png")};
    EXPECT_EQ(Listed(withPng), expected);
}

// ---- File-system tests -------------------------------------------------------------------------

TEST(FileTests, PathExists) {
    TempFolder folder;
    MakeFile(folder / L"file.txt");
    MakeFile(folder / L"hidden.txt", "x", FILE_ATTRIBUTE_HIDDEN);
    MakeFolder(folder / L"sub");
    EXPECT_TRUE(PathExists((folder / L"file.txt").c_str()));
    EXPECT_TRUE(PathExists((folder / L"hidden.txt").c_str()));
    EXPECT_TRUE(PathExists((folder / L"sub").c_str()));
    EXPECT_TRUE(PathExists((folder / L"sub\\").c_str()));
    EXPECT_TRUE(PathExists(L"C:\\"));
    EXPECT_FALSE(PathExists((folder / L"missing.txt").c_str()));
    EXPECT_FALSE(PathExists((folder / L"missing\\file.txt").c_str()));
    EXPECT_FALSE(PathExists(L""));
}

TEST(FileTests, FileMatchExistsLooksAtEveryMatch) {
    TempFolder folder;
    MakeFile(folder / L"b.txt");
    MakeFolder(folder / L"a.txt");  // a folder that sorts first
    MakeFolder(folder / L"dir");
    EXPECT_TRUE(FileMatchExists((folder / L"b.txt").c_str()));
    EXPECT_TRUE(FileMatchExists((folder / L"B.TXT").c_str()));
    EXPECT_TRUE(FileMatchExists((folder / L"?.txt").c_str()));  // the folder a.txt comes first, the file b.txt after
    EXPECT_FALSE(FileMatchExists((folder / L"a.txt").c_str()));
    EXPECT_FALSE(FileMatchExists((folder / L"dir").c_str()));
    EXPECT_FALSE(FileMatchExists((folder / L"*.none").c_str()));
    EXPECT_FALSE(FileMatchExists((folder / L"missing\\*.txt").c_str()));
    EXPECT_FALSE(FileMatchExists(L"C:\\"));
}

TEST(FileTests, FirstMatchSizeGivesTheLow32BitsOfTheFirstMatch) {
    TempFolder folder;
    MakeFile(folder / L"five.bin", "12345");
    MakeFile(folder / L"empty.bin", "");
    MakeFolder(folder / L"dir");
    EXPECT_EQ(FirstMatchSize((folder / L"five.bin").c_str()), 5u);
    EXPECT_EQ(FirstMatchSize((folder / L"f*.bin").c_str()), 5u);
    EXPECT_EQ(FirstMatchSize((folder / L"empty.bin").c_str()), 0u);
    EXPECT_EQ(FirstMatchSize((folder / L"dir").c_str()), 0u);
    EXPECT_EQ(FirstMatchSize((folder / L"missing.bin").c_str()), 0u);
    EXPECT_EQ(FirstMatchSize(L"C:\\"), 0u);

    // 4 GiB and 10 bytes, sparse, so it costs no disk.
    std::wstring big = folder / L"big.bin";
    HANDLE file = CreateFileW(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD ignored = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    LARGE_INTEGER size;
    size.QuadPart = (4LL << 30) + 10;
    ASSERT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file));
    CloseHandle(file);
    EXPECT_EQ(FirstMatchSize(big.c_str()), 10u);
}

TEST(FileTests, SystemErrorTextIsTheSystemsSentenceWithoutItsEnd) {
    wchar_t raw[1024];
    DWORD rawLength = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 5, 0, raw, 1024, nullptr);
    ASSERT_GT(rawLength, 0u);
    std::wstring system(raw, rawLength);

    wchar_t text[kSystemErrorTextCapacity];
    std::wstring trimmed = SystemErrorText(5, text);
    ASSERT_FALSE(trimmed.empty());
    EXPECT_EQ(system.compare(0, trimmed.size(), trimmed), 0) << Utf8(system);
    EXPECT_NE(trimmed.back(), L'.');
    EXPECT_GE(trimmed.back(), 33);
    // what was cut is only the full stop and the line end
    for (wchar_t c : system.substr(trimmed.size())) EXPECT_TRUE(c == L'.' || c < 33) << int(c);
    EXPECT_NE(system.find(L'.', trimmed.size()), std::wstring::npos) << "the sentence had a full stop";

    // A code the system has no text for gives an empty text.
    EXPECT_STREQ(SystemErrorText(0x2FFFFFFF, text), L"");
}

}  // namespace
