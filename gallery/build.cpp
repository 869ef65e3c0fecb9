#include "build.h"

#include "listing.h"
#include "page_text.h"
#include "title.h"

// The writer of the file being built; large, so it lives outside the stack.
static LineWriter Output;

// Folder + name into `path`; false when it does not fit.
static bool FormOutputPath(const PathChar* folder, const PathChar* name, PathBuf& path) {
    path.Clear();
    path.AppendZ(folder);
    path.AppendZ(name);
    return !path.overflow;
}

static void NoteFailure(GalleryOutcome* outcome, SystemError error, const PathChar* name) {
    if (outcome->ok) {
        outcome->ok = false;
        outcome->error = error;
        outcome->failedName = name;
    }
}

// Moves the file that Output has written over `path`, or gives it up when a
// write failed (`failure`, else the writer's own error).
static void FinishOutput(GalleryOutcome* outcome, OutputFile* file, const PathChar* path, const PathChar* name,
                         SystemError failure) {
    SystemError error = 0;
    if (!FlushLines(&Output) && !failure) failure = Output.error;
    if (failure) {
        DiscardOutputFile(file);
        NoteFailure(outcome, failure, name);
    } else if (!CommitOutputFile(file, path, &error)) {
        NoteFailure(outcome, error, name);
    }
}

GalleryOutcome WriteGalleryFiles(const PathChar* folder, bool german) {
    GalleryOutcome outcome = {false, false, true, 0, nullptr, false};
    PathChar pageStorage[kPathCapacity];
    PathChar scriptStorage[kPathCapacity];
    PathBuf pagePath(pageStorage);
    PathBuf scriptPath(scriptStorage);
    // Both names must fit before anything is touched: a cut path would write somewhere else.
    if (!FormOutputPath(folder, kPageName, pagePath) || !FormOutputPath(folder, kScriptName, scriptPath)) {
        NoteFailure(&outcome, kErrorNameTooLong, kPageName);
        return outcome;
    }
    struct Target {
        const PathChar* path;
        const PathChar* name;
    } targets[] = {{pagePath.buf, kPageName}, {scriptPath.buf, kScriptName}};
    for (const Target& target : targets) {
        if (IsSpecialFile(target.path)) {
            NoteFailure(&outcome, 0, target.name);
            outcome.notRegularFile = true;
            return outcome;
        }
    }

    SystemError error = 0;
    CarriedTitle title = ReadCarriedTitle(pagePath.buf, german, &error);
    OutputFile file;
    if (error) {
        NoteFailure(&outcome, error, kPageName);  // replacing it would lose its title
    } else if (BeginOutputFile(pagePath.buf, &file, &error)) {
        outcome.pageCreated = true;
        StartLines(&Output, file.handle);
        WriteUtf8Bom(&Output);
        WritePageHead(&Output, german, DateStamp().text, std::string_view(title.text, title.length));
        WritePageScriptAndBody(&Output, german);
        SystemError listingError = WriteImageEntries(&Output, folder);
        WritePageFooter(&Output, german, DateTimeStamp().text);
        FinishOutput(&outcome, &file, pagePath.buf, kPageName, listingError);
    } else {
        NoteFailure(&outcome, error, kPageName);
    }

    if (BeginOutputFile(scriptPath.buf, &file, &error)) {
        outcome.scriptCreated = true;
        StartLines(&Output, file.handle);
        WriteThumbnailScript(&Output, german);
        FinishOutput(&outcome, &file, scriptPath.buf, kScriptName, 0);
    } else {
        NoteFailure(&outcome, error, kScriptName);
    }
    return outcome;
}
