// The gallery files are replaced whole or not at all: a full disk keeps the
// old page, links are replaced and never written through, and special files
// are refused without waiting.
#include <gtest/gtest.h>

#include <errno.h>
#include <sched.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "tests/cli/cli_run.h"

namespace {

using namespace clitest;

const char* const kNames[] = {"!pictures.html", "$create-Thumbnails.cmd"};

std::vector<std::string> Temporaries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(dir)) {
        std::string name = item.path().filename().string();
        if (name.size() > 11 && name.compare(name.size() - 11, 11, ".quimbo-tmp") == 0) names.push_back(name);
    }
    return names;
}

// Gives the page in `dir` the title `title` in place of the default one.
void SetTitle(const fs::path& dir, const std::string& title) {
    std::string page = ReadAll(dir / "!pictures.html");
    size_t at = page.find("const title=\"Images\"");
    ASSERT_NE(at, std::string::npos);
    page.replace(at + 13, 6, title);
    std::ofstream(dir / "!pictures.html", std::ios::binary) << page;
}

TEST(Replace, AFullDiskKeepsTheOldPageWithItsTitle) {
    fs::path dir = Scratch() / "replace_full";
    fs::remove_all(dir);
    fs::create_directories(dir);
    // A disk of our own: a small tmpfs in a mount namespace of this test process.
    if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << strerror(errno);
    struct Unmount {
        fs::path at;
        ~Unmount() { umount(at.c_str()); }
    } unmount{dir};
    for (const char* image : {"a.jpg", "b.png"}) std::ofstream(dir / image) << "x";
    ASSERT_EQ(QuimboBuild(Quote(dir)).exitCode, 0);
    SetTitle(dir, "Holiday 2025");
    std::string page = ReadAll(dir / "!pictures.html");
    std::string script = ReadAll(dir / "$create-Thumbnails.cmd");

    // Fill the disk up to a few blocks: too little for a second page beside the first.
    {
        std::ofstream filler(dir / "filler", std::ios::binary);
        std::string block(4096, 'f');
        while (filler.write(block.data(), block.size()) && filler.flush()) {
        }
    }
    fs::resize_file(dir / "filler", fs::file_size(dir / "filler") - 3 * 4096);

    RunResult run = QuimboBuild(Quote(dir));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "quimbo-build: cannot write " + (dir / "!pictures.html").string() + ": No space left on device\n");
    EXPECT_EQ(ReadAll(dir / "!pictures.html"), page);
    EXPECT_EQ(ReadAll(dir / "$create-Thumbnails.cmd"), script);  // whole: rewritten in full or kept
    EXPECT_TRUE(Temporaries(dir).empty());
}

TEST(Replace, ALinkIsReplacedItselfAndItsTargetStaysUntouched) {
    fs::path outside = Scratch() / "replace_outside.txt";
    struct Case {
        const char* what;
        fs::path target;
    } cases[] = {
        {"link to a file outside", outside},
        {"dangling link", Scratch() / "replace_nowhere" / "gone.html"},
        {"link to /dev/zero", "/dev/zero"},
    };
    for (const char* name : kNames) {
        for (const Case& c : cases) {
            std::ofstream(outside, std::ios::binary) << "someone else's file";
            fs::path dir = MakeFolder("replace_link", {"a.jpg"});
            fs::create_symlink(c.target, dir / name);
            RunResult run = QuimboBuild(Quote(dir));
            EXPECT_EQ(run.exitCode, 0) << name << ", " << c.what << ": " << run.err;
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / name))) << name << ", " << c.what;
            EXPECT_GT(fs::file_size(dir / name), 1000u) << name << ", " << c.what;
            EXPECT_EQ(ReadAll(outside), "someone else's file") << name << ", " << c.what;
            EXPECT_FALSE(fs::exists(Scratch() / "replace_nowhere")) << c.what;
        }
    }
}

TEST(Replace, AFifoAtEitherNameIsRefusedAtOnceAndNothingIsWritten) {
    for (const char* name : kNames) {
        fs::path dir = MakeFolder("replace_fifo", {"a.jpg"});
        ASSERT_EQ(mkfifo((dir / name).c_str(), 0644), 0);
        auto start = std::chrono::steady_clock::now();
        RunResult run = QuimboBuild(Quote(dir));
        auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(seconds, 5.0) << name;  // a run that opened the FIFO would wait for ever
        EXPECT_EQ(run.exitCode, 1) << name;
        EXPECT_EQ(run.err, "quimbo-build: not a regular file: " + (dir / name).string() + "\n");
        for (const char* other : kNames)
            if (std::string(other) != name) EXPECT_FALSE(fs::exists(dir / other)) << name;
        EXPECT_TRUE(Temporaries(dir).empty());
    }
}

}  // namespace
