// quimbo-build --recursive as a user runs it: every folder's gallery the same
// bytes as a run on that folder alone, the walk (folders only, no links, no
// hidden folders), failures per folder and the exit codes, and the album index
// (its golden copies, its links and covers).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/cli_run.h"

namespace fs = std::filesystem;

namespace {

using namespace clitest;

const std::string kFixedTime = "--fixed-time 2025-03-05T21:30";

// The program `exe` with `args`; its exit code and what it printed.
RunResult RunProgram(const std::string& exe, const std::string& args, const std::string& env = "") {
    const fs::path& dir = Scratch();
    std::string command = "env LC_ALL=C LC_MESSAGES= LANG= " + env + " '" + exe + "' " + args + " >'" +
                          (dir / "tree.out").string() + "' 2>'" + (dir / "tree.err").string() + "'";
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadAll(dir / "tree.out"), ReadAll(dir / "tree.err")};
}

// A fresh folder `name` in the scratch folder with `files` (paths below it, one byte each).
fs::path MakeTree(const std::string& name, std::initializer_list<std::string> files) {
    fs::path dir = Scratch() / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const std::string& file : files) {
        fs::path path = dir / file;
        fs::create_directories(path.parent_path());
        if (file.back() != '/') std::ofstream(path) << "x";
    }
    return dir;
}

// Every regular file below `dir` whose name is `name`, relative to `dir`, sorted.
std::set<std::string> FilesNamed(const fs::path& dir, const std::string& name) {
    std::set<std::string> found;
    for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it) {
        if (it->path().filename() == name && it->is_regular_file()) found.insert(fs::relative(it->path(), dir).string());
    }
    return found;
}

// The values of `attribute` (as ` attribute="..."`) in `page`, in order.
std::vector<std::string> Values(const std::string& page, const std::string& attribute) {
    std::vector<std::string> list;
    std::string key = " " + attribute + "=\"";
    for (size_t at = page.find(key); at != std::string::npos; at = page.find(key, at + 1)) {
        size_t start = at + key.size();
        list.push_back(page.substr(start, page.find('"', start) - start));
    }
    return list;
}

// The adversarial names of the gallery tests, as folders and files of a tree.
const std::initializer_list<std::string> kTree = {
    "Zoo.jpg",
    "a.png",
    "2024/Holiday/Strand & Meer.jpg",
    "2024/Holiday/Düne.jpeg",
    "2024/Work/b.jpg",
    "2024/Work/only.gif",
    "Tom & \"Jerry\" <b>/x.jpg",
    "javascript:alert(1)/j.jpg",
    "%41 100%/p.png",
    "Ölbilder/Öl.webp",
    "gifs only/a.gif",
    "empty/",
    "2025/",
};

TEST(Tree, EveryGalleryIsWhatARunOnItsFolderWrites) {
    fs::path tree = MakeTree("tree_same", kTree);
    fs::path alone = Scratch() / "tree_alone";
    fs::remove_all(alone);
    fs::copy(tree, alone, fs::copy_options::recursive);

    RunResult run = QuimboBuild("--recursive --lang de " + kFixedTime + " " + Quote(tree));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, (tree / "!albums.html").string() + "\n");
    std::vector<fs::path> folders = {alone};
    for (auto it = fs::recursive_directory_iterator(alone); it != fs::recursive_directory_iterator(); ++it)
        if (it->is_directory()) folders.push_back(it->path());
    for (const fs::path& folder : folders) QuimboBuild("--lang de " + kFixedTime + " " + Quote(folder));

    std::set<std::string> pages = FilesNamed(tree, "!pictures.html");
    EXPECT_EQ(pages, FilesNamed(alone, "!pictures.html"));
    EXPECT_EQ(FilesNamed(tree, "$create-Thumbnails.cmd"), FilesNamed(alone, "$create-Thumbnails.cmd"));
    EXPECT_EQ(pages.size(), 7u);  // the folders with images; none for "gifs only", "empty", "2024", "2025"
    for (const std::string& page : pages) {
        EXPECT_EQ(ReadAll(tree / page), ReadAll(alone / page)) << page;
        fs::path script = fs::path(page).parent_path() / "$create-Thumbnails.cmd";
        EXPECT_EQ(ReadAll(tree / script), ReadAll(alone / script)) << script;
    }
    EXPECT_EQ(run.err, "quimbo-build: galleries: written 7, without images 4, failed 0; previews: made 0, up to date 0, failed 0\n");
}

class TreeIndex : public ::testing::TestWithParam<const char*> {};

TEST_P(TreeIndex, MatchesItsGoldenCopy) {
    std::string language = GetParam();
    fs::path tree = MakeTree("Pictures", kTree);
    RunResult run = QuimboBuild("--recursive --lang " + language + " " + kFixedTime + " " + Quote(tree));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    fs::path golden = fs::path(QUIMBO_SOURCE_DIR) / "tests" / "core" / "golden" / "albums" / language / "!albums.html";
    std::string index = ReadAll(tree / "!albums.html");
    if (std::getenv("QUIMBO_WRITE_GOLDEN")) std::ofstream(golden, std::ios::binary) << index;
    EXPECT_EQ(index, ReadAll(golden));
}

INSTANTIATE_TEST_SUITE_P(Languages, TreeIndex, ::testing::Values("en", "de"));

TEST(Tree, IndexLinksLeadToEachGalleryAndItsFirstImage) {
    fs::path tree = MakeTree("tree_links", kTree);
    ASSERT_EQ(QuimboBuild("--recursive " + Quote(tree)).exitCode, 0);
    std::string index = ReadAll(tree / "!albums.html");
    // Undoes the percent-encoding, as a browser resolves a relative link.
    auto decode = [](const std::string& link) {
        std::string bytes;
        for (size_t i = 0; i < link.size(); ++i) {
            if (link[i] == '%' && i + 2 < link.size()) {
                bytes += char(std::stoi(link.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                bytes += link[i];
            }
        }
        return bytes;
    };
    std::vector<std::string> links, covers = Values(index, "src");
    for (const std::string& link : Values(index, "href")) {
        // Besides the albums' links only the favicon's data and the footer's link to the program's home.
        if (link.rfind("data:image/svg+xml;base64,", 0) != 0 && link.rfind("https://", 0) != 0) links.push_back(link);
    }
    ASSERT_EQ(links.size(), 7u);
    ASSERT_EQ(covers.size(), 7u);
    for (size_t i = 0; i < links.size(); ++i) {
        EXPECT_EQ(links[i].rfind("./", 0), 0u) << "a link that could be read as a scheme: " << links[i];
        EXPECT_TRUE(fs::is_regular_file(tree / decode(links[i]))) << links[i];
        EXPECT_EQ(fs::path(decode(links[i])).filename(), "!pictures.html");
        EXPECT_TRUE(fs::is_regular_file(tree / decode(covers[i]))) << covers[i];
        EXPECT_EQ(fs::path(decode(covers[i])).parent_path(), fs::path(decode(links[i])).parent_path());
    }
    EXPECT_EQ(index.find("<b>"), std::string::npos);
    EXPECT_NE(index.find("Tom &amp; &quot;Jerry&quot; &lt;b&gt;"), std::string::npos);
}

TEST(Tree, WalksFoldersOnlyAndNeverThroughLinksOrHiddenFolders) {
    fs::path tree = MakeTree("tree_walk", {"a.jpg", "sub/b.jpg", ".hidden/c.jpg", "sub/.git/d.jpg"});
    fs::path outside = MakeTree("tree_outside", {"o.jpg"});
    fs::create_directory_symlink("..", tree / "sub" / "loop");
    fs::create_directory_symlink(outside, tree / "elsewhere");
    fs::create_symlink(tree / "a.jpg", tree / "sub" / "link.jpg");  // a link to a file is an image as ever

    RunResult run = QuimboBuild("--recursive --jobs 3 " + Quote(tree));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(FilesNamed(tree, "!pictures.html"), (std::set<std::string>{"!pictures.html", "sub/!pictures.html"}));
    EXPECT_FALSE(fs::exists(outside / "!pictures.html"));
    EXPECT_FALSE(fs::exists(tree / ".hidden" / "!pictures.html"));
    EXPECT_FALSE(fs::exists(tree / "sub" / ".git" / "!pictures.html"));
    std::string index = ReadAll(tree / "!albums.html");
    EXPECT_EQ(Values(index, "src"), (std::vector<std::string>{"./a.jpg", "./sub/b.jpg"}));
    EXPECT_NE(ReadAll(tree / "sub" / "!pictures.html").find("src=\"link.jpg\""), std::string::npos);
}

// A folder that cannot be read or written is named with its reason, the rest
// of the tree is still built, and the exit code says the worst.
TEST(Tree, FailuresPerFolderAndExitCodes) {
    fs::path faults = fs::path(QUIMBO_BUILD_FAULTS_EXE);
    struct Case {
        std::string name;
        std::initializer_list<std::string> files;
        std::string exe, env, special;  // `special`: a FIFO made at this path below the tree
        int exitCode;
        std::string err;                // a line stderr must hold ("TREE" stands for the tree's path)
        std::set<std::string> pages;    // the galleries written
    } cases[] = {
        {"tree_none", {"a.gif", "sub/notes.txt", "empty/"}, QUIMBO_BUILD_EXE, "", "", 2,
         "quimbo-build: no images in TREE/ or below it (images: .jpg, .jpeg, .jfif, .png, .webp, .avif, .svg, .ico; .gif alone does not count)\n", {}},
        {"tree_fifo", {"a.jpg", "sub/b.jpg", "other/c.jpg"}, QUIMBO_BUILD_EXE, "", "sub/!pictures.html", 1,
         "quimbo-build: TREE/sub/!pictures.html: not a regular file\n", {"!pictures.html", "other/!pictures.html"}},
        {"tree_unread", {"a.jpg", "bad/b.jpg", "bad/deeper/d.jpg", "good/c.jpg"}, faults.string(),
         "QUIMBO_TEST_FAULTS=search-in=/bad/", "", 1, "quimbo-build: TREE/bad/: No space left on device\n",
         {"!pictures.html", "good/!pictures.html"}},
        {"tree_index_fifo", {"a.jpg"}, QUIMBO_BUILD_EXE, "", "!albums.html", 1,
         "quimbo-build: TREE/!albums.html: not a regular file\n", {"!pictures.html"}},
    };
    for (const Case& c : cases) {
        fs::path tree = MakeTree(c.name, c.files);
        if (!c.special.empty()) ASSERT_EQ(mkfifo((tree / c.special).c_str(), 0644), 0);
        RunResult run = RunProgram(c.exe, "--recursive --jobs 2 " + Quote(tree), c.env);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.name << ": " << run.err;
        std::string want = c.err;
        want.replace(want.find("TREE"), 4, tree.string());
        EXPECT_NE(run.err.find(want), std::string::npos) << c.name << ": " << run.err;
        EXPECT_EQ(FilesNamed(tree, "!pictures.html"), c.pages) << c.name;
        EXPECT_NE(run.err.find("quimbo-build: galleries: written "), std::string::npos) << c.name;
        if (c.exitCode == 2) EXPECT_FALSE(fs::exists(tree / "!albums.html"));
        if (c.name == "tree_fifo") {
            EXPECT_EQ(Values(ReadAll(tree / "!albums.html"), "src"),
                      (std::vector<std::string>{"./a.jpg", "./other/c.jpg"}));
        }
        for (auto it = fs::recursive_directory_iterator(tree); it != fs::recursive_directory_iterator(); ++it)
            EXPECT_NE(it->path().extension(), ".quimbo-tmp") << c.name << ": left behind: " << it->path();
    }
}

// A folder below the tree's own that another build holds is waited for, and
// built once that build lets it go.
TEST(Tree, WaitsForAnotherBuildOfAFolderBelow) {
    fs::path tree = MakeTree("tree_locked", {"a.jpg", "busy/b.jpg", "free/c.jpg"});
    int held = open((tree / "busy").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);  // not held on by the run itself
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    std::thread release([held] {
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        close(held);
    });
    auto start = std::chrono::steady_clock::now();
    RunResult run = QuimboBuild("--recursive " + Quote(tree));
    auto waited = std::chrono::steady_clock::now() - start;
    release.join();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_GE(waited, std::chrono::milliseconds(700));
    EXPECT_EQ(FilesNamed(tree, "!pictures.html"),
              (std::set<std::string>{"!pictures.html", "busy/!pictures.html", "free/!pictures.html"}));
}

TEST(Tree, PreviewsOfEveryFolderShareTheRunAndBecomeTheCovers) {
    fs::path tree = MakeTree("tree_previews", {});
    fs::create_directories(tree / "a");
    fs::create_directories(tree / "b" / "c");
    for (const char* image : {"a/one.jpg", "a/two.png", "b/c/three.jpg", "big.jpg"}) {
        std::string size = std::string(image) == "big.jpg" ? "900x600" : "64x48";
        ASSERT_EQ(std::system(("convert -size " + size + " xc:teal '" + (tree / image).string() + "'").c_str()), 0);
    }
    std::ofstream(tree / "b" / "broken.jpg") << "not a picture";

    RunResult run = QuimboBuild("--recursive --previews --jobs 2 " + Quote(tree));
    EXPECT_EQ(run.exitCode, 3) << run.err;  // broken.jpg has no preview
    // Named by its path below the tree's folder: two broken.jpg are two lines.
    EXPECT_NE(run.err.find("quimbo-build: no preview for b/broken.jpg: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("quimbo-build: galleries: written 4, without images 0, failed 0; previews: made 4, up to date 0, failed 1\n"),
              std::string::npos)
        << run.err;
    for (const char* preview : {"a/one_t.jpg", "a/two_t.png", "b/c/three_t.jpg", "big_t.jpg"})
        EXPECT_TRUE(fs::exists(tree / preview)) << preview;
    EXPECT_EQ(Values(ReadAll(tree / "!albums.html"), "src"),
              (std::vector<std::string>{"./big_t.jpg", "./a/one_t.jpg", "./b/broken.jpg", "./b/c/three_t.jpg"}));

    fs::remove(tree / "b" / "broken.jpg");
    run = QuimboBuild("--recursive --previews " + Quote(tree));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("previews: made 0, up to date 4, failed 0\n"), std::string::npos) << run.err;
}

}  // namespace
