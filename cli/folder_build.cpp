#include "folder_build.h"

#include "cli_previews.h"

FolderTake TakeFolder(FolderBuild* build, const PathChar* path, const HeldFolder* base, uint32_t waitMilliseconds,
                      SystemError* error) {
    build->lock.handle = 0;
    build->folder.handle = 0;
    build->previews = PreviewJob{};
    PathBuf copy(build->path);
    copy.AppendZ(path);
    *error = 0;
    if (copy.overflow) {
        *error = kErrorNameTooLong;
        return FolderTake::Failed;
    }
    switch (OpenHeldFolder(build->path, base, &build->folder, error)) {
        case FolderOpen::Opened: break;
        case FolderOpen::NotFolder: return FolderTake::NotFolder;
        case FolderOpen::Failed: return FolderTake::Failed;
    }
    // The lock of the folder just opened, not of whatever its path leads to by now.
    WorkInFolder(&build->folder);
    bool locked = LockFolder(build->path, waitMilliseconds, &build->lock);
    WorkInFolder(nullptr);
    if (!locked) {
        CloseHeldFolder(&build->folder);
        return FolderTake::Busy;
    }
    return FolderTake::Taken;
}

GalleryOutcome WriteFolderGallery(FolderBuild* build, bool german, LineWriter* writer, ListingSummary* summary,
                                  const CarriedTitle* title) {
    WorkInFolder(&build->folder);
    GalleryOutcome outcome = WriteGalleryFiles(build->path, german, ImageCheck::InListing, writer, summary, title, true);
    WorkInFolder(nullptr);
    return outcome;
}

bool ListFolderPreviews(FolderBuild* build, bool remakeAll, PreviewReporter reporter) {
    PreviewJob& job = build->previews;
    job.folder = build->path;
    job.remakeAll = remakeAll;
    job.reporter = reporter;
    WorkInFolder(&build->folder);
    bool listed = CollectImages(&job);
    if (listed) RemoveAbandonedTemporaries(&job);
    WorkInFolder(nullptr);
    return listed;
}

ItemResult MakeFolderPreview(FolderBuild* build, int item, PreviewWorker* worker) {
    WorkInFolder(&build->folder);
    ItemResult result = MakeOnePreview(&build->previews, build->previews.items[item], worker);
    WorkInFolder(nullptr);
    return result;
}

PreviewCounts MakeFolderPreviews(FolderBuild* build, const PreviewOptions& options, bool keepLibrary, bool summary) {
    return MakePreviews(build->path, options, summary, keepLibrary, &build->folder);
}

void AppendOutcomeLine(const PathChar* folder, const GalleryOutcome& outcome, ByteBuf& line) {
    if (outcome.noImages) {
        line.Append("quimbo-build: no images in ");
        AppendPathText(folder, TextLength(folder), line);
        line.Append(" (images: " QUIMBO_IMAGE_KINDS ")");
    } else if (!outcome.ok) {
        line.Append(outcome.notRegularFile ? "quimbo-build: not a regular file: " : "quimbo-build: cannot write ");
        AppendPathText(folder, TextLength(folder), line);
        AppendPathText(outcome.failedName, TextLength(outcome.failedName), line);
        if (!outcome.notRegularFile) {
            line.Append(": ");
            AppendErrorText(outcome.error, line);
        }
    }
}

void ReleaseFolder(FolderBuild* build) {
    EndPreviewJob(&build->previews);
    UnlockFolder(&build->lock);
    CloseHeldFolder(&build->folder);
}
