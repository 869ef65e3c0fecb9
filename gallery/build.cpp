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

GalleryOutcome WriteGalleryFiles(const PathChar* folder, bool german) {
    GalleryOutcome outcome = {false, false, true, 0, nullptr};
    PathChar pageStorage[kPathCapacity];
    PathChar scriptStorage[kPathCapacity];
    PathBuf pagePath(pageStorage);
    PathBuf scriptPath(scriptStorage);
    // Both names must fit before anything is touched: a cut path would write somewhere else.
    if (!FormOutputPath(folder, kPageName, pagePath) || !FormOutputPath(folder, kScriptName, scriptPath)) {
        NoteFailure(&outcome, kErrorNameTooLong, kPageName);
        return outcome;
    }

    CarriedTitle title = ReadCarriedTitle(pagePath.buf, german);

    SystemError error = 0;
    FileHandle page = CreateOutputFile(pagePath.buf, &error);
    if (page) {
        outcome.pageCreated = true;
        StartLines(&Output, page);
        WriteUtf8Bom(&Output);
        WritePageHead(&Output, german, DateStamp().text, std::string_view(title.text, title.length));
        WritePageScriptAndBody(&Output, german);
        WriteImageEntries(&Output, folder);
        WritePageFooter(&Output, german, DateTimeStamp().text);
        if (!FinishLines(&Output)) NoteFailure(&outcome, Output.error, kPageName);
    } else {
        NoteFailure(&outcome, error, kPageName);
    }

    FileHandle script = CreateOutputFile(scriptPath.buf, &error);
    if (script) {
        outcome.scriptCreated = true;
        StartLines(&Output, script);
        WriteThumbnailScript(&Output, german);
        if (!FinishLines(&Output)) NoteFailure(&outcome, Output.error, kScriptName);
    } else {
        NoteFailure(&outcome, error, kScriptName);
    }
    return outcome;
}
