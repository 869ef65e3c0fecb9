// Whole files against their golden copies: the page and the thumbnail script
// of the fixture folder, German and English, at a fixed minute.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/common.h"
#include "gallery/build.h"
#include "gallery/listing.h"
#include "gallery/title.h"
#include "tests/support/file_faults.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

fs::path SourceDir() { return fs::path(QUIMBO_SOURCE_DIR); }

// A fresh copy of the fixture folder (the build writes into it).
fs::path CopyFixture(const std::string& name) {
    fs::path dir = fs::path(::testing::TempDir()) / name;
    EXPECT_TRUE(fs::is_directory(SourceDir() / "tests" / "core" / "fixture")) << "the fixture folder is missing";
    fs::remove_all(dir);
    fs::copy(SourceDir() / "tests" / "core" / "fixture", dir, fs::copy_options::recursive);
    return dir;
}

#if QUIMBO_WIN32
std::wstring FolderText(const fs::path& dir) { return dir.wstring() + L"\\"; }
#else
std::string FolderText(const fs::path& dir) { return dir.string() + "/"; }
#endif

class Golden : public ::testing::TestWithParam<const char*> {};

TEST_P(Golden, PageAndScriptMatchByteForByte) {
#if QUIMBO_WIN32
    GTEST_SKIP() << "Wine lists a folder in the host's order; the Windows listing is tested by the Win32 tests";
#endif
    std::string language = GetParam();
    fs::path golden = SourceDir() / "tests" / "core" / "golden" / language;
    ASSERT_TRUE(fs::exists(golden / "!pictures.html")) << "golden files missing in " << golden;
    fs::path dir = CopyFixture("golden_" + language);
    LocalTime fixed{2025, 3, 5, 21, 30};
    SetClockForTests(&fixed);
    GalleryOutcome outcome = WriteGalleryFiles(FolderText(dir).c_str(), language == "de");
    SetClockForTests(nullptr);
    ASSERT_TRUE(outcome.ok) << outcome.error;
    std::string page = ReadAll(dir / "!pictures.html");
    EXPECT_EQ(page, ReadAll(golden / "!pictures.html"));
    EXPECT_EQ(ReadAll(dir / "$create-Thumbnails.cmd"), ReadAll(golden / "$create-Thumbnails.cmd"));

    // The title line must stay inside the part of the page that the next build reads,
    // with room for the longest title that is carried over (78 bytes and its quote).
    size_t marker = page.find("const title=\"");
    ASSERT_NE(marker, std::string::npos);
    EXPECT_LE(marker + 13 + 78 + 1, kTitleReadWindow) << "title marker at byte " << marker;
}

INSTANTIATE_TEST_SUITE_P(Languages, Golden, ::testing::Values("de", "en"));

TEST(Golden, LongestTitleIsCarriedThroughTwoBuilds) {
    fs::path dir = CopyFixture("golden_title");
    ASSERT_TRUE(WriteGalleryFiles(FolderText(dir).c_str(), false).ok);
    std::string page = ReadAll(dir / "!pictures.html");
    std::string title = "Sommer &ndash; " + std::string(60, 'x') + "\xC3\xA4";  // 77 bytes ...
    title += "!";                                                                 // ... 78
    ASSERT_EQ(title.size(), 78u);
    size_t at = page.find("const title=\"Images\"");
    ASSERT_NE(at, std::string::npos);
    page.replace(at + 13, 6, title);
    std::ofstream(dir / "!pictures.html", std::ios::binary) << page;
    ASSERT_TRUE(WriteGalleryFiles(FolderText(dir).c_str(), true).ok);
    std::string carried = "Sommer \xE2\x80\x93 " + std::string(60, 'x') + "\xC3\xA4!";
    std::string rebuilt = ReadAll(dir / "!pictures.html");
    EXPECT_NE(rebuilt.find("const title=\"" + carried + "\";      //  ggf. anpassen (adjust if desired)\r\n"), std::string::npos);
    // and once more: the en dash is kept as it is now
    ASSERT_TRUE(WriteGalleryFiles(FolderText(dir).c_str(), true).ok);
    EXPECT_NE(ReadAll(dir / "!pictures.html").find("const title=\"" + carried + "\""), std::string::npos);
}

TEST(Golden, AFolderTooLongForThePathBufferWritesNothing) {
#if QUIMBO_WIN32
    std::wstring folder(600, L'a');
    folder += L"\\";
#else
    std::string folder = ::testing::TempDir() + std::string(5000, 'a') + "/";
#endif
    GalleryOutcome outcome = WriteGalleryFiles(folder.c_str(), false);
    EXPECT_FALSE(outcome.ok);
    EXPECT_FALSE(outcome.pageCreated);
    EXPECT_FALSE(outcome.scriptCreated);
    EXPECT_EQ(outcome.error, kErrorNameTooLong);
}

// Every name in `dir` that a build leaves behind as a temporary file.
std::vector<std::string> Temporaries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(dir)) {
        std::string name = item.path().filename().string();
        if (name.size() > 11 && name.compare(name.size() - 11, 11, ".quimbo-tmp") == 0) names.push_back(name);
    }
    return names;
}

TEST(Golden, AFailedBuildLeavesTheOldFilesAsTheyWere) {
    enum Fault { Create, Write, Flush, Move, Read, Search };
    struct Case {
        const char* what;
        Fault fault;
        bool pageKept, scriptKept;  // the script is still written when only the page fails
    } cases[] = {
        {"create", Create, true, true},  {"write", Write, true, true},   {"flush", Flush, true, true},
        {"move", Move, true, true},      {"read", Read, true, false},    {"listing cut off", Search, true, false},
    };
    for (const Case& c : cases) {
        fs::path dir = CopyFixture("golden_fault");
        ASSERT_TRUE(WriteGalleryFiles(FolderText(dir).c_str(), false).ok);
        std::string page = ReadAll(dir / "!pictures.html");
        page.replace(page.find("const title=\"Images\"") + 13, 6, "Holiday 2025");
        std::ofstream(dir / "!pictures.html", std::ios::binary) << page;
        std::ofstream(dir / "$create-Thumbnails.cmd", std::ios::binary) << "echo old\r\n";

        GalleryOutcome outcome;
        {
            testsupport::FileFaults faults;
            switch (c.fault) {
                case Create: faults.FailCreate(kErrorDiskFull); break;
                case Write: faults.FailWritesAfter(1000, kErrorDiskFull); break;
                case Flush: faults.FailFlush(kErrorDiskFull); break;
                case Move: faults.FailMove(kErrorDiskFull); break;
                case Read: faults.FailRead(kErrorDiskFull); break;
                case Search: faults.FailSearchAfter(2, kErrorDiskFull); break;
            }
            outcome = WriteGalleryFiles(FolderText(dir).c_str(), false);
        }
        EXPECT_FALSE(outcome.ok) << c.what;
        EXPECT_EQ(outcome.error, kErrorDiskFull) << c.what;
        EXPECT_EQ(std::basic_string<PathChar>(outcome.failedName), kPageName) << c.what;
        EXPECT_EQ(ReadAll(dir / "!pictures.html"), page) << c.what;
        std::string script = ReadAll(dir / "$create-Thumbnails.cmd");
        EXPECT_EQ(script == "echo old\r\n", c.scriptKept) << c.what;
        EXPECT_TRUE(Temporaries(dir).empty()) << c.what << ": " << Temporaries(dir).front();
    }
}

TEST(Golden, AFailedFirstBuildLeavesNoFileBehind) {
    fs::path dir = CopyFixture("golden_first_fault");
    GalleryOutcome outcome;
    {
        testsupport::FileFaults faults;
        faults.FailWritesAfter(1000, kErrorDiskFull);
        outcome = WriteGalleryFiles(FolderText(dir).c_str(), false);
    }
    EXPECT_FALSE(outcome.ok);
    EXPECT_TRUE(outcome.pageCreated);
    EXPECT_TRUE(outcome.scriptCreated);  // the build goes on with the next file
    EXPECT_EQ(outcome.error, kErrorDiskFull);
    EXPECT_FALSE(fs::exists(dir / "!pictures.html"));
    EXPECT_FALSE(fs::exists(dir / "$create-Thumbnails.cmd"));
    EXPECT_TRUE(Temporaries(dir).empty());
}

TEST(Golden, TemporariesOfAKilledRunAreRemovedByTheNextButNotThoseOfARunningOne) {
    fs::path dir = CopyFixture("golden_leftover");
    std::ofstream(dir / "!pictures.html.quimbo-tmp", std::ios::binary) << "half a page";
    std::ofstream(dir / "$create-Thumbnails.cmd.quimbo-tmp", std::ios::binary) << "half a script";
    std::ofstream(dir / "keep.tmp", std::ios::binary) << "not ours";
    ASSERT_TRUE(WriteGalleryFiles(FolderText(dir).c_str(), false).ok);
    EXPECT_TRUE(Temporaries(dir).empty());
    EXPECT_TRUE(fs::exists(dir / "keep.tmp"));
    EXPECT_GT(fs::file_size(dir / "!pictures.html"), 1000u);

    // Another build that is writing the page right now keeps its file; this one fails on the page.
    std::basic_string<PathChar> page = FolderText(dir) + kPageName;
    OutputFile other;
    SystemError error = 0;
    ASSERT_TRUE(BeginOutputFile(page.c_str(), &other, &error));
    std::string before = ReadAll(dir / "!pictures.html");
    GalleryOutcome outcome = WriteGalleryFiles(FolderText(dir).c_str(), false);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(std::basic_string<PathChar>(outcome.failedName), kPageName);
    EXPECT_TRUE(outcome.scriptCreated);
    EXPECT_EQ(Temporaries(dir), std::vector<std::string>{"!pictures.html.quimbo-tmp"});
    EXPECT_EQ(ReadAll(dir / "!pictures.html"), before);
    DiscardOutputFile(&other);
    EXPECT_TRUE(Temporaries(dir).empty());
}

// quimbo-build takes the presence test from the listing's own searches; it
// must answer as FolderHasImages does, and a folder without images gets nothing.
TEST(Golden, TheListingAnswersThePresenceTestAsItselfWould) {
    struct Case {
        const char* what;
        std::vector<std::string> files, folders;
        bool images;
    } cases[] = {
        {"empty", {}, {}, false},
        {"only GIF files", {"a.gif", "B.GIF"}, {}, false},
        {"only previews", {"a_t.jpg"}, {}, true},
        {"only an icon", {"x.ico"}, {}, true},
        {"first *.jpg match a folder, a photo after it", {"b.jpg", "c.txt"}, {"album.jpg"}, true},
        {"a folder, then an image of another kind", {"z.png"}, {"album.jpg"}, true},
        {"only a folder named like an image", {}, {"pic.svg"}, false},
    };
    for (const Case& c : cases) {
        fs::path dir = fs::path(::testing::TempDir()) / "golden_presence";
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (const std::string& name : c.files) std::ofstream(dir / name) << "x";
        for (const std::string& name : c.folders) fs::create_directory(dir / name);
        ASSERT_EQ(FolderHasImages(FolderText(dir).c_str()), c.images) << c.what;
        GalleryOutcome outcome = WriteGalleryFiles(FolderText(dir).c_str(), false, ImageCheck::InListing);
        EXPECT_EQ(outcome.noImages, !c.images) << c.what;
        EXPECT_EQ(outcome.ok, c.images) << c.what;
        EXPECT_EQ(fs::exists(dir / "!pictures.html"), c.images) << c.what;
        EXPECT_EQ(fs::exists(dir / "$create-Thumbnails.cmd"), c.images) << c.what;
        EXPECT_TRUE(Temporaries(dir).empty()) << c.what;
    }
}

}  // namespace
