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
        std::string options = "";       // before the folder
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
        // A script that could not follow its page is a failure (1), worse than a preview (3).
        {"tree_script", {"a.jpg", "sub/b.jpg"}, faults.string(), "QUIMBO_TEST_FAULTS='move,in=sub/$create'", "", 1,
         "quimbo-build: TREE/sub/$create-Thumbnails.cmd: No space left on device\n", {"!pictures.html", "sub/!pictures.html"},
         "--previews"},
        // Someone else's FIFO at a temporary's name is not taken for one a killed run left.
        {"tree_tmp_fifo", {"a.jpg", "sub/b.jpg"}, QUIMBO_BUILD_EXE, "", "sub/!pictures.html.quimbo-tmp", 1,
         "quimbo-build: TREE/sub/!pictures.html: File exists\n", {"!pictures.html"}},
    };
    for (const Case& c : cases) {
        fs::path tree = MakeTree(c.name, c.files);
        if (!c.special.empty()) ASSERT_EQ(mkfifo((tree / c.special).c_str(), 0644), 0);
        RunResult run = RunProgram(c.exe, "--recursive --jobs 2 " + c.options + " " + Quote(tree), c.env);
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
            EXPECT_TRUE(it->path().extension() != ".quimbo-tmp" || it->is_fifo()) << c.name << ": left behind: " << it->path();
        if (c.name == "tree_tmp_fifo") EXPECT_TRUE(fs::is_fifo(tree / c.special));
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

// A run whose output goes to files of its own, so that runs can go at once.
RunResult RunAlongside(const std::string& exe, const std::string& args, const std::string& tag,
                       const std::string& env = "") {
    fs::path out = Scratch() / (tag + ".out"), err = Scratch() / (tag + ".err");
    std::string command = "env LC_ALL=C LC_MESSAGES= LANG= " + env + " '" + exe + "' " + args + " >'" + out.string() +
                          "' 2>'" + err.string() + "'";
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadAll(out), ReadAll(err)};
}

// What a result is, and how names show, where the tree and the one-folder run
// used to be wrong: each row one run ("TREE" stands for the tree's path).
TEST(Tree, NamesAndResultsTellTheTruth) {
    const std::string rtl = "\u202E";  // RIGHT-TO-LEFT OVERRIDE
    struct Case {
        std::string name;
        std::vector<std::string> files;
        std::string args;  // after the folder option; TREE replaced
        std::string env;
        int exitCode;
        std::string errHas, errLacks;
        std::string indexHas, indexLacks;  // "" for no check; indexLacks "src=" on a rewritten index
    } cases[] = {
        {"only preview names: an empty gallery, in both modes", {"a.jpg", "sub/sunset_t.jpg", "sub/Kid_w.jpg"},
         "--recursive TREE", "", 0, "failed 0\n", "", "./a.jpg", "folder>sub<"},
        {"only preview names, one folder", {"sunset_t.jpg"}, "TREE", "", 0, "", "", "", ""},
        {"a folder named like an image hides no photo", {"photo.jpg", "Album 1.jpg/"}, "TREE", "", 0, "", "", "", ""},
        {"the root album by its real name", {"a.jpg", "sub/"}, "--recursive TREE/sub/..", "", 0, "", "",
         "tree_names_root</", ">..<"},
        {"folders that could not be read are not 'no images'", {"xbad/b.jpg", "xworse/c.jpg"}, "--recursive TREE",
         "QUIMBO_TEST_FAULTS=search-in=/x", 1, "could not be read",
         "no images in this folder", "", ""},
        {"a bidi control on stderr", {"Holiday" + rtl + "gpj.exe/"}, "TREE/Holiday" + rtl + "gpj.exe", "", 2,
         "Holiday\\xE2\\x80\\xAEgpj.exe", rtl, "", ""},
        {"a bidi control in the index", {"Holiday" + rtl + "gpj.exe/x.jpg", "\u2067x\u200F/y.jpg"}, "--recursive TREE",
         "", 0, "", "", "Holiday\\xE2\\x80\\xAEgpj.exe", rtl},
    };
    for (const Case& c : cases) {
        fs::path tree = Scratch() / "tree_names_root";
        fs::remove_all(tree);
        fs::create_directories(tree);
        for (const std::string& file : c.files) {
            fs::create_directories((tree / file).parent_path());
            if (file.back() != '/') std::ofstream(tree / file) << "x";
        }
        std::string folder = c.args.substr(c.args.find("TREE") + 4), options = c.args.substr(0, c.args.find("TREE"));
        std::string exe = c.env.empty() ? QUIMBO_BUILD_EXE : QUIMBO_BUILD_FAULTS_EXE;
        RunResult run = RunProgram(exe, kFixedTime + " --jobs 2 " + options + Quote(tree.string() + folder), c.env);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.name << ": " << run.err;
        if (!c.errHas.empty()) EXPECT_NE(run.err.find(c.errHas), std::string::npos) << c.name << ": " << run.err;
        if (!c.errLacks.empty()) EXPECT_EQ(run.err.find(c.errLacks), std::string::npos) << c.name << ": " << run.err;
        std::string index = ReadAll(tree / "!albums.html");
        if (!c.indexHas.empty()) EXPECT_NE(index.find(c.indexHas), std::string::npos) << c.name << ": " << index;
        if (!c.indexLacks.empty()) EXPECT_EQ(index.find(c.indexLacks), std::string::npos) << c.name << ": " << index;
    }
    // An index whose albums are all gone is rewritten to list none.
    fs::path tree = MakeTree("tree_stale", {"sub/a.jpg"});
    ASSERT_EQ(QuimboBuild("--recursive " + Quote(tree)).exitCode, 0);
    fs::remove(tree / "sub/a.jpg");
    RunResult run = QuimboBuild("--recursive " + Quote(tree));
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_TRUE(fs::exists(tree / "!albums.html"));
    EXPECT_EQ(Values(ReadAll(tree / "!albums.html"), "src"), std::vector<std::string>{});
}

// Two builds of one folder never meet, previews included: a tree and a run on
// a folder in it, a tree and a tree in it, at the same time, every round.
TEST(Tree, BuildsOfOneFolderAtOnceNeverMeet) {
    fs::path tree = MakeTree("tree_race", {});
    for (const char* image : {"a.jpg", "b.png", "sub/c.jpg", "sub/d.jpg", "sub/e.png", "sub/deeper/f.jpg"}) {
        fs::create_directories((tree / image).parent_path());
        MakeImage(tree / image, "-size 96x64 xc:teal");
    }
    std::string sub = Quote((tree / "sub").string());
    for (int round = 0; round < 20; ++round) {
        std::string second = round % 2 ? "--recursive " + sub : sub;  // a one-folder run, then a child tree
        RunResult first, other;
        std::thread parallel([&] { other = RunAlongside(QUIMBO_BUILD_EXE, "--previews=all " + second, "race2"); });
        first = RunAlongside(QUIMBO_BUILD_EXE, "--recursive --previews=all --jobs 2 " + Quote(tree), "race1");
        parallel.join();
        ASSERT_EQ(first.exitCode, 0) << "round " << round << ": " << first.err;
        ASSERT_EQ(other.exitCode, 0) << "round " << round << ": " << other.err;
    }
}

// A folder swapped for a link to a folder outside the tree, while the tree is
// walked or after (a pause of the fault seam around its opening): nothing
// outside is written or read. Swapped before it is opened, the folder is
// named and left; after, its build goes on in the folder it opened.
TEST(Tree, AFolderSwappedForALinkLeadsNowhereOutside) {
    // before the walk opens it; before its build does; after its build has
    for (std::string when : {"@1", "@2", "@2+"}) {
        fs::path tree = MakeTree("tree_swap", {"a.jpg", "sub/b.jpg", "sub/c.jpg"});
        fs::path outside = MakeTree("tree_swap_outside", {"o.jpg", "!pictures.html", "deep/d.jpg"});
        fs::path flag = Scratch() / "swap.flag";
        fs::remove(flag);
        RunResult run;
        std::thread build([&] {
            run = RunAlongside(QUIMBO_BUILD_FAULTS_EXE, "--recursive --jobs 1 " + Quote(tree), "swap",
                               "QUIMBO_TEST_FAULTS=pause=/sub/" + std::string(when) + " QUIMBO_TEST_PAUSE_FLAG=" +
                                   Quote(flag.string()));
        });
        for (int i = 0; i < 2000 && !fs::exists(flag); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_TRUE(fs::exists(flag)) << when;
        fs::rename(tree / "sub", tree / "sub.moved");
        fs::create_directory_symlink(outside, tree / "sub");
        fs::remove(flag);
        build.join();
        bool opened = when == "@2+";
        EXPECT_EQ(run.exitCode, opened ? 0 : 1) << when << ": " << run.err;
        EXPECT_EQ(run.err.find("quimbo-build: " + (tree / "sub").string() + "/: not a folder of the tree") ==
                      std::string::npos,
                  opened)
            << when << ": " << run.err;
        EXPECT_EQ(fs::exists(tree / "sub.moved" / "!pictures.html"), opened) << when;
        EXPECT_EQ(ReadAll(outside / "!pictures.html"), "x") << when;
        EXPECT_EQ(run.err.find("sub/deep"), std::string::npos) << when << ": the walk read the folder outside: " << run.err;
        EXPECT_EQ(FilesNamed(outside, "$create-Thumbnails.cmd"), std::set<std::string>{}) << when;
        EXPECT_TRUE(fs::exists(tree / "!pictures.html")) << when;
    }
}

// Folders another build holds are set aside and tried again after the others:
// four held ones on two workers cost one wait, not four (nor two); one still
// held at the end is 75, worse than a preview not made (3), unless a file
// could not be written (1).
TEST(Tree, HeldFoldersCostOneWaitAndExit75) {
    struct Case {
        std::string name;
        std::initializer_list<std::string> files;
        std::string fifo;  // a FIFO at this page's name: a file that cannot be written
        int exitCode;
    } cases[] = {
        {"tree_held4", {"a.jpg", "h1/x.jpg", "h2/x.jpg", "h3/x.jpg", "h4/x.jpg", "free/y.jpg"}, "", 75},
        {"tree_held1", {"a.jpg", "h1/x.jpg", "bad/y.jpg"}, "bad/!pictures.html", 1},
    };
    std::vector<int> held;
    for (const Case& c : cases) {
        fs::path tree = MakeTree(c.name, c.files);
        if (!c.fifo.empty()) ASSERT_EQ(mkfifo((tree / c.fifo).c_str(), 0644), 0);
        for (const char* name : {"h1", "h2", "h3", "h4"}) {
            if (!fs::exists(tree / name)) continue;
            held.push_back(open((tree / name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            ASSERT_EQ(flock(held.back(), LOCK_EX | LOCK_NB), 0);
        }
    }
    RunResult runs[2];
    auto start = std::chrono::steady_clock::now();
    // Every image is one byte: no preview can be made of it (3).
    std::thread other([&] { runs[1] = RunAlongside(QUIMBO_BUILD_EXE, "--recursive --previews --jobs 2 " + Quote((Scratch() / cases[1].name).string()), "held1"); });
    runs[0] = RunAlongside(QUIMBO_BUILD_EXE, "--recursive --previews --jobs 2 " + Quote((Scratch() / cases[0].name).string()), "held0");
    other.join();
    auto took = std::chrono::steady_clock::now() - start;
    for (int fd : held) close(fd);
    EXPECT_LT(took, std::chrono::seconds(16));  // one wait of 10 s; two would be 20
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(runs[i].exitCode, cases[i].exitCode) << cases[i].name << ": " << runs[i].err;
        fs::path tree = Scratch() / cases[i].name;
        for (const char* name : {"h1", "h2", "h3", "h4"}) {
            if (!fs::exists(tree / name)) continue;
            EXPECT_NE(runs[i].err.find((tree / name).string() + "/: another build of this folder is still running"),
                      std::string::npos)
                << runs[i].err;
            EXPECT_FALSE(fs::exists(tree / name / "!pictures.html"));
        }
    }
    EXPECT_TRUE(fs::exists(Scratch() / cases[0].name / "free" / "!pictures.html"));
}

// Page and script are replaced together: a script that cannot be made keeps
// the old page too; a script whose move fails after the page's is named.
TEST(Tree, PageAndScriptAreReplacedAsAPair) {
    struct Case {
        std::string faults;
        std::string page, script;  // afterwards: "old" or "new"
    } cases[] = {
        {"create,in=$create-Thumbnails", "old", "old"},
        {"write=10,in=$create-Thumbnails", "old", "old"},
        {"move,in=$create-Thumbnails", "new", "old"},
        {"move,in=!pictures.html", "old", "old"},
    };
    for (const Case& c : cases) {
        fs::path dir = MakeTree("tree_pair", {"a.jpg", "!pictures.html", "$create-Thumbnails.cmd"});
        RunResult run = RunProgram(QUIMBO_BUILD_FAULTS_EXE, Quote(dir.string()), "QUIMBO_TEST_FAULTS='" + c.faults + "'");
        EXPECT_EQ(run.exitCode, 1) << c.faults << ": " << run.err;
        EXPECT_EQ(ReadAll(dir / "!pictures.html") == "x" ? "old" : "new", c.page) << c.faults;
        EXPECT_EQ(ReadAll(dir / "$create-Thumbnails.cmd") == "x" ? "old" : "new", c.script) << c.faults;
        std::string failed = c.faults.find("pictures") != std::string::npos ? "!pictures.html" : "$create-Thumbnails.cmd";
        EXPECT_NE(run.err.find("quimbo-build: cannot write " + (dir / failed).string()), std::string::npos) << c.faults << run.err;
    }
}

}  // namespace
