// Running quimbo-build as a process in the tests, on folders they make; the
// previews' tests also run it as quimbo-build.exe under Wine
// (QUIMBO_PREVIEWS_WINE_RUN set, QUIMBO_PREVIEWS_EXE naming the program).
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

// The program under test is built like the test (the sanitizer preset builds both).
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

namespace clitest {

namespace fs = std::filesystem;

struct RunResult {
    int exitCode;
    std::string out, err;
};

inline std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// `text` without CR: the Windows build writes CR LF.
inline std::string WithoutCr(const std::string& text) {
    std::string lines;
    for (char c : text)
        if (c != '\r') lines += c;
    return lines;
}

// `s` as one shell word.
inline std::string Quote(const std::string& s) {
    std::string quoted = "'";
    for (char c : s) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// True when the program under test is quimbo-build.exe, run through Wine.
inline bool UnderWine() {
    const char* run = getenv("QUIMBO_PREVIEWS_WINE_RUN");
    return run && *run;
}

// `path` as the program under test names it (under Wine, drive Z: is the root).
inline std::string ArgPath(const fs::path& path) {
    if (!UnderWine()) return path.string();
    std::string text = "Z:" + path.string();
    for (char& c : text) c = c == '/' ? '\\' : c;
    return text;
}

// This run's own scratch folder below the test's temporary folder, so that
// runs side by side never share files; removed when the program ends.
inline const fs::path& Scratch() {
    struct Folder {
        fs::path path = fs::path(::testing::TempDir()) / ("quimbo_cli_" + std::to_string(getpid()));
        Folder() { fs::create_directories(path); }
        ~Folder() { fs::remove_all(path); }
    };
    static Folder folder;
    return folder.path;
}

// Runs quimbo-build with `args` (shell words) and `env` in front; its exit
// code and what it printed.
inline RunResult QuimboBuild(const std::string& args, const std::string& env = "LC_ALL=C LC_MESSAGES= LANG=") {
    const fs::path& dir = Scratch();
    std::string command = "env " + env + " '" QUIMBO_BUILD_EXE "' " + args + " >'" + (dir / "cli.out").string() +
                          "' 2>'" + (dir / "cli.err").string() + "'";
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadAll(dir / "cli.out"), ReadAll(dir / "cli.err")};
}

// A fresh folder `name` in the scratch folder holding `files` (one byte each).
inline fs::path MakeFolder(const std::string& name, std::initializer_list<std::string> files) {
    fs::path dir = Scratch() / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const std::string& file : files) std::ofstream(dir / file) << "x";
    return dir;
}

// ImageMagick: `source` (arguments that make an image) into `path`.
inline void MakeImage(const fs::path& path, const std::string& source) {
    std::string command = "convert " + source + " " + Quote(path.string());
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

}  // namespace clitest
