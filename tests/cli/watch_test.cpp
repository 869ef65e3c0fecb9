// quimbo-build --watch as a user sees it: pages that follow the images within
// seconds, no rebuild for the program's own writes, a thousand files in a few
// rebuilds, new folders of a tree, a clean end on SIGTERM, and the system's
// limit of watches. WatchChanges also runs against quimbo-build.exe under Wine
// (watch_wine: QUIMBO_PREVIEWS_EXE, QUIMBO_PREVIEWS_WINE_RUN), where the
// changes come from ReadDirectoryChangesW.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/cli_run.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

using namespace clitest;
using Clock = std::chrono::steady_clock;

// Waits up to `seconds` for `condition`.
bool WaitUntil(const std::function<bool()>& condition, double seconds = 5) {
    auto end = Clock::now() + std::chrono::milliseconds(int(seconds * 1000));
    for (;;) {
        if (condition()) return true;
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// quimbo-build --watch running in the background, its output in files.
class Watching {
public:
    Watching(const std::string& args, const std::string& exe = QUIMBO_BUILD_EXE, const std::string& faults = "") {
        out_ = Scratch() / ("watch" + std::to_string(++runs_) + ".out");
        err_ = out_;
        err_.replace_extension(".err");
        std::string program = exe;
        if (const char* windowsExe = getenv("QUIMBO_PREVIEWS_EXE"); windowsExe && UnderWine()) program = windowsExe;
        std::string start = UnderWine() ? "source \"$(dirname \"$QUIMBO_PREVIEWS_WINE_RUN\")/../scripts/wine-env\"; exec \"$QUIMBO_WINE\" "
                                        : "exec ";
        std::string command = "LC_ALL=C LC_MESSAGES= LANG= QUIMBO_TEST_FAULTS=" + Quote(faults) + " " + start + Quote(program) +
                              " --lang en --watch " + args + " >" + Quote(out_.string()) + " 2>" + Quote(err_.string());
        const char* argv[] = {"bash", "-c", command.c_str(), nullptr};
        EXPECT_EQ(posix_spawn(&pid_, "/bin/bash", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    }
    ~Watching() {
        if (pid_ > 0) Stop(SIGKILL);
    }
    std::string Out() const { return WithoutCr(ReadAll(out_)); }
    std::string Err() const { return WithoutCr(ReadAll(err_)); }
    // Rebuild lines so far (one per folder rebuilt).
    size_t Rebuilds(const std::string& folder = "") const { return Count(Out(), folder + ": "); }
    // Sends `signal` and returns the exit code (-1 for a signal's end, -2 when it did not end within 10 s).
    int Stop(int signal = SIGTERM) {
        if (Running()) kill(pid_, signal);
        bool ended = WaitUntil([&] { return !Running(); }, 10);
        if (!ended) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status_, 0);
        }
        pid_ = 0;
        return !ended ? -2 : WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }
    bool Running() {
        if (!ended_ && waitpid(pid_, &status_, WNOHANG) == pid_) ended_ = true;
        return !ended_;
    }

private:
    pid_t pid_ = 0;
    int status_ = 0;
    bool ended_ = false;
    fs::path out_, err_;
    static inline int runs_ = 0;
};

std::string Page(const fs::path& folder) { return ReadAll(folder / "!pictures.html"); }

// Writes `path` under another name, then renames it into place, as copy tools do.
void PutFile(const fs::path& path, const std::string& bytes) {
    fs::path part = path.string() + ".part";
    std::ofstream(part, std::ios::binary) << bytes;
    fs::rename(part, path);
}

std::vector<fs::path> Temporaries(const fs::path& dir) {
    std::vector<fs::path> found;
    for (auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.path().string().find(".quimbo-tmp") != std::string::npos) found.push_back(entry.path());
    return found;
}

// Added, replaced, renamed, removed: the page follows each within 5 s, and the
// program's own writes (page, script, previews, temporaries) start no rebuild.
TEST(WatchChanges, PageFollowsTheImagesAndOwnWritesAreQuiet) {
    fs::path dir = MakeFolder("watch changes", {});
    MakeImage(dir / "a.jpg", "-size 640x480 xc:red");
    Watching watch("--previews " + Quote(ArgPath(dir)));
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(dir / "a_t.jpg") && Page(dir).find("a.jpg") != std::string::npos; }, 20))
        << watch.Err();
    ASSERT_TRUE(WaitUntil([&] { return Temporaries(dir).empty(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the first build's last events, if any, come in

    struct Step {
        const char* what;
        std::function<void()> change;
        std::function<bool(const std::string&)> shown;
    };
    std::string blue;
    const Step steps[] = {
        {"added", [&] { MakeImage(dir / "b.png", "-size 32x32 xc:green"); },
         [](const std::string& page) { return page.find("b.png") != std::string::npos; }},
        {"replaced", [&] {
             MakeImage(Scratch() / "blue.jpg", "-size 640x480 xc:blue");
             PutFile(dir / "a.jpg", ReadAll(Scratch() / "blue.jpg"));
         },
         [&](const std::string&) { return ReadAll(dir / "a_t.jpg") != "" && fs::last_write_time(dir / "a_t.jpg") > fs::last_write_time(dir / "a.jpg"); }},
        {"renamed", [&] { fs::rename(dir / "b.png", dir / "c.png"); },
         [](const std::string& page) { return page.find("c.png") != std::string::npos && page.find("b.png") == std::string::npos; }},
        {"removed", [&] { fs::remove(dir / "c.png"); },
         [](const std::string& page) { return page.find("c.png") == std::string::npos; }},
    };
    for (const Step& step : steps) {
        size_t before = watch.Rebuilds();
        step.change();
        EXPECT_TRUE(WaitUntil([&] { return watch.Rebuilds() > before && step.shown(Page(dir)); })) << step.what << "\n" << watch.Err();
    }
    size_t rebuilds = watch.Rebuilds();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    EXPECT_EQ(watch.Rebuilds(), rebuilds) << "rebuilt for its own writes:\n" << watch.Out();
    EXPECT_TRUE(Temporaries(dir).empty());
    EXPECT_NE(watch.Out().find(": 2 images, 1 preview made\n"), std::string::npos) << watch.Out();
}

TEST(Watch, AThousandImagesCopiedInGiveAFewRebuilds) {
    fs::path dir = MakeFolder("watch thousand", {"first.jpg"});
    Watching watch(Quote(ArgPath(dir)));
    ASSERT_TRUE(WaitUntil([&] { return watch.Rebuilds() == 0 && Page(dir).find("first.jpg") != std::string::npos; }));
    for (int i = 0; i < 1000; ++i) std::ofstream(dir / ("photo" + std::to_string(i) + ".jpg")) << std::string(2000, 'x');
    ASSERT_TRUE(WaitUntil([&] { return Page(dir).find("photo999.jpg") != std::string::npos && watch.Rebuilds() > 0; }, 10));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_LE(watch.Rebuilds(), 5u) << watch.Out();
    EXPECT_NE(watch.Out().find(": 1001 images\n"), std::string::npos) << watch.Out();
}

// A new folder of a tree gets its gallery and a line in the index; a folder
// removed is said and dropped; the tree's folder removed ends the run with 1.
TEST(Watch, TreeFoldersComeAndGo) {
    fs::path dir = MakeFolder("watch tree", {"top.jpg"});
    fs::create_directories(dir / "old");
    std::ofstream(dir / "old" / "o.jpg") << "x";
    Watching watch("--recursive " + Quote(ArgPath(dir)));
    ASSERT_TRUE(WaitUntil([&] { return ReadAll(dir / "!albums.html").find("./old/") != std::string::npos; })) << watch.Err();
    fs::create_directories(dir / "new" / "deeper");
    std::ofstream(dir / "new" / "deeper" / "n.jpg") << "x";
    fs::remove_all(dir / "old");
    EXPECT_TRUE(WaitUntil([&] {
        std::string index = ReadAll(dir / "!albums.html");
        return fs::exists(dir / "new" / "deeper" / "!pictures.html") && index.find("./new/deeper/") != std::string::npos &&
               index.find("./old/") == std::string::npos;
    })) << watch.Out() << watch.Err();
    const std::string separator = UnderWine() ? "\\" : "/";
    EXPECT_NE(watch.Err().find("old" + separator + ": gone; no longer watched\n"), std::string::npos) << watch.Err();
    EXPECT_EQ(watch.Rebuilds(ArgPath(dir) + separator), 0u) << "the tree's folder did not change:\n" << watch.Out();
    std::error_code error;  // the watch may be writing in it still: again until it is gone
    EXPECT_TRUE(WaitUntil([&] { return fs::remove_all(dir, error), !fs::exists(dir); }));
    EXPECT_TRUE(WaitUntil([&] { return !watch.Running(); }, 10));
    EXPECT_EQ(watch.Stop(), 1);
    EXPECT_NE(watch.Err().find(": gone; watching ends\n"), std::string::npos) << watch.Err();
}

// SIGTERM while previews are being written: each file whole, none half, no
// temporary, exit 0.
TEST(Watch, StopInTheMiddleOfARebuildLeavesEveryFileWhole) {
    fs::path dir = MakeFolder("watch stop", {});
    MakeImage(dir / "seed.png", "-size 8x8 xc:white");
    Watching watch("--previews --jobs 1 " + Quote(ArgPath(dir)));
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(dir / "seed_t.png"); }, 20)) << watch.Err();
    MakeImage(Scratch() / "big.jpg", "-size 3000x2000 plasma:red-blue");
    for (int i = 0; i < 12; ++i) fs::copy_file(Scratch() / "big.jpg", dir / ("big" + std::to_string(i) + ".jpg"));
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(dir / "big0_t.jpg"); }, 20)) << watch.Err();
    EXPECT_EQ(watch.Stop(SIGTERM), 0) << watch.Err();
    EXPECT_TRUE(Temporaries(dir).empty());
    EXPECT_FALSE(fs::exists(dir / "big11_t.jpg")) << "it went on after the stop";
    for (auto& entry : fs::directory_iterator(dir)) {
        std::string bytes = ReadAll(entry.path());
        if (entry.path().filename().string().find("_t.jpg") != std::string::npos)
            EXPECT_EQ(bytes.substr(bytes.size() - 2), "\xFF\xD9") << entry.path() << " is not a whole JPEG";
    }
    EXPECT_EQ(Page(dir).substr(Page(dir).size() - 9), "</html>\r\n");
}

// At the system's limit of watches (a stand-in limit of 2): the message with
// the way to raise it, and the folders watched before it still rebuilt.
TEST(Watch, AtTheLimitOfWatchesTheRestIsStillWatched) {
    fs::path dir = MakeFolder("watch limit", {"top.jpg"});
    for (const char* sub : {"a", "b", "c"}) {
        fs::create_directories(dir / sub);
        std::ofstream(dir / sub / "x.jpg") << "x";
    }
    Watching watch("--recursive " + Quote(ArgPath(dir)), QUIMBO_BUILD_FAULTS_EXE, "watches=2");
    ASSERT_TRUE(WaitUntil([&] { return watch.Err().find("limit of watched folders") != std::string::npos; })) << watch.Err();
    EXPECT_NE(watch.Err().find("sysctl fs.inotify.max_user_watches="), std::string::npos) << watch.Err();
    std::ofstream(dir / "new.jpg") << "x";
    EXPECT_TRUE(WaitUntil([&] { return Page(dir).find("new.jpg") != std::string::npos; })) << watch.Err();
    EXPECT_EQ(watch.Stop(SIGINT), 0);
}

}  // namespace
