// quimbo-build --previews in unlucky conditions: files of the user's that look
// like temporaries, two runs on one folder at once, a reader of stdout that
// goes away, names that are not plain text, and --jobs above the workers'
// limit. Every run is bounded in time.
//
// Like previews_test.cpp, this runs natively and, with QUIMBO_PREVIEWS_EXE
// and QUIMBO_PREVIEWS_WINE_RUN set, against quimbo-build.exe under Wine.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/cli_run.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// ---- Running quimbo-build in bounded time ------------------------------------------------

using clitest::ArgPath;
using clitest::MakeImage;
using clitest::Quote;
using clitest::UnderWine;

// A file's text, CR removed (the Windows build writes CR LF).
std::string ReadAll(const fs::path& path) { return clitest::WithoutCr(clitest::ReadAll(path)); }

// The shell command that runs quimbo-build with `options` on `folder`, its
// stdout into `out` (unless empty: then wherever the caller points it) and its
// stderr into `err`. Wine reads file names in the locale's character set:
// C.UTF-8 lets it see names beyond ASCII as they are.
std::string Command(const std::string& options, const fs::path& folder, const fs::path& out, const fs::path& err,
                    const char* locale = "C") {
    std::string command = std::string("env LC_ALL=") + locale + " LANG= ";
    if (UnderWine()) command += Quote(getenv("QUIMBO_PREVIEWS_WINE_RUN")) + " ";
    const char* exe = getenv("QUIMBO_PREVIEWS_EXE");
    command += Quote(exe ? exe : QUIMBO_BUILD_EXE) + " --lang en " + options + " " + Quote(ArgPath(folder));
    if (!out.empty()) command += " >" + Quote(out.string());
    return command + " 2>" + Quote(err.string());
}

// Starts `command` under /bin/sh in a process group of its own, with stdout on
// `stdoutFd` when that is given, and SIGPIPE as a shell leaves it (default).
pid_t Start(const std::string& command, int stdoutFd = -1) {
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        signal(SIGPIPE, SIG_DFL);
        if (stdoutFd >= 0) dup2(stdoutFd, 1);
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// Waits for `pid` until `deadline`: its exit code, 128 + the signal that ended
// it, or -1 when it ran out of time (it is killed then).
int Finish(pid_t pid, Clock::time_point deadline) {
    for (;;) {
        int status = 0;
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (done < 0) return -1;
        if (Clock::now() > deadline) {
            kill(-pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

struct RunResult {
    int exitCode;  // -1: ran out of time
    std::string out, err;
    double seconds;
};

// One run of at most a minute, stdout into a file or onto `out`.
RunResult RunBuild(const std::string& options, const fs::path& folder, fs::path out = "", const char* locale = "C") {
    fs::path err = fs::path(::testing::TempDir()) / "unlucky.err";
    bool caught = out.empty();
    if (caught) out = fs::path(::testing::TempDir()) / "unlucky.out";
    Clock::time_point start = Clock::now();
    int code = Finish(Start(Command(options, folder, out, err, locale)), start + std::chrono::seconds(60));
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return {code, caught ? ReadAll(out) : "", ReadAll(err), seconds};
}

// ---- Folders --------------------------------------------------------------------------------

fs::path NewFolder(const std::string& name) {
    fs::path dir = fs::path(::testing::TempDir()) / ("unlucky_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::string Identify(const fs::path& path) {
    FILE* pipe = popen(("identify -format '%m %w %h' " + Quote(path.string()) + " 2>/dev/null").c_str(), "r");
    char line[128] = {};
    std::string text = fgets(line, sizeof line, pipe) ? line : "";
    pclose(pipe);
    return text;
}

// ---- Tests ------------------------------------------------------------------------------------

// Only temporaries of files the program writes itself are removed: those of
// the page, the script and the previews of the folder's images, left behind by
// a killed run. A file of the user's that merely ends in ".quimbo-tmp" stays,
// and so does one that a running build holds.
TEST(Previews, OnlyTheTemporariesOfItsOwnFilesAreRemoved) {
    fs::path dir = NewFolder("temporaries");
    MakeImage(dir / "photo.jpg", "-size 900x600 gradient:");
    MakeImage(dir / "held.jpg", "-size 900x600 gradient:");
    RunResult first = RunBuild("--previews", dir);
    ASSERT_EQ(first.exitCode, 0) << first.err;  // both previews are there and up to date now
    struct Case {
        const char* name;
        bool held;     // a running build writes it (natively: holds its flock)
        bool removed;
    } cases[] = {
        {"notes.quimbo-tmp", false, false},                  // the user's own
        {"photo.jpg.quimbo-tmp", false, false},              // an image's name: never a file of ours
        {"gone_t.png.quimbo-tmp", false, false},             // a preview's name, but no such image
        {"!pictures.html.quimbo-tmp", false, true},          // a killed run's
        {"$create-Thumbnails.cmd.quimbo-tmp", false, true},  // a killed run's
        {"photo_t.jpg.quimbo-tmp", false, true},             // a killed run's, of a preview that is up to date
        {"held_t.jpg.quimbo-tmp", true, false},              // a running build's
    };
    std::vector<int> holds;
    for (const Case& c : cases) {
        if (c.held && UnderWine()) continue;  // a flock holds nothing against Windows calls
        std::ofstream(dir / c.name, std::ios::binary) << "kept: " << c.name;
        if (c.held) {
            holds.push_back(open((dir / c.name).c_str(), O_RDONLY));
            ASSERT_EQ(flock(holds.back(), LOCK_EX), 0);
        }
    }
    RunResult run = RunBuild("--previews", dir);
    for (int fd : holds) close(fd);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "quimbo-build: previews: made 0, up to date 2, failed 0\n");
    for (const Case& c : cases) {
        if (c.held && UnderWine()) continue;
        EXPECT_EQ(fs::exists(dir / c.name), !c.removed) << c.name;
        if (!c.removed) EXPECT_EQ(ReadAll(dir / c.name), std::string("kept: ") + c.name);
    }
}

// Two runs on one folder at once: the later one waits for the earlier one's
// files and then writes its own, so both succeed and every file is whole.
TEST(Previews, TwoRunsAtOnceBothSucceedWithWholeFiles) {
    fs::path dir = NewFolder("pairs");
    MakeImage(dir / "a.jpg", "-size 900x600 plasma:");
    MakeImage(dir / "b.png", "-size 600x900 gradient:red-blue");
    const int pairs = UnderWine() ? 3 : 50;
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(UnderWine() ? 240 : 120);
    for (int pair = 0; pair < pairs; ++pair) {
        fs::path err[2] = {dir.parent_path() / "pair0.err", dir.parent_path() / "pair1.err"};
        pid_t runs[2];
        // Every second pair, one of the two writes only the page and the script.
        for (int i = 0; i < 2; ++i)
            runs[i] = Start(Command(i == 0 && pair % 2 ? "" : "--previews=all", dir, "/dev/null", err[i]));
        int codes[2] = {Finish(runs[0], deadline), Finish(runs[1], deadline)};
        ASSERT_TRUE(codes[0] == 0 && codes[1] == 0)
            << "pair " << pair << ": exit " << codes[0] << " and " << codes[1] << "\n"
            << ReadAll(err[0]) << ReadAll(err[1]);
        std::string page = ReadAll(dir / "!pictures.html");
        ASSERT_EQ(page.substr(page.size() - 8), "</html>\n") << "pair " << pair;
        for (const auto& entry : fs::directory_iterator(dir))
            ASSERT_NE(entry.path().extension(), ".quimbo-tmp") << "left behind after pair " << pair;
    }
    EXPECT_EQ(Identify(dir / "a_t.jpg"), "JPEG 480 320");
    EXPECT_EQ(Identify(dir / "b_t.png"), "PNG 320 480");
}

// The wait has a bound: a run waits for another build of its folder (natively
// a flock on the folder) and builds once it ends, or says plainly, after
// 10 seconds, that the folder is still being built, and writes nothing.
TEST(Previews, ARunWaitsForAnotherBuildOfTheFolderOrSaysItIsRunning) {
    if (UnderWine()) GTEST_SKIP() << "the folder's lock on Windows is a Wine mutex: win32_tests hold it";
    fs::path dir = NewFolder("busy");
    MakeImage(dir / "a.jpg", "-size 900x600 gradient:");
    int folder = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(flock(folder, LOCK_EX), 0);
    std::thread release([folder] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        flock(folder, LOCK_UN);
    });
    RunResult waited = RunBuild("--previews", dir);
    release.join();
    EXPECT_EQ(waited.exitCode, 0) << waited.err;
    EXPECT_GE(waited.seconds, 1.4);
    EXPECT_LT(waited.seconds, 8.0);
    EXPECT_TRUE(fs::exists(dir / "a_t.jpg"));

    fs::remove(dir / "!pictures.html");
    fs::remove(dir / "a_t.jpg");
    ASSERT_EQ(flock(folder, LOCK_EX), 0);
    RunResult busy = RunBuild("--previews", dir);
    close(folder);
    EXPECT_EQ(busy.exitCode, 75);
    EXPECT_EQ(busy.out, "");
    EXPECT_EQ(busy.err, "quimbo-build: another build of this folder is still running after 10 s: " + dir.string() + "\n");
    EXPECT_GE(busy.seconds, 9.9);
    EXPECT_LT(busy.seconds, 20.0);
    EXPECT_FALSE(fs::exists(dir / "!pictures.html"));
    EXPECT_FALSE(fs::exists(dir / "a_t.jpg"));
}

// A reader that goes away (`| head -0`) or a stdout that cannot take the line
// stops nothing: the previews are made, and the exit code is that of the files.
TEST(Previews, AStdoutThatCannotBeWrittenDoesNotStopTheJob) {
    fs::path dir = NewFolder("stdout");
    MakeImage(dir / "a.jpg", "-size 900x600 gradient:");
    fs::path err = dir.parent_path() / "stdout.err";

    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    close(fds[0]);  // nobody will ever read it
    pid_t pid = Start(Command("--previews", dir, "", err), fds[1]);
    close(fds[1]);
    EXPECT_EQ(Finish(pid, Clock::now() + std::chrono::seconds(60)), 0) << ReadAll(err);
    EXPECT_EQ(ReadAll(err), "quimbo-build: previews: made 1, up to date 0, failed 0\n");
    EXPECT_TRUE(fs::exists(dir / "a_t.jpg"));

    fs::remove(dir / "a_t.jpg");
    RunResult full = RunBuild("--previews", dir, "/dev/full");  // the line is told about, on stderr
    std::string said = "quimbo-build: cannot print the page's path: ";
    EXPECT_EQ(full.exitCode, 0) << full.err;
    EXPECT_EQ(full.err.substr(0, said.size()), said) << full.err;
    EXPECT_NE(full.err.find("\nquimbo-build: previews: made 1, up to date 0, failed 0\n"), std::string::npos) << full.err;
    EXPECT_TRUE(fs::exists(dir / "a_t.jpg"));
}

// Names are printed escaped wherever they appear: the page's path on stdout
// and each "no preview" line on stderr stay one line each, and no control
// character reaches the terminal.
TEST(Previews, NamesAreEscapedInEveryLine) {
    struct Case {
        std::string name, printed;
        bool underWine;  // Wine shows the Windows program C0 controls as other characters
    } cases[] = {
        {"new\nline.png", "new\\nline.png", false},
        {"\x1B[31mred.jpg", "\\x1B[31mred.jpg", false},
        {"csi\xC2\x9B" "2J.png", "csi\\xC2\\x9B2J.png", true},  // C1, as UTF-8
        {"del\x7F.jpg", "del\\x7F.jpg", true},
        {"bad\xFF.jpeg", "bad\\xFF.jpeg", false},
        {"Sch\xC3\xB6n.jpg", "Sch\xC3\xB6n.jpg", true},  // text stays text
    };
    // Wine hands the program its arguments in the locale's characters, not as
    // bytes: the folder's own name is checked natively only.
    std::string folderName = UnderWine() ? "names" : "names\n\x1B]0;here\x07";
    std::string folderPrinted = UnderWine() ? "names" : "names\\n\\x1B]0;here\\x07";
    fs::path dir = NewFolder(folderName);
    MakeImage(dir / "good.jpg", "-size 900x600 gradient:");
    int damaged = 0;
    for (const Case& c : cases) {
        if (UnderWine() && !c.underWine) continue;
        std::ofstream(dir / c.name) << "no image at all";
        ++damaged;
    }
    RunResult run = RunBuild("--previews", dir, "", "C.UTF-8");
    EXPECT_EQ(run.exitCode, 3) << run.err;
    std::string parent = ArgPath(dir.parent_path()) + (UnderWine() ? "\\" : "/");
    EXPECT_EQ(run.out, parent + "unlucky_" + folderPrinted + (UnderWine() ? "\\" : "/") + "!pictures.html\n");
    for (const std::string& text : {run.out, run.err}) {
        for (size_t i = 0; i < text.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(text[i]);
            bool c1 = c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                      static_cast<unsigned char>(text[i + 1]) <= 0x9F;
            ASSERT_FALSE((c < 0x20 && c != '\n') || c == 0x7F || c == 0xFF || c1) << "raw byte " << int(c) << " in " << text;
        }
    }
    // One line each: the damaged images, then the summary.
    size_t lines = 0;
    for (char c : run.err) lines += c == '\n';
    EXPECT_EQ(lines, size_t(damaged) + 1) << run.err;
    for (const Case& c : cases) {
        if (UnderWine() && !c.underWine) continue;
        EXPECT_NE(run.err.find("quimbo-build: no preview for " + c.printed + ": "), std::string::npos) << c.printed << "\n" << run.err;
    }
}

// --jobs above the 64 workers there can be is taken, and said so, however large.
TEST(Previews, JobsAboveTheLimitAreSaidSo) {
    fs::path dir = NewFolder("jobs");
    MakeImage(dir / "a.jpg", "-size 900x600 gradient:");
    struct Case {
        const char* jobs;
        int exitCode;
        const char* note;  // the first line on stderr
    } cases[] = {
        {"64", 0, "quimbo-build: previews: made 1, up to date 0, failed 0"},
        {"65", 0, "quimbo-build: --jobs 65 is more than 64; making previews with 64 workers"},
        {"1000", 0, "quimbo-build: --jobs 1000 is more than 64; making previews with 64 workers"},
        {"1001", 0, "quimbo-build: --jobs 1001 is more than 64; making previews with 64 workers"},
    };
    for (const Case& c : cases) {
        RunResult run = RunBuild(std::string("--previews=all --jobs ") + c.jobs, dir);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.jobs << ": " << run.err;
        EXPECT_EQ(run.err.substr(0, run.err.find('\n')), c.note) << c.jobs;
    }
}

}  // namespace
