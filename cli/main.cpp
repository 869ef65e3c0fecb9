// quimbo-build: writes the gallery page and thumbnail script of one folder,
// without a window.
//
//   quimbo-build [--lang de|en] FOLDER
//
// Exit codes: 0 written (the page's path is printed), 1 a file could not be
// written (the file and the system's text on stderr), 2 no images in the
// folder, 64 a malformed command line.
#include <stdio.h>
#include <string.h>

#include "../common/common.h"
#include "../common/unicode.h"
#include "../gallery/build.h"
#include "../gallery/listing.h"

#if QUIMBO_WIN32
#define MAIN wmain
#define ARG_EQ(a, b) (wcscmp(a, L##b) == 0)
#else
#define MAIN main
#define ARG_EQ(a, b) (strcmp(a, b) == 0)
#endif

// Writes a native path to `stream` as UTF-8.
static void PrintPath(FILE* stream, const PathChar* path) {
    char storage[4 * kPathCapacity];
    ByteBuf text(storage);
#if QUIMBO_WIN32
    FileNameToUtf8(reinterpret_cast<const char16_t*>(path), TextLength(path), text);
#else
    text.AppendZ(path);
#endif
    fwrite(text.buf, 1, text.len, stream);
}

// ": " and the system's text for `error`, in UTF-8, on stderr.
static void PrintReason(SystemError error) {
    PathChar reason[kSystemErrorTextCapacity];
    char storage[4 * kSystemErrorTextCapacity];
    ByteBuf text(storage);
    SystemErrorText(error, reason);
    AppendNameText(reason, TextLength(reason), text);
    fputs(": ", stderr);
    fwrite(text.buf, 1, text.len, stderr);
    fputs("\n", stderr);
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

static int Usage() {
    fputs("usage: quimbo-build [--lang de|en] FOLDER\n"
          "Writes !pictures.html and $create-Thumbnails.cmd into FOLDER.\n",
          stderr);
    return 64;
}

int MAIN(int argc, PathChar** argv) {
    ApplyLanguageRule();
    const PathChar* folderArg = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (ARG_EQ(argv[i], "--fixed-time")) {
            static LocalTime fixedTime;
            if (i + 1 >= argc || !ParseFixedTime(argv[i + 1], &fixedTime)) return Usage();
            ++i;
            SetClockForTests(&fixedTime);
        } else if (ARG_EQ(argv[i], "--lang")) {
            if (i + 1 >= argc) return Usage();
            ++i;
            if (ARG_EQ(argv[i], "de")) GermanUi = true;
            else if (ARG_EQ(argv[i], "en")) GermanUi = false;
            else return Usage();
        } else if (ARG_EQ(argv[i], "-h") || ARG_EQ(argv[i], "--help")) {
            Usage();
            return 0;
        } else if (folderArg) {
            return Usage();
        } else {
            folderArg = argv[i];
        }
    }
    if (!folderArg || !folderArg[0]) return Usage();

    // The folder as the window keeps it: always ending in a separator.
    PathChar storage[kPathCapacity];
    PathBuf folder(storage);
    folder.AppendZ(folderArg);
    PathChar last = folder.len ? folder.buf[folder.len - 1] : 0;
    if (last != kPathSeparator && last != PathChar('/')) folder.Append(kPathSeparator);

    if (folder.overflow) {
        fputs("Cannot write ", stderr);
        PrintPath(stderr, folderArg);
        PrintReason(kErrorNameTooLong);
        return 1;
    }
    if (!FolderHasImages(folder.buf)) {
        fputs("No images in this folder:\n", stderr);
        PrintPath(stderr, folder.buf);
        fputs("\n", stderr);
        return 2;
    }

    GalleryOutcome outcome = WriteGalleryFiles(folder.buf, GermanUi);
    if (outcome.notRegularFile) {
        fputs("quimbo-build: not a regular file: ", stderr);
        PrintPath(stderr, folder.buf);
        PrintPath(stderr, outcome.failedName);
        fputs("\n", stderr);
        return 1;
    }
    if (!outcome.ok) {
        fputs("Cannot write ", stderr);
        PrintPath(stderr, folder.buf);
        PrintPath(stderr, outcome.failedName);
        PrintReason(outcome.error);
        return 1;
    }
    PrintPath(stdout, folder.buf);
    PrintPath(stdout, kPageName);
    fputs("\n", stdout);
    return 0;
}
