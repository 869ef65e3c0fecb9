// quimbo-build: writes the gallery page and thumbnail script of one folder,
// without a window; with --recursive, of every folder of a tree, and the
// album index (tree.cpp).
//
//   quimbo-build [OPTION]... FOLDER      (see kHelpText)
//
// Exit codes: 0 written (the page's path is printed), 1 a file could not be
// written (the file and the system's text on stderr; previews included), 2 no
// images in the folder or no such folder, 3 page and script written but some
// previews could not be made from their images, 64 a malformed command line,
// 75 another build of the folder still running after kFolderWaitSeconds.
// Every argument that starts with "-" is an option, and an unknown one is a
// usage error, never a folder; a lone "-" and everything after "--" are
// folder names.
#include <stdio.h>
#include <string.h>

#include "../common/common.h"
#include "../gallery/build.h"
#include "cli_platform.h"
#include "cli_previews.h"
#include "cli_text.h"
#include "folder_build.h"
#include "tree.h"

#if QUIMBO_WIN32
#define MAIN wmain
#define ARG_EQ(a, b) (wcscmp(a, L##b) == 0)
#else
#define MAIN main
#define ARG_EQ(a, b) (strcmp(a, b) == 0)
#endif

// How long a build waits for another build of its folder to end.
constexpr int kFolderWaitSeconds = 10;
static_assert(kFolderWaitSeconds == 10, "kHelpText, the manual page and the README say 10 seconds");

// Writes a native path of any length to `stream` as UTF-8, escaped (cli_text.h).
static void PrintPath(FILE* stream, const PathChar* path) {
    char storage[kPathTextCapacity];
    size_t length = TextLength(path);
    for (size_t done = 0; done < length;) {
        ByteBuf text(storage);
        done += AppendPathText(path + done, length - done, text);
        fwrite(text.buf, 1, text.len, stream);
    }
}

// ": " and the system's text for `error`, in UTF-8, on stderr.
static void PrintReason(SystemError error) {
    char storage[4 * kSystemErrorTextCapacity];
    ByteBuf text(storage);
    AppendErrorText(error, text);
    fputs(": ", stderr);
    fwrite(text.buf, 1, text.len, stderr);
    fputs("\n", stderr);
}

// Prints the page's path on stdout. A reader that has gone away (`| head -0`)
// is not told about; any other failure is, on stderr. Either way the exit code
// stays the one of the files: they are written, and a caller that reads only
// the exit code must not build them again.
static void PrintPagePath(const PathChar* folder) {
    char storage[kPathTextCapacity + 2];  // the page's path fits kPathCapacity
    ByteBuf line(storage);
    AppendPathText(folder, TextLength(folder), line);
    AppendPathText(kPageName, TextLength(kPageName), line);
    line.Append('\n');
    fwrite(line.buf, 1, line.len, stdout);
    SystemError error = 0;
    if (!FlushStdout(&error) && error) {
        fputs("quimbo-build: cannot print the page's path", stderr);
        PrintReason(error);
    }
}

// True when `path` names something once the separators it ends in are taken
// away: a file named with a separator after it ("photo.jpg/").
static bool ExistsWithoutSeparator(const PathChar* path) {
    PathChar storage[kPathCapacity];
    PathBuf bare(storage);
    bare.AppendZ(path);
    while (bare.len > 1 && (bare.buf[bare.len - 1] == kPathSeparator || bare.buf[bare.len - 1] == PathChar('/')))
        bare.buf[--bare.len] = 0;
    return !bare.overflow && PathExists(bare.buf);
}

// For golden files: "YYYY-MM-DDTHH:MM" fixes the clock of the stamps.
// Not part of the usage text. False when the text is not of that form.
static bool ParseFixedTime(const PathChar* text, LocalTime* time) {
    static const char kForm[] = "dddd-dd-ddTdd:dd";
    int value[5] = {0, 0, 0, 0, 0};
    int field = 0;
    for (int i = 0; kForm[i]; ++i) {
        PathChar c = text[i];
        if (kForm[i] == 'd') {
            if (c < PathChar('0') || c > PathChar('9')) return false;
            value[field] = value[field] * 10 + int(c - PathChar('0'));
        } else {
            if (c != PathChar(kForm[i])) return false;
            ++field;
        }
    }
    if (text[sizeof kForm - 1] != 0) return false;
    *time = LocalTime{value[0], value[1], value[2], value[3], value[4]};
    return true;
}

// The number of --jobs: 1 to 1000 in decimal digits; 0 for anything else.
static int ParseJobs(const PathChar* text) {
    int jobs = 0;
    for (const PathChar* digit = text; *digit; ++digit) {
        if (*digit < PathChar('0') || *digit > PathChar('9')) return 0;
        jobs = jobs * 10 + int(*digit - PathChar('0'));
        if (jobs > 1000) return 0;
    }
    return jobs;
}

// The answer to --help, on stdout: one line per option.
static const char kHelpText[] =
    "usage: quimbo-build [OPTION]... FOLDER\n"
    "Writes the gallery page !pictures.html of the images in FOLDER and the\n"
    "script $create-Thumbnails.cmd that makes their preview copies, into FOLDER.\n"
    "\n"
    "  --lang de|en      language of the page (default: the user's language)\n"
    "  --previews[=all]  make the _t preview copies (all: remake every one)\n"
    "  --recursive       also every folder below FOLDER (not hidden folders nor\n"
    "                    links), and the album index !albums.html in FOLDER\n"
    "  --jobs N          workers for previews and folders, at most 64\n"
    "                    (default: number of cores)\n"
    "  --version         print the version and exit\n"
    "  -h, --help        print this help and exit\n"
    "  --                end of options: the next argument is FOLDER\n"
    "\n"
    "Exit status: 0 written, 1 a file could not be written (or a folder read),\n"
    "2 no images (in no folder of the tree) or no such folder, 3 some previews\n"
    "could not be made, 64 a malformed command line, 75 another build of the\n"
    "folder still running after 10 seconds.\n";

// A malformed command line: "quimbo-build: " `what` and `arg` (when given), the
// usage line and where to find more, on stderr. Returns the exit code 64.
static int UsageError(const char* what, const PathChar* arg = nullptr) {
    fputs("quimbo-build: ", stderr);
    fputs(what, stderr);
    if (arg) PrintPath(stderr, arg);
    fputs("\nusage: quimbo-build [--lang de|en] [--previews[=all]] [--recursive] [--jobs N] FOLDER\n"
          "Try 'quimbo-build --help' for more information.\n",
          stderr);
    return 64;
}

int MAIN(int argc, PathChar** argv) {
    ApplyLanguageRule();
    ProtectStandardStreams();
    const PathChar* folderArg = nullptr;
    bool optionsEnded = false;
    bool previews = false;
    bool recursive = false;
    PreviewOptions previewOptions{false, 0};
    for (int i = 1; i < argc; ++i) {
        const PathChar* arg = argv[i];
        bool isOption = !optionsEnded && arg[0] == PathChar('-') && arg[1] != 0;
        if (!isOption) {
            if (folderArg) return UsageError("more than one folder: ", arg);
            folderArg = arg;
        } else if (ARG_EQ(arg, "--")) {
            optionsEnded = true;
        } else if (ARG_EQ(arg, "--fixed-time")) {
            static LocalTime fixedTime;
            if (i + 1 >= argc || !ParseFixedTime(argv[i + 1], &fixedTime))
                return UsageError("--fixed-time needs YYYY-MM-DDTHH:MM");
            ++i;
            SetClockForTests(&fixedTime);
        } else if (ARG_EQ(arg, "--lang")) {
            if (i + 1 >= argc) return UsageError("--lang needs de or en");
            ++i;
            if (ARG_EQ(argv[i], "de")) GermanUi = true;
            else if (ARG_EQ(argv[i], "en")) GermanUi = false;
            else return UsageError("--lang needs de or en, not: ", argv[i]);
        } else if (ARG_EQ(arg, "--previews") || ARG_EQ(arg, "--previews=all")) {
            previews = true;
            previewOptions.remakeAll = arg[10] == PathChar('=');
        } else if (ARG_EQ(arg, "--recursive")) {
            recursive = true;
        } else if (ARG_EQ(arg, "--jobs")) {
            previewOptions.jobs = i + 1 < argc ? ParseJobs(argv[++i]) : 0;
            if (previewOptions.jobs == 0) return UsageError("--jobs needs a number from 1 to 1000");
        } else if (ARG_EQ(arg, "-h") || ARG_EQ(arg, "--help")) {
            fputs(kHelpText, stdout);
            return 0;
        } else if (ARG_EQ(arg, "--version")) {
            fputs("quimbo-build " QUIMBO_VERSION "\n", stdout);
            return 0;
        } else {
            return UsageError("unknown option: ", arg);
        }
    }
    if (!folderArg) return UsageError("no folder given");
    if (!folderArg[0]) return UsageError("the folder name is empty");

    // The folder as the window keeps it: always ending in a separator.
    PathChar storage[kPathCapacity];
    PathBuf folder(storage);
    folder.AppendZ(folderArg);
    PathChar last = folder.len ? folder.buf[folder.len - 1] : 0;
    if (last != kPathSeparator && last != PathChar('/')) folder.Append(kPathSeparator);

    if (folder.overflow) {  // no folder that this program could build
        fputs("quimbo-build: folder name too long: ", stderr);
        PrintPath(stderr, folderArg);
        fputs("\n", stderr);
        return 2;
    }
    // A path that names a file has no folder behind its separator either.
    if (!PathExists(folder.buf)) {
        fputs(ExistsWithoutSeparator(folderArg) ? "quimbo-build: not a folder: " : "quimbo-build: no such folder: ", stderr);
        PrintPath(stderr, folderArg);
        fputs("\n", stderr);
        return 2;
    }
    // One build of a folder at a time, from the listing to the last preview: a
    // second one waits for the first to end, and then builds on what it wrote.
    // The folder is opened once, here; its files are read and written through
    // what was opened. One that cannot be opened is built by its path all the
    // same, and the build says what stands in its way.
    static FolderBuild build;  // large: not on the stack
    SystemError takeError = 0;
    if (TakeFolder(&build, folder.buf, nullptr, kFolderWaitSeconds * 1000, &takeError) == FolderTake::Busy) {
        fprintf(stderr, "quimbo-build: another build of this folder is still running after %d s: ", kFolderWaitSeconds);
        PrintPath(stderr, folderArg);
        fputs("\n", stderr);
        return 75;
    }

    // The tree's own folder stays held (above) for the whole run; each folder
    // below is held while its gallery and its previews are made.
    if (recursive) {
        int exitCode = BuildTree(&build, TreeOptions{GermanUi, previews, previewOptions, kFolderWaitSeconds * 1000u});
        ReleaseFolder(&build);
        return exitCode;
    }

    // Whether the folder holds images at all comes from the listing's own
    // searches: no extra pass over a large folder.
    static LineWriter writer;
    GalleryOutcome outcome = WriteFolderGallery(&build, GermanUi, &writer, nullptr);
    if (outcome.noImages) {
        fputs("No images in this folder:\n", stderr);
        PrintPath(stderr, folder.buf);
        fputs("\n", stderr);
        return 2;
    }
    if (outcome.notRegularFile) {
        fputs("quimbo-build: not a regular file: ", stderr);
        PrintPath(stderr, folder.buf);
        PrintPath(stderr, outcome.failedName);
        fputs("\n", stderr);
        return 1;
    }
    int exitCode = 0;
    if (!outcome.ok) {
        fputs("Cannot write ", stderr);
        PrintPath(stderr, folder.buf);
        PrintPath(stderr, outcome.failedName);
        PrintReason(outcome.error);
        exitCode = 1;
    } else {
        PrintPagePath(folder.buf);
    }
    if (previews) {
        PreviewCounts counts = MakeFolderPreviews(&build, previewOptions);
        if (counts.failedWrites || counts.withoutLibrary) exitCode = 1;
        else if (counts.failedImages && exitCode == 0) exitCode = 3;
    }
    ReleaseFolder(&build);
    return exitCode;
}
