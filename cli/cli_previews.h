// quimbo-build --previews: runs the image engine (previews/) on one folder,
// and words and prints what it reports.
#pragma once

#include "../common/platform.h"
#include "../previews/previews.h"

// The reporter quimbo-build gives the engine: each report becomes one line on
// stderr, written under the output lock ("quimbo-build: cannot write PATH: REASON",
// "quimbo-build: no preview for NAME: REASON", ...), a progress line on a
// terminal cleared first. `context` points to a PreviewPrinter.
struct PreviewPrinter {
    bool terminal;  // stderr is a terminal, which shows a progress line
    size_t treeRootLength;  // --recursive: units of the tree's folder, so that an image is named by its
                            // path below it (two broken.jpg in two folders are two lines); 0: by its name
};
PreviewReporter PrintingReporter(PreviewPrinter* printer);

// Writes one whole line on stderr, the output lock held; on a terminal the
// progress line is cleared first, and the next update writes it again.
void PrintLineLocked(bool terminal, const ByteBuf& line);

// Makes the previews of every JPEG, WebP and PNG in `folder` (ending in a
// separator) that needs one, removing temporaries a killed run left behind
// first. Reports each failure on stderr as it happens, progress on a terminal,
// and a summary line at the end (unless `summary` is false: --watch's
// rebuilds say what they made in a line of their own). The image library is
// loaded only when an image needs decoding (previews/preview_job.h), and
// stopped at the end unless `keepLibrary` (--watch: it is loaded once per
// process, and stopped once, StopPreviewLibraryIfStarted). After a stop
// request (StopRequested) no new image is begun.
// With `held` (the folder as its build opened it, folder_build.h), every file
// of it is read and written through that.
PreviewCounts MakePreviews(const PathChar* folder, const PreviewOptions& options, bool summary = true,
                           bool keepLibrary = false, const HeldFolder* held = nullptr);
