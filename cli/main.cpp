// quimbo-build: writes the gallery page and thumbnail script of one folder,
// without a window; with --recursive, of every folder of a tree, and the
// album index (tree.cpp).
//
//   quimbo-build [OPTION]... FOLDER      (see kOptions and PrintHelp)
//
// Exit codes: 0 written (the page's path is printed), 1 a file could not be
// written (the file and the system's text on stderr; previews included), 2 no
// images in the folder or no such folder, 3 page and script written but some
// previews could not be made from their images, 64 a malformed command line,
// 75 another build of the folder still running after kFolderWaitSeconds.
// The command line as GNU tools read it (getopt_long): --opt=VALUE and --opt
// VALUE, short forms that may be grouped (-rj4). Every argument that starts
// with "-" is an option, and an unknown one is a usage error, never a folder;
// a lone "-" and everything after "--" are folder names.
#include <stdio.h>
#include <getopt.h>
#include <stdint.h>
#include <string.h>

#include "../common/common.h"
#include "../gallery/albums.h"
#include "../gallery/build.h"
#include "../gallery/title.h"
#include "cli_platform.h"
#include "cli_previews.h"
#include "cli_text.h"
#include "folder_build.h"
#include "tree.h"
#include "watch.h"

#if QUIMBO_WIN32
#define MAIN wmain
#else
#define MAIN main
#endif

// How long a build waits for another build of its folder to end.
constexpr int kFolderWaitSeconds = 10;
static_assert(kFolderWaitSeconds == 10, "--help and the manual page say 10 seconds");

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
static bool ParseFixedTime(const char* text, LocalTime* time) {
    static const char kForm[] = "dddd-dd-ddTdd:dd";
    int value[5] = {0, 0, 0, 0, 0};
    int field = 0;
    for (int i = 0; kForm[i]; ++i) {
        char c = text[i];
        if (kForm[i] == 'd') {
            if (c < '0' || c > '9') return false;
            value[field] = value[field] * 10 + (c - '0');
        } else {
            if (c != kForm[i]) return false;
            ++field;
        }
    }
    if (text[sizeof kForm - 1] != 0) return false;
    *time = LocalTime{value[0], value[1], value[2], value[3], value[4]};
    return true;
}

// Everything the command line asks for.
struct CommandLine {
    bool previews, recursive, open, watch;
    PreviewOptions previewOptions;
    bool titleGiven;
    CarriedTitle title;          // --title as the page's script holds it (TitleForScript)
    LocalTime fixedTime;
};

// One option. Its value (nullptr when it has none) goes to `apply`, which
// returns nullptr, or the start of the message for a value it refuses (the
// value is printed after it). `usage` and `help` make its lines in --help;
// an option without `usage` is not listed there.
struct OptionSpec {
    const char* name;
    char letter;     // its short form, or 0
    int value;       // no_argument, required_argument or optional_argument
    const char* (*apply)(CommandLine* line, const char* value);
    const char* usage;
    const char* help;  // lines after the first start with "\n"
};

// --jobs N: a whole number of 1 or more; a larger one than a run can use
// makes as many workers as it can (the previews and the tree say so).
static const char* ApplyJobs(CommandLine* line, const char* value) {
    int jobs = 0;
    for (const char* digit = value; *digit; ++digit) {
        if (*digit < '0' || *digit > '9') return "--jobs needs a whole number of 1 or more, not: ";
        if (jobs < 1000000) jobs = jobs * 10 + (*digit - '0');
    }
    if (jobs == 0) return "--jobs needs a whole number of 1 or more, not: ";
    line->previewOptions.jobs = jobs;
    return nullptr;
}

static const char* ApplyLang(CommandLine*, const char* value) {
    if (strcmp(value, "de") == 0) GermanUi = true;
    else if (strcmp(value, "en") == 0) GermanUi = false;
    else return "--lang needs de or en, not: ";
    return nullptr;
}

static const char* ApplyPreviews(CommandLine* line, const char* value) {
    if (value && strcmp(value, "all") != 0) return "--previews takes no value but all, not: ";
    line->previews = true;
    line->previewOptions.remakeAll = value != nullptr;
    return nullptr;
}

static const char* ApplyTitle(CommandLine* line, const char* value) {
    if (!TitleForScript(value, &line->title))
        return "--title is too long for the page (at most 78 bytes of UTF-8; \" < > & \\ and control characters take 6): ";
    line->titleGiven = true;
    return nullptr;
}

static const char* ApplyFixedTime(CommandLine* line, const char* value) {
    if (!ParseFixedTime(value, &line->fixedTime)) return "--fixed-time needs YYYY-MM-DDTHH:MM, not: ";
    SetClockForTests(&line->fixedTime);
    return nullptr;
}

// The options, in the order --help lists them. A new option is one line here
// (and its field in CommandLine); the parser, --help and the messages follow.
// The letters of short forms are also their codes from getopt_long; long-only
// options get codes above any letter, from their place in this table.
static const OptionSpec kOptions[] = {
    {"lang", 0, required_argument, ApplyLang, "--lang de|en", "language of the page (default: the user's)"},
    {"title", 0, required_argument, ApplyTitle, "--title TEXT",
     "the page's title (with -r: the album index's title),\ninstead of the one carried over from the old page"},
    {"previews", 'p', optional_argument, ApplyPreviews, "-p, --previews[=all]",
     "make the _t preview copies (all: remake all)"},
    {"recursive", 'r', no_argument, [](CommandLine* l, const char*) -> const char* { return l->recursive = true, nullptr; },
     "-r, --recursive", "also every folder below FOLDER (not hidden folders\nnor links), and the album index !albums.html"},
    {"jobs", 'j', required_argument, ApplyJobs, "-j, --jobs N",
     "workers for previews and folders: 1 or more, at\nmost 64 run (default: number of cores)"},
    {"watch", 0, no_argument, [](CommandLine* l, const char*) -> const char* { return l->watch = true, nullptr; },
     "--watch", "after the build, build again each folder whose\nimages change, until stopped (Ctrl+C)"},
    {"open", 0, no_argument, [](CommandLine* l, const char*) -> const char* { return l->open = true, nullptr; },
     "--open", "open the page (with -r: the album index) in the\nuser's web browser"},
    {"fixed-time", 0, required_argument, ApplyFixedTime, nullptr, nullptr},  // for golden files
    {"version", 0, no_argument, nullptr, "--version", "print the version and exit"},
    {"help", 'h', no_argument, nullptr, "-h, --help", "print this help and exit"},
};
constexpr int kOptionCount = sizeof(kOptions) / sizeof(kOptions[0]);
constexpr int kLongOnlyCode = 256;  // + the option's place in kOptions

static int OptionCode(int index) { return kOptions[index].letter ? kOptions[index].letter : kLongOnlyCode + index; }

// The option whose getopt_long code is `code`, or -1.
static int OptionOfCode(int code) {
    for (int i = 0; i < kOptionCount; ++i)
        if (OptionCode(i) == code) return i;
    return -1;
}

// The answer to --help, on stdout: one line per option (more where its help
// takes more), then the exit codes and where the manual is.
static void PrintHelp() {
    fputs("usage: quimbo-build [OPTION]... FOLDER\n"
          "Writes the gallery page !pictures.html of the images in FOLDER and the\n"
          "script $create-Thumbnails.cmd that makes their preview copies, into FOLDER.\n"
          "\n",
          stdout);
    for (const OptionSpec& option : kOptions) {
        if (!option.usage) continue;
        // GNU's layout: long options line up whether or not a short form
        // stands before them, and every text starts in column 25.
        printf("  %s%-*s", option.letter ? "" : "    ", option.letter ? 22 : 18, option.usage);
        for (const char* c = option.help; *c; ++c) {
            if (*c == '\n') fputs("\n                        ", stdout);
            else fputc(*c, stdout);
        }
        fputc('\n', stdout);
    }
    fputs("      --                end of options: the next argument is FOLDER\n"
          "\n"
          "Exit status: 0 written, 1 a file could not be written (or a folder read),\n"
          "2 no images (in no folder of the tree) or no such folder, 3 some previews\n"
          "could not be made, 64 a malformed command line, 75 another build of the\n"
          "folder still running after 10 seconds.\n"
          "\n"
          "Full documentation: man quimbo-build (Windows: README.txt in the zip)\n",
          stdout);
}

// A malformed command line: "quimbo-build: " `what` and `arg` (when given),
// the usage line and where to find more, on stderr, each line with the
// program's name in front. Returns the exit code 64.
static int UsageError(const char* what, const char* arg = nullptr) {
    fputs("quimbo-build: ", stderr);
    fputs(what, stderr);
    if (arg) {
        char storage[4 * 256 + 1];
        size_t length = strlen(arg);
        for (size_t done = 0; done < length;) {
            ByteBuf text(storage);
            done += AppendArgumentText(arg + done, length - done, text);
            fwrite(text.buf, 1, text.len, stderr);
        }
    }
    fputs("\nquimbo-build: usage: quimbo-build [OPTION]... FOLDER\n"
          "quimbo-build: try 'quimbo-build --help' for more information.\n",
          stderr);
    return 64;
}

#if QUIMBO_WIN32
// getopt_long reads bytes. The UTF-16 arguments of wmain are handed to it in
// WTF-8: UTF-8 that also takes an unpaired surrogate, as the three bytes it
// would take were it a character. No unit is lost or changed, so the folder
// is taken from wmain's own argument (the same place in argv), and option
// values are UTF-8 text wherever the argument was. A command line has at
// most 32767 units, each of at most three bytes, and each argument a zero.
constexpr int kMaxArguments = 32768;
static char ArgumentBytes[3 * 32768 + kMaxArguments];
static char* ArgumentList[kMaxArguments + 1];

static bool ArgumentsAsBytes(int argc, wchar_t** wide, char*** bytes) {
    if (argc > kMaxArguments) return false;
    size_t used = 0;
    for (int i = 0; i < argc; ++i) {
        ArgumentList[i] = ArgumentBytes + used;
        for (const wchar_t* unit = wide[i]; *unit; ++unit) {
            uint32_t code = static_cast<uint32_t>(*unit) & 0xFFFF;
            uint32_t next = static_cast<uint32_t>(unit[1]) & 0xFFFF;
            if (code >= 0xD800 && code <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
                code = 0x10000 + ((code - 0xD800) << 10) + (next - 0xDC00);
                ++unit;
            }
            unsigned char out[4];
            size_t count = code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
            if (count == 1) out[0] = static_cast<unsigned char>(code);
            else {
                for (size_t k = count - 1; k > 0; --k, code >>= 6) out[k] = static_cast<unsigned char>(0x80 | (code & 0x3F));
                out[0] = static_cast<unsigned char>((0xF00 >> count) | code);
            }
            if (used + count + 1 > sizeof(ArgumentBytes)) return false;
            for (size_t k = 0; k < count; ++k) ArgumentBytes[used++] = static_cast<char>(out[k]);
        }
        ArgumentBytes[used++] = 0;
    }
    ArgumentList[argc] = nullptr;
    *bytes = ArgumentList;
    return true;
}
#endif

// Parses the command line into `line` and `folder` (the one argument that
// is not an option, as the system gave it). Returns -1 to go on, else the
// exit code to end with: 0 after --help or --version, 64 for a malformed line.
// Options and the folder come in any order; "--" ends the options, and a lone
// "-" is a folder. getopt_long moves the folder behind the options it finds;
// on Windows the WTF-8 copy moves, and wmain's argument is found by its place.
static int ParseCommandLine(int argc, PathChar** argv, CommandLine* line, const PathChar** folder) {
    char** args = nullptr;
#if QUIMBO_WIN32
    if (!ArgumentsAsBytes(argc, argv, &args)) return UsageError("the command line is too long");
    static char* original[kMaxArguments + 1];
    for (int i = 0; i < argc; ++i) original[i] = args[i];
#else
    args = argv;
#endif
    static struct option longOptions[kOptionCount + 1];
    static char shortOptions[3 + 2 * kOptionCount + 1] = ":";  // ':' : a missing value is told apart
    size_t shortLength = 1;
    for (int i = 0; i < kOptionCount; ++i) {
        longOptions[i] = {kOptions[i].name, kOptions[i].value, nullptr, OptionCode(i)};
        if (!kOptions[i].letter) continue;
        shortOptions[shortLength++] = kOptions[i].letter;
        if (kOptions[i].value == required_argument) shortOptions[shortLength++] = ':';
    }
    opterr = 0;  // the messages are ours
    for (int code; (code = getopt_long(argc, args, shortOptions, longOptions, nullptr)) != -1;) {
        int index = OptionOfCode(code);
        if (code == ':') {  // a value missing at the end of the line, or (mingw-w64) one given to an option without
            index = OptionOfCode(optopt);
            if (index < 0) return UsageError("unknown option: ", args[optind - 1]);
            char what[64];
            if (kOptions[index].value == no_argument) {
                snprintf(what, sizeof what, "--%s takes no value: ", kOptions[index].name);
                return UsageError(what, args[optind - 1]);
            }
            const char* given = args[optind - 1];
            if (given[0] == '-' && given[1] == '-') snprintf(what, sizeof what, "--%s needs a value", kOptions[index].name);
            else snprintf(what, sizeof what, "-%c needs a value", optopt);
            return UsageError(what);
        }
        if (code == '?') {
            // An unknown short option is itself in optopt; a long option that
            // takes no value and was given one has its code there; an
            // unknown long option, none: it is the argument just read.
            index = OptionOfCode(optopt);
            if (optopt && optopt < kLongOnlyCode && index < 0) {
                const char text[3] = {'-', static_cast<char>(optopt), 0};
                return UsageError("unknown option: ", text);
            }
            if (index >= 0 && kOptions[index].value == no_argument) {
                char what[64];
                snprintf(what, sizeof what, "--%s takes no value: ", kOptions[index].name);
                return UsageError(what, args[optind - 1]);
            }
            return UsageError("unknown option: ", args[optind - 1]);
        }
        if (index < 0) return UsageError("unknown option: ", args[optind - 1]);
        const OptionSpec& option = kOptions[index];
        if (!option.apply) {  // --help and --version end the run at once
            if (option.letter == 'h') PrintHelp();
            else fputs("quimbo-build " QUIMBO_VERSION "\n", stdout);
            return 0;
        }
        if (const char* refused = option.apply(line, optarg)) return UsageError(refused, optarg);
    }
    if (optind >= argc) return UsageError("no folder given");
    if (optind + 1 < argc) return UsageError("more than one folder: ", args[optind + 1]);
#if QUIMBO_WIN32
    int place = 0;
    while (original[place] != args[optind]) ++place;
    *folder = argv[place];
#else
    *folder = args[optind];
#endif
    return -1;
}

// Hands the written page (or index), `name` in `folder`, to the user's
// browser. One line on stderr when that cannot be done; the exit code stays
// the build's.
static void OpenForTheUser(const PathChar* folder, const PathChar* name) {
    PathChar storage[kPathCapacity];
    PathBuf path(storage);
    path.AppendZ(folder);
    path.AppendZ(name);
    if (path.overflow) return;  // a name that fits no path was not written either
    const char* opener = "";
    SystemError error = 0;
    if (OpenWithDefaultProgram(path.buf, &opener, &error)) return;
    fputs("quimbo-build: cannot open ", stderr);
    PrintPath(stderr, path.buf);
    fputs(" with ", stderr);
    fputs(opener, stderr);
    PrintReason(error);
}

int MAIN(int argc, PathChar** argv) {
    ApplyLanguageRule();
    ProtectStandardStreams();
    CommandLine line{};
    const PathChar* folderArg = nullptr;
    int parsed = ParseCommandLine(argc, argv, &line, &folderArg);
    if (parsed >= 0) return parsed;
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
    // --watch ends on Ctrl+C (SIGINT, SIGTERM) once the file being written is
    // complete; so does the first build.
    bool watch = line.watch;
    if (watch) CatchStopRequests();

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
    if (line.recursive) {
        // The index is named by --title as the user gave it; the text the page
        // would hold, read back, is the same text made valid UTF-8.
        char storage[4 * kTitleMaxBytes];
        ByteBuf indexTitle(storage);
        if (line.titleGiven) AppendTitleText(std::string_view(line.title.text, line.title.length), indexTitle);
        bool indexWritten = false;
        TreeOptions options{GermanUi, line.previews, line.previewOptions, kFolderWaitSeconds * 1000u, indexTitle.View()};
        KeptTree* kept = nullptr;
        int exitCode = BuildTree(&build, options, &indexWritten, watch ? &kept : nullptr);
        ReleaseFolder(&build);
        if (line.open && indexWritten) OpenForTheUser(folder.buf, kAlbumsName);
        if (!watch) return exitCode;
        if (StopRequested()) {
            FreeKeptTree(kept);
            return 0;
        }
        return WatchAndRebuild(folder.buf, WatchOptions{options, true, nullptr}, kept);
    }

    // Whether the folder holds images at all comes from the listing's own
    // searches: no extra pass over a large folder.
    static LineWriter writer;
    GalleryOutcome outcome = WriteFolderGallery(&build, GermanUi, &writer, nullptr, line.titleGiven ? &line.title : nullptr);
    char failureStorage[kOutcomeLineCapacity];
    ByteBuf failure(failureStorage);
    AppendOutcomeLine(folder.buf, outcome, failure);
    if (failure.len) {
        fwrite(failure.buf, 1, failure.len, stderr);
        fputs("\n", stderr);
    }
    int exitCode = 0;
    if (outcome.noImages || outcome.notRegularFile) {
        // --watch goes on: images may come, and the folder is watched all the same.
        if (!watch) return outcome.noImages ? 2 : 1;
    } else if (!outcome.ok) {
        exitCode = 1;
    } else {
        PrintPagePath(folder.buf);
    }
    if (line.previews && !outcome.noImages && !outcome.notRegularFile) {
        PreviewCounts counts = MakeFolderPreviews(&build, line.previewOptions, watch);
        if (counts.failedWrites || counts.withoutLibrary) exitCode = 1;
        else if (counts.failedImages && exitCode == 0) exitCode = 3;
    }
    ReleaseFolder(&build);
    // The page is there when it was written, even if the script could not follow it.
    if (line.open && outcome.pageReplaced) OpenForTheUser(folder.buf, kPageName);
    if (!watch) return exitCode;
    if (StopRequested()) return 0;
    TreeOptions rebuild{GermanUi, line.previews, line.previewOptions, kFolderWaitSeconds * 1000u, std::string_view()};
    return WatchAndRebuild(folder.buf, WatchOptions{rebuild, false, line.titleGiven ? &line.title : nullptr}, nullptr);
}
