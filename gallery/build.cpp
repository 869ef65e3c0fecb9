#include "build.h"

#include "listing.h"
#include "page_text.h"
#include "title.h"

// The writer of the one-folder build; large, so it lives outside the stack.
static LineWriter SharedOutput;

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

// Moves the file that `writer` has written over `path`, or gives it up when a
// write failed (`failure`, else the writer's own error). With `moveLater`, the
// complete file is flushed and closed but left under its temporary name.
// True when it is complete (and, without `moveLater`, in place).
static bool FinishOutput(LineWriter* writer, GalleryOutcome* outcome, OutputFile* file, const PathChar* path,
                         const PathChar* name, SystemError failure, bool moveLater = false) {
    SystemError error = 0;
    if (!FlushLines(writer) && !failure) failure = writer->error;
    if (failure) {
        DiscardOutputFile(file);
        NoteFailure(outcome, failure, name);
        return false;
    }
    if (!(moveLater ? FinishOutputFile(file, &error) : CommitOutputFile(file, path, &error))) {
        NoteFailure(outcome, error, name);
        return false;
    }
    return true;
}

GalleryOutcome WriteGalleryFiles(const PathChar* folder, bool german, ImageCheck check,
                                 const CarriedTitle* givenTitle) {
    return WriteGalleryFiles(folder, german, check, &SharedOutput, nullptr, givenTitle);
}

GalleryOutcome WriteGalleryFiles(const PathChar* folder, bool german, ImageCheck check, LineWriter* writer,
                                 ListingSummary* summary, const CarriedTitle* givenTitle, bool asPair) {
    GalleryOutcome outcome = {false, false, true, 0, nullptr, false, false, {}, false};
    // With ImageCheck::InListing the listing answers the presence test on its
    // way; every path that stops before it asks the presence test itself, so
    // that a folder without images is always told as such, and nothing is written.
    auto noImages = [&outcome, folder, check]() {
        if (check != ImageCheck::InListing || FolderHasImages(folder)) return false;
        outcome = GalleryOutcome{false, false, false, 0, nullptr, false, true, {}, false};
        return true;
    };
    PathChar pageStorage[kPathCapacity];
    PathChar scriptStorage[kPathCapacity];
    PathBuf pagePath(pageStorage);
    PathBuf scriptPath(scriptStorage);
    // Both names must fit before anything is touched: a cut path would write somewhere else.
    if (!FormOutputPath(folder, kPageName, pagePath) || !FormOutputPath(folder, kScriptName, scriptPath)) {
        if (noImages()) return outcome;
        NoteFailure(&outcome, kErrorNameTooLong, kPageName);
        return outcome;
    }
    struct Target {
        const PathChar* path;
        const PathChar* name;
    } targets[] = {{pagePath.buf, kPageName}, {scriptPath.buf, kScriptName}};
    for (const Target& target : targets) {
        if (IsSpecialFile(target.path)) {
            if (noImages()) return outcome;
            NoteFailure(&outcome, 0, target.name);
            outcome.notRegularFile = true;
            return outcome;
        }
    }

    SystemError error = 0;
    CarriedTitle title = ReadCarriedTitle(pagePath.buf, german, &error);
    if (givenTitle) title = *givenTitle;  // the user's word on the command line wins
    outcome.title = title;
    OutputFile file;
    OutputFile page;  // as a pair: the complete page, not yet moved
    bool pageReady = false;
    if (error) {
        if (noImages()) return outcome;
        NoteFailure(&outcome, error, kPageName);  // replacing it would lose its title
    } else if (BeginOutputFile(pagePath.buf, &file, &error)) {
        outcome.pageCreated = true;
        StartLines(writer, file.handle);
        WriteUtf8Bom(writer);
        WritePageHead(writer, german, DateStamp().text, std::string_view(title.text, title.length));
        WritePageScriptAndBody(writer, german);
        bool hasImages = false;
        SystemError listingError = WriteImageEntries(writer, folder, &hasImages, summary);
        if (check == ImageCheck::InListing && (listingError ? noImages() : !hasImages)) {
            DiscardOutputFile(&file);
            outcome = GalleryOutcome{false, false, false, 0, nullptr, false, true, {}, false};
            return outcome;
        }
        WritePageFooter(writer, german, DateTimeStamp().text);
        pageReady = FinishOutput(writer, &outcome, &file, pagePath.buf, kPageName, listingError, asPair);
        if (pageReady && asPair) page = file;
        outcome.pageReplaced = pageReady && !asPair;
    } else {
        if (noImages()) return outcome;
        NoteFailure(&outcome, error, kPageName);
    }
    if (asPair && !pageReady) return outcome;  // the old script stays with the old page

    bool scriptReady = false;
    if (BeginOutputFile(scriptPath.buf, &file, &error)) {
        outcome.scriptCreated = true;
        StartLines(writer, file.handle);
        WriteThumbnailScript(writer, german);
        scriptReady = FinishOutput(writer, &outcome, &file, scriptPath.buf, kScriptName, 0, asPair);
    } else {
        NoteFailure(&outcome, error, kScriptName);
    }
    if (!asPair) return outcome;
    if (!scriptReady) {
        DiscardOutputFile(&page);
        return outcome;
    }
    if (!MoveOutputFile(&page, pagePath.buf, &error)) {
        NoteFailure(&outcome, error, kPageName);
        DiscardOutputFile(&file);
        return outcome;
    }
    outcome.pageReplaced = true;
    if (!MoveOutputFile(&file, scriptPath.buf, &error)) NoteFailure(&outcome, error, kScriptName);
    return outcome;
}
