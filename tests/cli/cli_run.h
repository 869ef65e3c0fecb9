// Running quimbo-build as a process in the tests, on folders they make.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

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

inline std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

}  // namespace clitest
