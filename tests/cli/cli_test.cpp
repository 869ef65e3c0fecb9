// quimbo-build as a user runs it on POSIX: exit codes, messages, and names the
// Windows search would never hand out.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "cli/cli_text.h"
#include "tests/cli/cli_run.h"

namespace fs = std::filesystem;

namespace {

using namespace clitest;

// The src values of the page's entries, in order.
std::string Sources(const std::string& page) {
    std::string list;
    for (size_t at = page.find(" src=\""); at != std::string::npos; at = page.find(" src=\"", at + 1)) {
        size_t end = page.find('"', at + 6);
        list += page.substr(at + 6, end - at - 6) + "|";
    }
    return list;
}

TEST(QuimboBuild, WritesBothFilesAndPrintsThePage) {
    fs::path dir = MakeFolder("cli_ok", {"a.jpg"});
    for (std::string arg : {dir.string(), dir.string() + "/"}) {
        RunResult run = QuimboBuild("'" + arg + "'");
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, (dir / "!pictures.html").string() + "\n");
        EXPECT_EQ(run.err, "");
        EXPECT_TRUE(fs::exists(dir / "$create-Thumbnails.cmd"));
    }
}

TEST(QuimboBuild, LanguageFromTheOptionOrTheEnvironment) {
    fs::path dir = MakeFolder("cli_lang", {"a.png"});
    struct Case {
        std::string args, env, lang;
    } cases[] = {
        {"--lang de", "LC_ALL=C", "de"},
        {"--lang en", "LANG=de_DE.UTF-8", "en"},
        {"", "LC_ALL= LC_MESSAGES= LANG=de_AT.UTF-8", "de"},
        {"", "LC_ALL=en_US.UTF-8 LANG=de_DE.UTF-8", "en"},
        {"", "LC_ALL= LC_MESSAGES=de_CH LANG=en_US", "de"},
        {"--lang=de", "LC_ALL=C", "de"},
        {"--la=de", "LC_ALL=C", "de"},  // a long option shortened, as GNU tools take it
    };
    for (const Case& c : cases) {
        RunResult run = QuimboBuild(c.args + " " + Quote(dir), c.env);
        ASSERT_EQ(run.exitCode, 0) << c.args << " " << c.env;
        EXPECT_NE(ReadAll(dir / "!pictures.html").find("<html lang=\"" + c.lang + "\">"), std::string::npos)
            << c.args << " " << c.env;
    }
}

TEST(QuimboBuild, RefusesFoldersWithoutImagesAndBadCommandLines) {
    fs::path gifs = MakeFolder("cli_gifs", {"a.gif", "b.GIF", "notes.txt"});
    RunResult run = QuimboBuild(Quote(gifs));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "quimbo-build: no images in " + gifs.string() +
                           "/ (images: .jpg, .jpeg, .jfif, .png, .webp, .avif, .svg, .ico; .gif alone does not count)\n");
    EXPECT_FALSE(fs::exists(gifs / "!pictures.html"));

    EXPECT_EQ(QuimboBuild(Quote(gifs / "missing")).exitCode, 2);
    for (std::string args : {"", "--lang", "--lang fr x", "a b", "''"}) {
        RunResult bad = QuimboBuild(args);
        EXPECT_EQ(bad.exitCode, 64) << args;
        EXPECT_NE(bad.err.find("usage: quimbo-build"), std::string::npos);
    }
}

TEST(QuimboBuild, VersionAndHelpGoToStdoutAndExitZero) {
    RunResult version = QuimboBuild("--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "quimbo-build " QUIMBO_VERSION "\n");
    EXPECT_EQ(version.err, "");
    for (std::string flag : {"--help", "-h"}) {
        RunResult help = QuimboBuild(flag);
        EXPECT_EQ(help.exitCode, 0) << flag;
        EXPECT_EQ(help.err, "") << flag;
        EXPECT_EQ(help.out.rfind("usage: quimbo-build [OPTION]... FOLDER\n", 0), 0u) << help.out;
        for (std::string line : {"\n      --lang de|en ", "\n      --title TEXT ", "\n  -p, --previews[=all] ",
                                 "\n  -r, --recursive ", "\n  -j, --jobs N ", "\n      --watch ", "\n      --open ", "\n      --version ",
                                 "\n  -h, --help ", "\n      -- ", "\nFull documentation: man quimbo-build "})
            EXPECT_NE(help.out.find(line), std::string::npos) << line;
    }
}

// Options are never taken for folders; a lone "-" and anything after "--" are
// folder names. Runs in a folder holding the image folders "-" and "-x".
TEST(QuimboBuild, CommandLineCases) {
    fs::path dir = MakeFolder("cli_args", {"a.jpg"});
    fs::create_directory(dir / "-");
    fs::create_directory(dir / "-x");
    std::ofstream(dir / "-" / "a.jpg") << "x";
    std::ofstream(dir / "-x" / "a.jpg") << "x";
    const std::string tooLong(5000, 'n');  // longer than any path the system takes
    const std::string usage = "quimbo-build: usage: quimbo-build [OPTION]... FOLDER\n"
                              "quimbo-build: try 'quimbo-build --help' for more information.\n";
    const std::string jobs = "quimbo-build: --jobs needs a whole number of 1 or more, not: ";
    struct Case {
        std::string args;
        int exitCode;
        std::string out, err, written;  // `written`: the folder that gets a page, if any
    } cases[] = {
        {"-", 0, "-/!pictures.html\n", "", "-"},
        {"-- -x", 0, "-x/!pictures.html\n", "", "-x"},
        {"--lang en -- -", 0, "-/!pictures.html\n", "", "-"},
        {"-x", 64, "", "quimbo-build: unknown option: -x\n" + usage, ""},
        {"--bogus .", 64, "", "quimbo-build: unknown option: --bogus\n" + usage, ""},
        // The forms of GNU's getopt_long: options before or after the folder,
        // a value after "=" or as the next argument, short options grouped.
        {". --lang=de", 0, "./!pictures.html\n", "", "."},
        {"--lang de -", 0, "-/!pictures.html\n", "", "-"},
        {"-j4 .", 0, "./!pictures.html\n", "", "."},
        {"-j 4 --lang en .", 0, "./!pictures.html\n", "", "."},
        {"--jobs=4 --title=Trip .", 0, "./!pictures.html\n", "", "."},
        {"-rj2 -- -x", 0, "-x/!albums.html\n",
         "quimbo-build: galleries: written 1, without images 0, failed 0; previews: made 0, up to date 0, failed 0\n", "-x"},
        {"--LANG de .", 64, "", "quimbo-build: unknown option: --LANG\n" + usage, ""},
        {"--version=2", 64, "", "quimbo-build: --version takes no value: --version=2\n" + usage, ""},
        {"-rx .", 64, "", "quimbo-build: unknown option: -x\n" + usage, ""},
        {"--lang fr .", 64, "", "quimbo-build: --lang needs de or en, not: fr\n" + usage, ""},
        {"--lang=", 64, "", "quimbo-build: --lang needs de or en, not: \n" + usage, ""},
        {". --jobs", 64, "", "quimbo-build: --jobs needs a value\n" + usage, ""},
        {". -j", 64, "", "quimbo-build: -j needs a value\n" + usage, ""},
        {"-j0 .", 64, "", jobs + "0\n" + usage, ""},
        {"--jobs=4x .", 64, "", jobs + "4x\n" + usage, ""},
        {"--previews=some .", 64, "", "quimbo-build: --previews takes no value but all, not: some\n" + usage, ""},
        {"--title " + std::string(79, 't') + " .", 64, "",
         "quimbo-build: --title is too long for the page (at most 78 bytes of UTF-8; \" < > & \\ and control "
         "characters take 6): " + std::string(79, 't') + "\n" + usage, ""},
        {"-- . -x", 64, "", "quimbo-build: more than one folder: -x\n" + usage, ""},
        {"--", 64, "", "quimbo-build: no folder given\n" + usage, ""},
        {"missing", 2, "", "quimbo-build: no such folder: missing\n", ""},
        {"a.jpg", 2, "", "quimbo-build: not a folder: a.jpg\n", ""},
        {"a.jpg/", 2, "", "quimbo-build: not a folder: a.jpg/\n", ""},
        {"a.jpg//", 2, "", "quimbo-build: not a folder: a.jpg//\n", ""},
        {"a.jpg/x/", 2, "", "quimbo-build: no such folder: a.jpg/x/\n", ""},
        {"missing/", 2, "", "quimbo-build: no such folder: missing/\n", ""},
        {tooLong, 2, "", "quimbo-build: folder name too long: " + tooLong + "\n", ""},
        {"'back\\slash'", 2, "", "quimbo-build: no such folder: back\\\\slash\n", ""},
        {"-- --x", 2, "", "quimbo-build: no such folder: --x\n", ""},
    };
    fs::path before = fs::current_path();
    fs::current_path(dir);
    for (const Case& c : cases) {
        for (const char* name : {".", "-", "-x"}) fs::remove(fs::path(name) / "!pictures.html");
        RunResult run = QuimboBuild(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args;
        EXPECT_EQ(run.out, c.out) << c.args;
        EXPECT_EQ(run.err, c.err) << c.args;
        for (const char* name : {".", "-", "-x"})
            EXPECT_EQ(fs::exists(fs::path(name) / "!pictures.html"), c.written == name) << c.args << " " << name;
    }
    fs::current_path(before);
}

TEST(QuimboBuild, AFileThatCannotBeWrittenIsNamedWithTheSystemsReason) {
    fs::path dir = MakeFolder("cli_fail", {"a.jpg"});
    fs::create_directory(dir / "!pictures.html");  // in the way, whoever runs the test
    RunResult run = QuimboBuild(Quote(dir));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "quimbo-build: cannot write " + (dir / "!pictures.html").string() + ": Is a directory\n");
    EXPECT_FALSE(fs::exists(dir / "$create-Thumbnails.cmd"));  // page and script go together, or neither
}

TEST(QuimboBuild, PatternsIgnoreCaseAndEachIsOrderedByName) {
    fs::path dir = MakeFolder("cli_order", {"b.jpg", "A.JPG", "c.Jpg", "Z.jpeg", "d.PNG", "e.svg", "x_T.jpg",
                                            "y_w.PNG", "keep.txt", "ico.ICO"});
    fs::create_directory(dir / "album.jpg");
    ASSERT_EQ(QuimboBuild(Quote(dir)).exitCode, 0);
    EXPECT_EQ(Sources(ReadAll(dir / "!pictures.html")), "A.JPG|b.jpg|c.Jpg|Z.jpeg|e.svg|d.PNG|ico.ICO|");
}

TEST(QuimboBuild, LettersBeyondAsciiAreOrderedAsWindowsOrdersThem) {
    // by upper-cased UTF-16 units: A-Z before \u00c4 and \u00d6, whatever the case of the name
    fs::path dir = MakeFolder("cli_order_umlaut", {"\xC3\xB6l.jpg", "Zebra.jpg", "\xC3\xA4rger.jpg", "apfel.jpg",
                                                   "\xC3\x84ra.jpg"});
    ASSERT_EQ(QuimboBuild(Quote(dir)).exitCode, 0);
    EXPECT_EQ(Sources(ReadAll(dir / "!pictures.html")),
              "apfel.jpg|Zebra.jpg|%C3%84ra.jpg|%C3%A4rger.jpg|%C3%B6l.jpg|");
}

TEST(QuimboBuild, NamesThatAreNotTextStayUsableAndThePageStaysValid) {
    fs::path dir = MakeFolder("cli_bytes", {"bad\xFF.jpg", "q\"<b>.png", "Sch\xC3\xB6n & gut.svg"});
    ASSERT_EQ(QuimboBuild(Quote(dir)).exitCode, 0);
    std::string page = ReadAll(dir / "!pictures.html");
    EXPECT_NE(page.find(" src=\"bad%FF.jpg\" alt=\"bad\xEF\xBF\xBD.jpg\""), std::string::npos);
    EXPECT_NE(page.find(">bad\xEF\xBF\xBD.jpg</figcaption>"), std::string::npos);
    EXPECT_NE(page.find(" src=\"q%22%3Cb%3E.png\" alt=\"q&quot;&lt;b&gt;.png\""), std::string::npos);
    EXPECT_NE(page.find(" src=\"Sch%C3%B6n%20%26%20gut.svg\" alt=\"Sch\xC3\xB6n & gut.svg\""), std::string::npos);
    EXPECT_EQ(page.find('\xFF'), std::string::npos);
}

// Names as quimbo-build prints them: text as it is, everything that could
// split a line or steer a terminal escaped.
TEST(PrintedNames, ControlCharactersAndBytesThatAreNotTextAreEscaped) {
    struct Case {
        std::string name, printed;
    } cases[] = {
        {"plain name.jpg", "plain name.jpg"},
        {"Sch\xC3\xB6n \xF0\x9F\x93\xB7.jpg", "Sch\xC3\xB6n \xF0\x9F\x93\xB7.jpg"},  // text, up to four bytes a character
        {"no\xC2\xA0" "break", "no\xC2\xA0" "break"},                                        // U+00A0 is no control
        {"a\nb\tc", "a\\nb\\tc"},
        {"\x1B[2J\r\x01", "\\x1B[2J\\x0D\\x01"},
        {"del\x7F", "del\\x7F"},
        {"csi\xC2\x9B" "1m", "csi\\xC2\\x9B1m"},                                      // C1 as UTF-8
        {"bad\xFF\xFE", "bad\\xFF\\xFE"},
        {"cut\xC3", "cut\\xC3"},                                                         // a character cut short
        {"cut\xE2\x82x", "cut\\xE2\\x82x"},
        {"long\xC0\xAF", "long\\xC0\\xAF"},                                             // an overlong slash
        {"half\xED\xA0\x80", "half\\xED\\xA0\\x80"},                                   // a surrogate
        {"big\xF4\x90\x80\x80", "big\\xF4\\x90\\x80\\x80"},                           // above U+10FFFF
        {"back\\slash/dir/", "back\\\\slash/dir/"},
        {"c1\xC2\x9F|\xC2\xA0", "c1\\xC2\\x9F|\xC2\xA0"},                               // the last C1, the first after it
        {"long\xE0\x82\xA9", "long\\xE0\\x82\\xA9"},                                  // an overlong three-byte form of U+00A9
        {"Holiday\xE2\x80\xAEgpj.exe", "Holiday\\xE2\\x80\\xAEgpj.exe"},             // right-to-left override
        {"\xE2\x80\x8D\xE2\x80\x8E\xE2\x80\xA9\xE2\x80\xAA", "\xE2\x80\x8D\\xE2\\x80\\x8E\xE2\x80\xA9\\xE2\\x80\\xAA"},  // each side of U+200E, U+202A
        {"\xE2\x81\xA5\xE2\x81\xA6\xE2\x81\xA9\xE2\x81\xAA\xD8\x9C\xD8\x9B", "\xE2\x81\xA5\\xE2\\x81\\xA6\\xE2\\x81\\xA9\xE2\x81\xAA\\xD8\\x9C\xD8\x9B"},  // U+2066 to U+2069, U+061C
    };
    for (const Case& c : cases) {
        char storage[256];
        ByteBuf out(storage);
        EXPECT_EQ(AppendPathText(c.name.data(), c.name.size(), out), c.name.size()) << c.printed;
        EXPECT_EQ(std::string(out.buf, out.len), c.printed);
        EXPECT_FALSE(out.overflow);
        // In a buffer that is too small: whole characters only, and the rest follows on.
        for (size_t capacity = 17; capacity < 40; ++capacity) {
            std::string joined;
            for (size_t done = 0; done < c.name.size();) {
                ByteBuf part(storage, capacity);
                size_t taken = AppendPathText(c.name.data() + done, c.name.size() - done, part);
                ASSERT_GT(taken, 0u);
                EXPECT_EQ(part.overflow, done + taken < c.name.size());
                joined.append(part.buf, part.len);
                done += taken;
            }
            EXPECT_EQ(joined, c.printed) << "in parts of " << capacity;
        }
    }
}

}  // namespace

// --title wins over the carried-over title (escaping and carry-over are the
// page tests'); with --recursive it names the index, which lists each album
// under its own title.
TEST(QuimboBuild, TitleFromTheCommandLine) {
    fs::path dir = MakeFolder("cli_title", {"a.jpg"});
    fs::create_directory(dir / "given");
    fs::create_directory(dir / "plain");
    std::ofstream(dir / "given" / "b.jpg") << "x";
    std::ofstream(dir / "plain" / "c.jpg") << "x";
    ASSERT_EQ(QuimboBuild("--title Old " + Quote(dir / "given")).exitCode, 0);
    ASSERT_EQ(QuimboBuild("--title 'Given <one>' " + Quote(dir / "given")).exitCode, 0);
    RunResult tree = QuimboBuild("-r --title 'All & sundry' " + Quote(dir));
    ASSERT_EQ(tree.exitCode, 0) << tree.err;
    std::string index = ReadAll(dir / "!albums.html");
    EXPECT_NE(index.find("<title>All &amp; sundry</title>"), std::string::npos);
    EXPECT_NE(index.find("</span> All &amp; sundry</h1>"), std::string::npos);
    EXPECT_NE(index.find("<span class=name>Given &lt;one&gt;</span>"), std::string::npos);
    EXPECT_NE(index.find("<span class=name>plain</span>"), std::string::npos);
    EXPECT_NE(ReadAll(dir / "given" / "!pictures.html").find("const title=\"Given \\u003Cone\\u003E\";"),
              std::string::npos) << "the tree's run keeps the gallery's own title";
}

// --open hands the written page (with -r the index) to the opener on PATH and
// waits for nothing; a missing opener is one line and changes no exit code.
TEST(QuimboBuild, OpenHandsThePageToTheOpener) {
    fs::path dir = MakeFolder("cli_open", {"a.jpg"});
    fs::path bin = MakeFolder("cli_open_bin", {});
    fs::path log = bin / "opened";
    std::ofstream(bin / "xdg-open") << "#!/bin/sh\nprintf '%s|' \"$@\" >" + Quote((bin / "part").string()) +
                                           "\nmv " + Quote((bin / "part").string()) + " " + Quote(log.string()) + "\n";
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    struct Case {
        std::string args, opened;
    } cases[] = {{"--open", "!pictures.html"}, {"-r --open", "!albums.html"}};
    for (const Case& c : cases) {
        fs::remove(log);
        RunResult run = QuimboBuild(c.args + " " + Quote(dir), "PATH=" + Quote(bin.string()) + ":/usr/bin:/bin LC_ALL=C");
        EXPECT_EQ(run.exitCode, 0) << run.err;
        for (int i = 0; i < 500 && !fs::exists(log); ++i) usleep(10000);
        EXPECT_EQ(ReadAll(log), (dir / c.opened).string() + "|") << c.args;
    }
    RunResult missing = QuimboBuild("--open " + Quote(dir), "PATH=" + Quote(bin.string() + "/none") + " LC_ALL=C");
    EXPECT_EQ(missing.exitCode, 0);
    EXPECT_EQ(missing.out, (dir / "!pictures.html").string() + "\n");
    EXPECT_EQ(missing.err, "quimbo-build: cannot open " + (dir / "!pictures.html").string() +
                               " with xdg-open: No such file or directory\n");
}
