// libvips is loaded only when an image needs decoding, and a missing or
// wrong libvips is named, with the package to install, and exits 1 after the
// page and script are written. What a run loaded is read from the dynamic
// loader's own log (glibc's LD_DEBUG=files), which names every library
// mapped, at start-up and by dlopen alike.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <vips/vips.h>

#include "tests/cli/cli_run.h"

namespace fs = std::filesystem;

// The sanitizer build maps libvips at start-up (cli/CMakeLists.txt): what a
// run maps is checked only in the others (kAddressSanitizer).

namespace {

using clitest::Quote;
using clitest::ReadAll;

fs::path NewFolder(const std::string& name) {
    fs::path dir = fs::path(::testing::TempDir()) / ("library_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

void MakeJpeg(const fs::path& path) {
    std::string command = "convert -size 900x600 gradient:red-blue " + Quote(path.string());
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

struct LoggedRun {
    int exitCode;
    std::string out, err;
    std::string loaded;  // the dynamic loader's log of the libraries it mapped
};

// Runs `program` with `options` on `folder`, the loader's log of it in `loaded`.
LoggedRun RunLogged(const std::string& program, const std::string& options, const fs::path& folder) {
    fs::path logs = NewFolder("loader_log");
    fs::path out = logs.parent_path() / "library.out", err = logs.parent_path() / "library.err";
    std::string command = "LC_ALL=C LD_DEBUG=files LD_DEBUG_OUTPUT=" + Quote((logs / "ld").string()) + " " + Quote(program) +
                          " --lang en " + options + " " + Quote(folder.string()) + " >" + Quote(out.string()) + " 2>" +
                          Quote(err.string());
    int status = std::system(command.c_str());
    LoggedRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadAll(out), ReadAll(err), ""};
    for (const auto& entry : fs::directory_iterator(logs)) run.loaded += ReadAll(entry.path());
    return run;
}

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// Where the libvips that this test links lives.
std::string RealLibvips() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&vips_init), &info) || !info.dli_fname) return "";
    return info.dli_fname;
}

}  // namespace

TEST(PreviewLibrary, LoadedOnlyWhenAnImageNeedsDecoding) {
    if (kAddressSanitizer) GTEST_SKIP() << "the sanitizer build maps libvips at start-up";
    fs::path dir = NewFolder("lazy");
    MakeJpeg(dir / "a.jpg");
    fs::create_directories(dir / "sub");
    MakeJpeg(dir / "sub" / "b.jpg");
    struct Case {
        const char* what;
        std::string options;
        bool loadsLibvips;
    } cases[] = {
        {"page only", "", false},
        {"a preview to make", "--previews", true},  // the log does name libvips when it is loaded
        {"previews up to date", "--previews", false},
        {"a tree, page only", "--recursive", false},
        {"a tree's previews to make", "--recursive --previews", true},
        {"a tree's previews up to date", "--recursive --previews", false},
    };
    for (const Case& c : cases) {
        LoggedRun run = RunLogged(QUIMBO_BUILD_EXE, c.options, dir);
        EXPECT_EQ(run.exitCode, 0) << c.what << "\n" << run.err;
        ASSERT_NE(run.loaded.find("file="), std::string::npos) << c.what << ": no loader log";
        EXPECT_EQ(run.loaded.find("libvips.so") != std::string::npos, c.loadsLibvips) << c.what;
        if (!c.loadsLibvips) {
            // Nothing of the image library's world either: the C and C++ runtimes only.
            EXPECT_EQ(run.loaded.find("libglib"), std::string::npos) << c.what;
            EXPECT_LE(Count(run.loaded, "file="), 8) << c.what << "\n" << run.loaded;
        }
    }
    EXPECT_TRUE(fs::exists(dir / "a_t.jpg"));
    EXPECT_TRUE(fs::exists(dir / "sub" / "b_t.jpg"));
}

TEST(PreviewLibrary, AMissingOrWrongLibraryIsNamedAndExitsOne) {
    // quimbo-build-standin loads its libvips from QUIMBO_VIPS_STAND_IN: nothing
    // there, a library that is not libvips, or libvips itself.
    fs::path standIn = QUIMBO_VIPS_STAND_IN;
    std::string libvips = RealLibvips();
    ASSERT_FALSE(libvips.empty());
    const std::string kMissing = "quimbo-build: no previews: libvips is not installed (package libvips42): ";
    const std::string kWrong =
        "quimbo-build: no previews: the installed libvips cannot be used (package libvips42, 8.14 or later): ";
    struct Case {
        const char* what;
        std::string library;  // "" for none
        std::string options;
        bool upToDate;  // the previews are made before the run
        int exitCode;
        std::string message, reason;  // the line on stderr (once), and the system's reason in it
    } cases[] = {
        {"missing", "", "--previews --jobs 2", false, 1, kMissing, "cannot open shared object file"},
        {"missing, a tree", "", "--recursive --previews", false, 1, kMissing, "cannot open shared object file"},
        {"not libvips", QUIMBO_VIPS_WITHOUT_CALLS, "--previews", false, 1, kWrong, "undefined symbol: vips_"},
        {"missing, page only", "", "", false, 0, "", ""},
        {"missing, previews up to date", "", "--previews", true, 0, "", ""},
        {"libvips itself", libvips, "--previews", false, 0, "", ""},
    };
    for (const Case& c : cases) {
        fs::path dir = NewFolder("standin");
        MakeJpeg(dir / "a.jpg");
        MakeJpeg(dir / "b.jpg");
        fs::create_directories(dir / "sub");
        MakeJpeg(dir / "sub" / "c.jpg");
        if (c.upToDate) ASSERT_EQ(RunLogged(QUIMBO_BUILD_EXE, "--recursive --previews", dir).exitCode, 0);
        fs::remove_all(standIn.parent_path());
        fs::create_directories(standIn.parent_path());
        if (!c.library.empty()) fs::create_symlink(c.library, standIn);

        LoggedRun run = RunLogged(QUIMBO_BUILD_STANDIN_EXE, c.options, dir);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.what << "\n" << run.err;
        // The page and the script are written as always.
        EXPECT_TRUE(fs::exists(dir / "!pictures.html")) << c.what;
        EXPECT_TRUE(fs::exists(dir / "$create-Thumbnails.cmd")) << c.what;
        EXPECT_NE(run.out.find("!"), std::string::npos) << c.what << ": the page's or index's path";
        if (!c.message.empty()) {
            EXPECT_EQ(Count(run.err, c.message), 1) << c.what << "\n" << run.err;
            size_t line = run.err.find(c.message);
            std::string said = line == std::string::npos ? "" : run.err.substr(line, run.err.find('\n', line) - line);
            EXPECT_NE(said.find(c.reason), std::string::npos) << c.what << ": " << said;
            EXPECT_FALSE(fs::exists(dir / "a_t.jpg")) << c.what;
        } else {
            EXPECT_EQ(run.err.find("no previews"), std::string::npos) << c.what << "\n" << run.err;
            EXPECT_EQ(fs::exists(dir / "a_t.jpg"), c.options.find("--previews") != std::string::npos) << c.what;
        }
    }
    fs::remove_all(standIn.parent_path());
}
