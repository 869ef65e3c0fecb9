// Running quimbo-build as a process in the tests, on folders they make.
#pragma once

#include <sys/wait.h>

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

// Runs quimbo-build with `args` (shell words) and `env` in front; its exit
// code and what it printed.
inline RunResult QuimboBuild(const std::string& args, const std::string& env = "LC_ALL=C LC_MESSAGES= LANG=") {
    fs::path dir = fs::path(::testing::TempDir());
    std::string command = "env " + env + " '" QUIMBO_BUILD_EXE "' " + args + " >'" + (dir / "cli.out").string() +
                          "' 2>'" + (dir / "cli.err").string() + "'";
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadAll(dir / "cli.out"), ReadAll(dir / "cli.err")};
}

// A fresh folder `name` under the test's scratch folder holding `files` (one byte each).
inline fs::path MakeFolder(const std::string& name, std::initializer_list<std::string> files) {
    fs::path dir = fs::path(::testing::TempDir()) / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const std::string& file : files) std::ofstream(dir / file) << "x";
    return dir;
}

inline std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

}  // namespace clitest
