// quimbo-build's side of the previews: the workers of a one-folder run, and
// the words of everything the engine reports.
#include "cli_previews.h"

#include <stdio.h>

#include "../previews/preview_job.h"
#include "cli_platform.h"
#include "cli_text.h"

namespace {

constexpr int kMaxJobs = 64;  // a larger --jobs makes this many, with a note (also the most Windows waits for)

// Room for a line of "quimbo-build: cannot write PATH: REASON" or "no preview for NAME: REASON";
// twice that for a path too long to be formed, printed as its folder and name.
constexpr size_t kReportLineCapacity = 2 * (kPathTextCapacity + 4 * kSystemErrorTextCapacity + 64);

void PrintReport(void* context, const PreviewReport& report) {
    const PreviewPrinter* printer = static_cast<const PreviewPrinter*>(context);
    char storage[kReportLineCapacity];
    ByteBuf line(storage);
    switch (report.problem) {
        case PreviewProblem::CannotWrite:  // as quimbo-build reports a page it could not write
            line.Append("quimbo-build: cannot write ");
            AppendPathText(report.path, report.pathLength, line);
            if (report.name) AppendPathText(report.name, report.nameLength, line);
            break;
        case PreviewProblem::NotRegularFile:  // as quimbo-build says it of the page
            line.Append("quimbo-build: not a regular file: ");
            AppendPathText(report.path, report.pathLength, line);
            break;
        case PreviewProblem::ImageFailed:
            line.Append("quimbo-build: no preview for ");
            if (printer->treeRootLength && report.path && report.pathLength >= printer->treeRootLength)
                AppendPathText(report.path + printer->treeRootLength, report.pathLength - printer->treeRootLength, line);
            AppendPathText(report.name, report.nameLength, line);
            break;
        case PreviewProblem::NoLibrary:
            line.Append("quimbo-build: no previews");
            break;
        case PreviewProblem::SearchFailed:
            line.Append("quimbo-build: no previews for ");
            AppendPathText(report.path, report.pathLength, line);
            break;
    }
    if (report.problem != PreviewProblem::NotRegularFile) {
        line.Append(": ");
        if (report.reason) line.Append(report.reason, report.reasonLength);
        else AppendErrorText(report.error, line);
    }
    EnterOutputLock();  // other workers, and other folders' workers, may be printing
    PrintLineLocked(printer->terminal, line);
    LeaveOutputLock();
}

struct OneFolder {
    PreviewJob job;
    bool terminal;
    const HeldFolder* held;  // the folder as its build opened it, or null
};

void PrintProgressLocked(const OneFolder* run) {
    if (!run->terminal) return;
    fprintf(stderr, "\rpreviews %d/%d", run->job.done, run->job.count);
    fflush(stderr);
}

// One worker: takes the next image until none is left.
void RunPreviewWorker(void* context) {
    OneFolder* run = static_cast<OneFolder*>(context);
    PreviewJob* job = &run->job;
    PreviewWorker worker{};
    WorkInFolder(run->held);
    for (;;) {
        EnterOutputLock();
        int index = job->next < job->count && !StopRequested() ? job->next++ : -1;
        LeaveOutputLock();
        if (index < 0) break;
        ItemResult result = MakeOnePreview(job, job->items[index], &worker);
        EnterOutputLock();
        AddResult(&job->counts, result);
        ++job->done;
        PrintProgressLocked(run);
        LeaveOutputLock();
    }
    WorkInFolder(nullptr);
    EndPreviewWorker(&worker);
}

}  // namespace

PreviewReporter PrintingReporter(PreviewPrinter* printer) { return PreviewReporter{PrintReport, printer}; }

void PrintLineLocked(bool terminal, const ByteBuf& line) {
    if (terminal) fputs("\r                                        \r", stderr);
    fwrite(line.buf, 1, line.len, stderr);
    fputs("\n", stderr);
}

PreviewCounts MakePreviews(const PathChar* folder, const PreviewOptions& options, bool summary, bool keepLibrary,
                           const HeldFolder* held) {
    OneFolder run{};
    run.held = held;
    PreviewPrinter printer{StderrIsTerminal(), 0};
    run.terminal = printer.terminal;
    PreviewJob& job = run.job;
    job.folder = folder;
    job.remakeAll = options.remakeAll;
    job.reporter = PrintingReporter(&printer);
    if (options.jobs > kMaxJobs)
        fprintf(stderr, "quimbo-build: --jobs %d is more than %d; making previews with %d workers\n", options.jobs, kMaxJobs,
                kMaxJobs);

    WorkInFolder(held);
    bool listed = CollectImages(&job);
    if (listed) RemoveAbandonedTemporaries(&job);
    WorkInFolder(nullptr);
    if (!listed) {
        fputs("quimbo-build: no previews: out of memory\n", stderr);
        job.counts.failedImages = job.count;
    } else if (job.count > 0) {
        int jobs = options.jobs > 0 ? options.jobs : ProcessorCount();
        if (jobs > kMaxJobs) jobs = kMaxJobs;
        if (jobs > job.count) jobs = job.count;
        PrintProgressLocked(&run);
        RunOnThreads(jobs, RunPreviewWorker, &run);
        if (!keepLibrary) StopPreviewLibraryIfStarted();
    }
    EndPreviewJob(&job);

    PreviewCounts counts = job.counts;
    counts.failed = counts.failedImages + counts.failedWrites + counts.withoutLibrary;
    if (run.terminal) fputs("\r                                        \r", stderr);
    if (summary)
        fprintf(stderr, "quimbo-build: previews: made %d, up to date %d, failed %d\n", counts.made, counts.upToDate,
                counts.failed);
    return counts;
}
