// One folder's build, the same in every mode of quimbo-build (one folder, a
// tree's worker, the watcher): the folder is opened once and checked, its lock
// taken, its gallery written (page and script as a pair) and its previews
// made, all while the build holds the folder, and every read and write of it
// goes through what was opened, never through its path again.
//
// A one-folder run, in order:
//
//   FolderBuild build;
//   switch (TakeFolder(&build, path, nullptr, waitMilliseconds, &error)) { ... }  // Busy: 75
//   GalleryOutcome outcome = WriteFolderGallery(&build, german, writer, summary);
//   ... print the outcome ...
//   PreviewCounts counts = MakeFolderPreviews(&build, previewOptions);  // with --previews
//   ReleaseFolder(&build);
//
// A tree's worker takes each folder below the tree's with the tree's folder as
// `base`, and makes the previews of the job that ListFolderPreviews fills
// with its pool's workers (MakeFolderPreview), releasing the folder once the
// last is made. The routines print nothing themselves, except what the
// previews report of each image as they always have; the caller words the
// outcome.
#pragma once

#include <stdint.h>

#include "../common/platform.h"
#include "../gallery/build.h"
#include "../previews/preview_job.h"
#include "../previews/previews.h"
#include "cli_text.h"

struct FolderBuild {
    PathChar path[kPathCapacity];  // the folder, ending in a separator
    HeldFolder folder;             // open from TakeFolder to ReleaseFolder
    FolderLock lock;
    PreviewJob previews;           // ListFolderPreviews' list
};

enum class FolderTake {
    Taken,      // the build holds the folder open and locked, until ReleaseFolder
    Busy,       // another build still holds it after the wait; nothing is held
    NotFolder,  // something other than a folder of its own stands there now (a link, a file): not built
    Failed,     // the folder cannot be opened (`error`): gone, not readable
};

// Opens `path` (a folder, ending in a separator; it must fit kPathCapacity) and
// takes its lock, waiting at most `waitMilliseconds` for another build of it.
// With `base` (a folder held by the caller, whose path `path` starts with),
// every folder from there down is opened without following links
// (OpenHeldFolder), so that a folder swapped for a link after the walk found
// it is NotFolder, and nothing outside `base` is opened. The lock is the
// calling thread's: ReleaseFolder on the same thread.
FolderTake TakeFolder(FolderBuild* build, const PathChar* path, const HeldFolder* base, uint32_t waitMilliseconds,
                      SystemError* error);

// Writes the gallery of the taken folder, page and script as a pair, through
// `writer` (the caller's, one per thread), its images found by the listing
// (ImageCheck::InListing); `summary` as WriteGalleryFiles gives it.
// With `title` (the user's, --title), the page carries that title instead of its old page's.
GalleryOutcome WriteFolderGallery(FolderBuild* build, bool german, LineWriter* writer, ListingSummary* summary,
                                  const CarriedTitle* title = nullptr);

// The words of a one-folder build's outcome for `folder`, as the one-folder
// run and the watcher print them on stderr (without the line end): no images,
// something not a regular file at one of the two names, or a file not
// written with the system's reason. Nothing when the gallery was written.
constexpr size_t kOutcomeLineCapacity = 2 * kPathTextCapacity + 4 * kSystemErrorTextCapacity + 64;
void AppendOutcomeLine(const PathChar* folder, const GalleryOutcome& outcome, ByteBuf& line);

// Lists the images of the taken folder that get a preview into
// `build->previews` (each problem told to `reporter`) and removes what a killed run left of their temporaries
// (CollectImages, RemoveAbandonedTemporaries). False when memory ran out.
bool ListFolderPreviews(FolderBuild* build, bool remakeAll, PreviewReporter reporter);

// Makes the preview of item `item` of the list, on any thread; `worker` is
// that thread's own (MakeOnePreview).
ItemResult MakeFolderPreview(FolderBuild* build, int item, PreviewWorker* worker);

// Every preview of the taken folder, on `options.jobs` workers, as
// MakePreviews does (its messages and, with `summary`, its summary line); with
// `keepLibrary` (--watch) the image library stays loaded for the next build.
PreviewCounts MakeFolderPreviews(FolderBuild* build, const PreviewOptions& options, bool keepLibrary = false,
                                 bool summary = true);

// Ends the previews' list, gives the lock back and closes the folder; on the
// thread that took it. A build that holds nothing stays so.
void ReleaseFolder(FolderBuild* build);
