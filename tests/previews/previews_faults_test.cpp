// quimbo-build --previews where faults are likely, as a process: a preview's
// write failing at each step (quimbo-build-faults, aimed at one file), a
// temporary that another running build holds, what else may stand at a
// preview's name, the up-to-date rule at its edges, the exit code of each mix
// of outcomes, --jobs, and the old page read for its title through a link.
//
// Like previews_test.cpp this runs natively and, with QUIMBO_PREVIEWS_EXE,
// QUIMBO_PREVIEWS_FAULTS_EXE and QUIMBO_PREVIEWS_WINE_RUN set, against the
// Windows build under Wine (the CTest entry previews_faults_wine).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "tests/cli/cli_run.h"
#include "tests/support/file_faults.h"

namespace fs = std::filesystem;

namespace {

// ---- Running quimbo-build and quimbo-build-faults -----------------------------------------

using clitest::ArgPath;
using clitest::MakeImage;
using clitest::Quote;
using clitest::ReadAll;
using clitest::UnderWine;
using clitest::WithoutCr;
using testsupport::FileCall;
using testsupport::ParseCallLog;
using testsupport::TemporarySequence;

const std::string& Exe() {
    static std::string exe = getenv("QUIMBO_PREVIEWS_EXE") ? getenv("QUIMBO_PREVIEWS_EXE") : QUIMBO_BUILD_EXE;
    return exe;
}
const std::string& FaultsExe() {
    static std::string exe =
        getenv("QUIMBO_PREVIEWS_FAULTS_EXE") ? getenv("QUIMBO_PREVIEWS_FAULTS_EXE") : QUIMBO_BUILD_FAULTS_EXE;
    return exe;
}

fs::path Scratch(const std::string& name) { return fs::path(::testing::TempDir()) / ("faults_" + name); }

// One line of the seam's call log (testsupport::CallLogText).
struct RunResult {
    int exitCode;  // 124: stopped after its minute
    std::string out, err;
    std::vector<FileCall> calls;  // only for quimbo-build-faults
    double seconds;
};


// Runs quimbo-build (with `faults` set, quimbo-build-faults with that
// QUIMBO_TEST_FAULTS and a call log) with `options` on `folder`, for at most a minute.
RunResult RunBuild(const std::string& options, const fs::path& folder, const std::string* faults = nullptr,
              const std::string& prefix = "") {
    fs::path out = Scratch("run.out"), err = Scratch("run.err"), log = Scratch("run.log");
    fs::remove(log);
    std::string command = "env LC_ALL=C LANG= ";
    if (faults) command += "QUIMBO_TEST_FAULTS=" + Quote(*faults) + " QUIMBO_TEST_CALL_LOG=" + Quote(ArgPath(log)) + " ";
    command += prefix + " timeout 60 ";
    if (UnderWine()) command += Quote(getenv("QUIMBO_PREVIEWS_WINE_RUN")) + " ";
    command += Quote(faults ? FaultsExe() : Exe()) + " --lang en " + options + " " + Quote(ArgPath(folder)) + " >" +
               Quote(out.string()) + " 2>" + Quote(err.string());
    auto start = std::chrono::steady_clock::now();
    int status = std::system(command.c_str());
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, WithoutCr(ReadAll(out)), WithoutCr(ReadAll(err)),
            faults ? ParseCallLog(ReadAll(log)) : std::vector<FileCall>{}, seconds};
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// ---- Folders ----------------------------------------------------------------------------------

fs::path NewFolder(const std::string& name) {
    fs::path dir = Scratch(name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

void WriteFile(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::vector<std::string> Temporaries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().extension() == ".quimbo-tmp") names.push_back(entry.path().filename().string());
    return names;
}

// The title the page in `dir` carries.
std::string TitleOf(const fs::path& dir) {
    if (!fs::is_regular_file(fs::symlink_status(dir / "!pictures.html"))) return "(not a file)";
    std::string page = ReadAll(dir / "!pictures.html");
    size_t at = page.find("const title=\"");
    if (at == std::string::npos) return "(none)";
    at += 13;
    return page.substr(at, page.find('"', at) - at);
}

std::string PagePathLine(const fs::path& dir) { return ArgPath(dir) + (UnderWine() ? "\\" : "/") + "!pictures.html\n"; }

// ---- Tests ------------------------------------------------------------------------------------

// A preview whose write fails at any step (or whose temporary another running
// build holds) is said on its own line, exit 1; the old preview stays as it
// was, no temporary of this run is left, nothing is moved after the failure,
// and the other previews are made as always.
TEST(PreviewFaults, AFailedPreviewWriteLeavesTheOldPreviewAndNoTemporary) {
    fs::path dir = NewFolder("write_path");
    MakeImage(dir / "a.jpg", "-size 900x600 gradient:navy-gold");
    MakeImage(dir / "b.png", "-size 600x900 gradient:red-blue");
    struct Case {
        const char* what;
        std::string faults;
        bool oldPreview;
        const char* sequence;  // of a_t.jpg's temporary
    } cases[] = {
        {"write fails halfway", "write=1000,in=a_t.jpg", true, "create write! close"},
        {"flush fails", "flush,in=a_t.jpg", true, "create write flush! close"},
        {"close fails", "close,in=a_t.jpg", true, "create write flush close!"},
        {"move fails", "move,in=a_t.jpg", true, "create write flush close move!"},
        {"cannot be created", "create,in=a_t.jpg", true, "create!"},
        {"first preview, write fails", "write=1000,in=a_t.jpg", false, "create write! close"},
        {"another build holds its temporary", "hold=a_t.jpg", true, "create!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(dir / "a_t.jpg");
        fs::remove(dir / "b_t.png");
        for (const std::string& name : Temporaries(dir)) fs::remove(dir / name);
        if (c.oldPreview) {
            WriteFile(dir / "a_t.jpg", "old preview");
            fs::last_write_time(dir / "a_t.jpg", fs::last_write_time(dir / "a.jpg") - std::chrono::hours(1));
        }
        RunResult run = RunBuild("--previews", dir, &c.faults);
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_EQ(run.out, PagePathLine(dir));
        std::string line = "quimbo-build: cannot write " + ArgPath(dir / "a_t.jpg") + ": ";
        size_t at = run.err.find(line);
        ASSERT_NE(at, std::string::npos) << run.err;
        EXPECT_GT(run.err.find('\n', at), at + line.size()) << "a reason is given: " << run.err;
        EXPECT_TRUE(EndsWith(run.err, "quimbo-build: previews: made 1, up to date 0, failed 1\n")) << run.err;

        EXPECT_EQ(fs::exists(dir / "a_t.jpg"), c.oldPreview);
        if (c.oldPreview) EXPECT_EQ(ReadAll(dir / "a_t.jpg"), "old preview");
        EXPECT_EQ(TemporarySequence(run.calls, "a_t.jpg"), c.sequence);
        EXPECT_EQ(TemporarySequence(run.calls, "b_t.png"), "create write flush close move");
        EXPECT_GT(fs::file_size(dir / "b_t.png"), 1000u);
        std::vector<std::string> left = c.faults.rfind("hold=", 0) == 0 ? std::vector<std::string>{"a_t.jpg.quimbo-tmp"}
                                                                         : std::vector<std::string>{};
        EXPECT_EQ(Temporaries(dir), left) << "only another build's own temporary stays";
    }
}

// Up to date means newer than the image: a preview as old as its image is
// made again (on a file system that keeps whole seconds, an image changed in
// the second after its preview was made has the same time). Anything but a
// file at a preview's name is the user's: it stays, and is said at once.
TEST(PreviewsUpToDate, TheRuleAtItsEdgesAndWhatElseStandsAtThePreviewsName) {
    fs::path dir = NewFolder("up_to_date");
    fs::path outside = NewFolder("up_to_date_outside") / "not ours.jpg";
    WriteFile(outside, "not ours");
    MakeImage(dir / "newer.jpg", "-size 900x600 gradient:");
    std::vector<std::string> images = {"equal", "older", "folder", "link", "dangling"};
    if (!UnderWine()) images.push_back("fifo");  // Wine has no FIFOs to show a Windows program
    for (const std::string& image : images) fs::copy_file(dir / "newer.jpg", dir / (image + ".jpg"));
    auto timeOf = [&dir](const std::string& image) { return fs::last_write_time(dir / (image + ".jpg")); };

    WriteFile(dir / "newer_t.jpg", "kept");
    fs::last_write_time(dir / "newer_t.jpg", timeOf("newer") + std::chrono::seconds(1));
    WriteFile(dir / "equal_t.jpg", "stale");
    fs::last_write_time(dir / "equal_t.jpg", timeOf("equal"));
    WriteFile(dir / "older_t.jpg", "stale");
    fs::last_write_time(dir / "older_t.jpg", timeOf("older") - std::chrono::seconds(1));
    fs::create_directory(dir / "folder_t.jpg");
    WriteFile(dir / "folder_t.jpg" / "inside.txt", "the user's");
    fs::last_write_time(dir / "folder_t.jpg", timeOf("folder") + std::chrono::hours(1));
    fs::last_write_time(outside, timeOf("link") - std::chrono::hours(1));
    fs::create_symlink(outside, dir / "link_t.jpg");
    fs::create_symlink(dir / "nowhere.jpg", dir / "dangling_t.jpg");
    if (!UnderWine()) ASSERT_EQ(mkfifo((dir / "fifo_t.jpg").c_str(), 0644), 0);

    std::string none;
    RunResult run = RunBuild("--previews", dir, &none);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_LT(run.seconds, 30);
    int refused = UnderWine() ? 1 : 2;
    EXPECT_TRUE(EndsWith(run.err, "quimbo-build: previews: made 4, up to date 1, failed " + std::to_string(refused) + "\n")) << run.err;
    EXPECT_EQ(ReadAll(dir / "newer_t.jpg"), "kept");
    for (const char* made : {"equal_t.jpg", "older_t.jpg", "link_t.jpg", "dangling_t.jpg"}) {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / made))) << made;
        EXPECT_GT(fs::file_size(dir / made), 1000u) << made;
    }
    EXPECT_EQ(ReadAll(outside), "not ours");
    for (const char* kept : {"folder_t.jpg", "fifo_t.jpg"}) {
        if (UnderWine() && std::string(kept) == "fifo_t.jpg") continue;
        SCOPED_TRACE(kept);
        EXPECT_NE(run.err.find("quimbo-build: not a regular file: " + ArgPath(dir / kept) + "\n"), std::string::npos) << run.err;
        EXPECT_EQ(TemporarySequence(run.calls, kept), "") << "nothing was written for it";
    }
    EXPECT_EQ(ReadAll(dir / "folder_t.jpg" / "inside.txt"), "the user's");
    if (!UnderWine()) EXPECT_TRUE(fs::is_fifo(dir / "fifo_t.jpg"));
    EXPECT_EQ(Temporaries(dir), std::vector<std::string>{});
}

// Which exit code wins when several things go wrong at once: a file that could
// not be written (1) over images without a preview (3); no images at all (2)
// before anything is written.
TEST(PreviewsExitCodes, EachMixOfOutcomes) {
    fs::path dir = NewFolder("exit_codes");
    MakeImage(dir / "good.jpg", "-size 900x600 gradient:");
    MakeImage(dir / "good.png", "-size 600x400 gradient:");
    fs::path gifs = NewFolder("exit_codes_gifs");
    MakeImage(gifs / "a.gif", "-size 60x40 xc:red");
    const std::string pageFails = "write=500,in=!pictures.html";
    struct Case {
        const char* what;
        bool badImage;       // a .jpg that is no image in the folder
        std::string faults;  // quimbo-build-faults' faults
        bool noImages;
        int exitCode;
    } cases[] = {
        {"page written, previews all made", false, "", false, 0},
        {"page written, an image without a preview", true, "", false, 3},
        {"page written, a preview not writable", false, "write=500,in=good_t.jpg", false, 1},
        {"page written, both", true, "write=500,in=good_t.jpg", false, 1},
        {"page failed, previews all made", false, pageFails, false, 1},
        {"page failed, an image without a preview", true, pageFails, false, 1},
        {"page failed, a preview not writable", false, pageFails + ",in=good_t.jpg", false, 1},
        {"page failed, both", true, pageFails + ",in=good_t.jpg", false, 1},
        {"no images", false, "", true, 2},
        {"no images, page would fail", false, pageFails, true, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::path folder = c.noImages ? gifs : dir;
        if (c.badImage) WriteFile(dir / "bad.jpg", "no image at all");
        else fs::remove(dir / "bad.jpg");
        RunResult run = RunBuild("--previews=all", folder, &c.faults);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        bool pageFailed = c.faults.find("!pictures") != std::string::npos && !c.noImages;
        EXPECT_EQ(run.out, c.noImages || pageFailed ? "" : PagePathLine(folder));
        EXPECT_EQ(run.err.find("quimbo-build: cannot write " + ArgPath(folder / "!pictures.html") + ": ") != std::string::npos, pageFailed)
            << run.err;
        EXPECT_EQ(run.err.find("quimbo-build: no preview for bad.jpg: ") != std::string::npos, c.badImage) << run.err;
        EXPECT_EQ(run.err.find("quimbo-build: cannot write " + ArgPath(dir / "good_t.jpg") + ": ") != std::string::npos,
                  c.faults.find("good_t") != std::string::npos)
            << run.err;
        if (c.noImages) EXPECT_EQ(run.err.rfind("quimbo-build: no images in " + ArgPath(folder) + (UnderWine() ? "\\" : "/") + " (", 0), 0u) << run.err;
        else EXPECT_NE(run.err.find("quimbo-build: previews: made "), std::string::npos) << "previews are made after a failed page too";
    }
}

// The previews' files are created by as many threads as --jobs says (and the
// preview job's threads are the only ones that create them).
TEST(PreviewJobs, TheNumberOfWorkersIsHonoured) {
    fs::path dir = NewFolder("jobs");
    MakeImage(dir / "a00.jpg", "-size 900x600 plasma:");
    for (int i = 1; i < 12; ++i) fs::copy_file(dir / "a00.jpg", dir / ("a" + std::to_string(100 + i).substr(1) + ".jpg"));
    auto threads = [](const RunResult& run) {
        std::set<int> seen;
        int previews = 0;
        for (const FileCall& call : run.calls) {
            if (call.kind != FileCall::Create || !EndsWith(call.path, "_t.jpg.quimbo-tmp")) continue;
            seen.insert(call.thread);
            ++previews;
        }
        EXPECT_EQ(previews, 12);
        return seen.size();
    };
    std::string none;
    RunResult one = RunBuild("--previews=all --jobs 1", dir, &none);
    EXPECT_EQ(one.exitCode, 0) << one.err;
    EXPECT_EQ(threads(one), 1u);
    RunResult three = RunBuild("--previews=all --jobs 3", dir, &none);
    EXPECT_EQ(three.exitCode, 0) << three.err;
    size_t used = threads(three);
    EXPECT_GE(used, 2u) << "the work is shared";
    EXPECT_LE(used, 3u);
    // Without --jobs, one worker per processor the process may run on.
    if (!UnderWine() && std::system("command -v taskset >/dev/null") == 0) {
        RunResult pinned = RunBuild("--previews=all", dir, &none, "taskset -c 0");
        EXPECT_EQ(pinned.exitCode, 0) << pinned.err;
        EXPECT_EQ(threads(pinned), 1u);
    }
}

TEST(PreviewJobs, ANumberBelowOneOrNotANumberIsAUsageError) {
    fs::path dir = NewFolder("jobs_numbers");
    WriteFile(dir / "a.jpg", "x");
    for (const char* jobs : {"''", "0", "-1", "+2", "' 2'", "'2 '", "0x10", "1e3"}) {
        RunResult run = RunBuild(std::string("--previews --jobs ") + jobs, dir);
        EXPECT_EQ(run.exitCode, 64) << jobs;
        EXPECT_EQ(run.err.rfind("quimbo-build: --jobs needs a whole number of 1 or more, not: ", 0), 0u) << jobs << run.err;
        EXPECT_FALSE(fs::exists(dir / "!pictures.html")) << jobs;
    }
    for (const char* jobs : {"007", "4294967297", "99999999999999999999"}) {  // digits are digits, never wrapped
        RunResult run = RunBuild(std::string("--jobs ") + jobs, dir);
        EXPECT_EQ(run.exitCode, 0) << jobs << run.err;
    }
}

// The title of the old page is read from the page itself, never through a
// link at its name: not from another page's file, and not from a FIFO or a
// device (which would never end). The link is then replaced by the new page.
TEST(PageRead, TheOldPageIsNeverReadThroughALink) {
    fs::path elsewhere = NewFolder("page_link_targets");
    WriteFile(elsewhere / "other.html", "<script>\r\nconst title=\"Someone else's\";\r\n</script>\r\n");
    if (!UnderWine()) ASSERT_EQ(mkfifo((elsewhere / "fifo").c_str(), 0644), 0);
    struct Case {
        const char* what;
        fs::path target;
        bool underWine;
    } cases[] = {
        // Wine shows a POSIX link to a file as that file (no reparse point), so
        // the Windows build there reads the other page: checked natively only.
        {"another page", elsewhere / "other.html", false},
        {"a FIFO", elsewhere / "fifo", false},
        {"/dev/zero", "/dev/zero", true},
    };
    for (const Case& c : cases) {
        if (UnderWine() && !c.underWine) continue;
        SCOPED_TRACE(c.what);
        fs::path dir = NewFolder("page_link");
        WriteFile(dir / "a.jpg", "x");
        fs::create_symlink(c.target, dir / "!pictures.html");
        RunResult run = RunBuild("", dir);
        EXPECT_LT(run.seconds, 20);
        if (UnderWine()) {
            // Wine shows the link as the device itself, and will not move a
            // file over it: what counts is that the build ends, and says so.
            EXPECT_TRUE(run.exitCode == 0 || run.err.find("quimbo-build: cannot write " + ArgPath(dir / "!pictures.html") + ": ") == 0)
                << run.exitCode << " " << run.err;
            continue;
        }
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / "!pictures.html")));
        EXPECT_EQ(TitleOf(dir), "Images");
    }
    EXPECT_EQ(ReadAll(elsewhere / "other.html"), "<script>\r\nconst title=\"Someone else's\";\r\n</script>\r\n");
    if (!UnderWine()) EXPECT_TRUE(fs::is_fifo(elsewhere / "fifo"));
}

}  // namespace
