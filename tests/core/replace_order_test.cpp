// The order of the file calls of a safe replace, as the fault seam sees them:
// a temporary is written, flushed, closed and only then moved over its final
// name, and after a failed write, flush or close nothing is moved. For both
// writers: WriteWholeFile (the previews) and the line writer of the page.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/common.h"
#include "gallery/build.h"
#include "tests/support/file_faults.h"

namespace fs = std::filesystem;
using testsupport::FileCall;
using testsupport::FileFaults;
using testsupport::TemporarySequence;

namespace {

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

#if QUIMBO_WIN32
std::wstring Native(const fs::path& path) { return path.wstring(); }
#else
std::string Native(const fs::path& path) { return path.string(); }
#endif

std::vector<std::string> Temporaries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(dir))
        if (item.path().extension() == ".quimbo-tmp") names.push_back(item.path().filename().string());
    return names;
}

enum class Fault { None, Write, Flush, Close, Move };

void Arm(FileFaults& faults, Fault fault) {
    switch (fault) {
        case Fault::None: break;
        case Fault::Write: faults.FailWritesAfter(100, kErrorDiskFull); break;
        case Fault::Flush: faults.FailFlush(kErrorDiskFull); break;
        case Fault::Close: faults.FailClose(kErrorDiskFull); break;
        case Fault::Move: faults.FailMove(kErrorDiskFull); break;
    }
}

struct Case {
    const char* what;
    Fault fault;
    const char* sequence;
} const kCases[] = {
    {"no fault", Fault::None, "create write flush close move"},
    {"write fails halfway", Fault::Write, "create write! close"},
    {"flush fails", Fault::Flush, "create write flush! close"},
    {"close fails", Fault::Close, "create write flush close!"},
    {"move fails", Fault::Move, "create write flush close move!"},
};

TEST(ReplaceOrder, WholeFileIsWrittenFlushedClosedThenMoved) {
    fs::path dir = fs::path(::testing::TempDir()) / "replace_order_whole";
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::string bytes(5000, 'n');
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        std::ofstream(dir / "a_t.jpg", std::ios::binary) << "old";
        SystemError error = 0;
        bool written;
        std::vector<FileCall> calls;
        {
            FileFaults faults;
            Arm(faults, c.fault);
            written = WriteWholeFile(Native(dir / "a_t.jpg").c_str(), bytes.data(), bytes.size(), &error);
            calls = faults.Calls();
        }
        EXPECT_EQ(TemporarySequence(calls, "a_t.jpg"), c.sequence) << testsupport::CallLogText(calls);
        EXPECT_EQ(written, c.fault == Fault::None);
        EXPECT_EQ(ReadAll(dir / "a_t.jpg"), written ? bytes : "old");
        if (!written) EXPECT_EQ(error, kErrorDiskFull);
        EXPECT_EQ(Temporaries(dir), std::vector<std::string>{});
    }
}

TEST(ReplaceOrder, PageAndScriptAreWrittenFlushedClosedThenMoved) {
    fs::path dir = fs::path(::testing::TempDir()) / "replace_order_page";
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "a.jpg", std::ios::binary) << "x";
#if QUIMBO_WIN32
    std::wstring folder = dir.wstring() + L"\\";
#else
    std::string folder = dir.string() + "/";
#endif
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        std::ofstream(dir / "!pictures.html", std::ios::binary) << "old page";
        std::ofstream(dir / "$create-Thumbnails.cmd", std::ios::binary) << "old script";
        GalleryOutcome outcome;
        std::vector<FileCall> calls;
        {
            FileFaults faults;
            Arm(faults, c.fault);
            outcome = WriteGalleryFiles(folder.c_str(), false);
            calls = faults.Calls();
        }
        for (const char* name : {"!pictures.html", "$create-Thumbnails.cmd"})
            EXPECT_EQ(TemporarySequence(calls, name), c.sequence) << name << "\n" << testsupport::CallLogText(calls);
        EXPECT_EQ(outcome.ok, c.fault == Fault::None);
        if (!outcome.ok) {
            EXPECT_EQ(outcome.error, kErrorDiskFull);
            EXPECT_EQ(ReadAll(dir / "!pictures.html"), "old page");
            EXPECT_EQ(ReadAll(dir / "$create-Thumbnails.cmd"), "old script");
        }
        EXPECT_EQ(Temporaries(dir), std::vector<std::string>{});
    }
}

// The faults can be aimed at one file: the others are written as always.
TEST(ReplaceOrder, AFaultAimedAtThePageLeavesTheScriptAlone) {
    fs::path dir = fs::path(::testing::TempDir()) / "replace_order_aimed";
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "a.jpg", std::ios::binary) << "x";
    std::ofstream(dir / "!pictures.html", std::ios::binary) << "old page";
#if QUIMBO_WIN32
    std::wstring folder = dir.wstring() + L"\\";
#else
    std::string folder = dir.string() + "/";
#endif
    GalleryOutcome outcome;
    std::vector<FileCall> calls;
    {
        FileFaults faults;
        faults.FailClose(kErrorDiskFull).AimAt("!pictures.html");
        outcome = WriteGalleryFiles(folder.c_str(), false);
        calls = faults.Calls();
    }
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(TemporarySequence(calls, "!pictures.html"), "create write flush close!");
    EXPECT_EQ(TemporarySequence(calls, "$create-Thumbnails.cmd"), "create write flush close move");
    EXPECT_EQ(ReadAll(dir / "!pictures.html"), "old page");
    EXPECT_GT(fs::file_size(dir / "$create-Thumbnails.cmd"), 100u);
}

}  // namespace
