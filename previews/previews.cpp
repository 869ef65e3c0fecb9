// The preview job shared by both builds: which files, their preview names,
// the up-to-date rule, the memory the workers may hold, what is reported and
// the counts. Decoding and
// encoding are the backend's (preview_image.h); writing goes through
// WriteWholeFile, so a preview is either complete or not there at all.
#include "previews.h"

#include <stdlib.h>

#include "../common/common.h"
#include "../common/grow.h"
#include "image_header.h"
#include "preview_job.h"

namespace {

// The four kinds the thumbnail script converts, in its order.
struct PreviewPattern {
    const char* extension;
    PreviewFormat format;
};
const PreviewPattern kPreviewPatterns[] = {
    {"jpg", PreviewFormat::Jpeg},
    {"jpeg", PreviewFormat::Jpeg},
    {"webp", PreviewFormat::Webp},
    {"png", PreviewFormat::Png},
};

// The memory the workers' images may hold at once, by their estimates
// (PreviewMemoryNeed): with the ~35 MiB that the process and libvips hold
// anyway (and a few more for each further worker), a run of images up to 24
// megapixels stays within 256 MiB. An image whose estimate is larger runs
// alone: the largest at 24 megapixels, an interlaced 16-bit RGBA PNG, is
// estimated at 226 MiB and holds 203 MiB.
constexpr uint64_t kPreviewMemoryBudget = 192ull << 20;

// After an image whose estimate was at least this large, the allocator hands
// what it holds free back to the system. Most images need far less, and their
// memory is simply reused by the next. Measured on the benchmark's real photos
// (--jobs 1 / two jobs) and its 24-megapixel set: never 137 / 152 / 253 MiB;
// after every image 124 / 135 / 243 MiB for 14 % more processor time; after
// these 128 / 164 / 240 MiB at no cost that shows.
constexpr uint64_t kReturnFreedMemoryAfter = 48ull << 20;

PathChar FoldAscii(PathChar c) { return (c >= PathChar('a') && c <= PathChar('z')) ? PathChar(c - 32) : c; }

// The budget the workers draw from, one image at a time, in the order they
// ask: a large image waits until enough is free, and the images after it wait
// behind it (no stream of small ones passes it over forever). One for the
// process: a tree's folders share its workers, and the memory is the process's.
struct MemoryBudget {
    // Under the output lock:
    uint64_t used;
    unsigned nextTicket;  // the next to ask gets this
    unsigned serving;     // the ticket whose turn it is
};
MemoryBudget Memory = {};

// The image library, started by the first image that needs decoding: a run
// whose previews are all up to date never loads it (it costs ~0.1 s and
// maps some hundred libraries). Under the output lock.
enum class LibraryState { NotTried, Starting, Ready, Unusable };
LibraryState Library = LibraryState::NotTried;

void Report(const PreviewJob* job, const PreviewReport& report) { job->reporter.report(job->reporter.context, report); }

// The preview at `path` could not be written: `error`.
void ReportWriteFailure(const PreviewJob* job, const PathBuf& path, SystemError error) {
    Report(job, PreviewReport{PreviewProblem::CannotWrite, path.buf, path.len, nullptr, 0, nullptr, 0, error});
}

// No regular file at the preview's name `path`.
void ReportNotRegularFile(const PreviewJob* job, const PathBuf& path) {
    Report(job, PreviewReport{PreviewProblem::NotRegularFile, path.buf, path.len, nullptr, 0, nullptr, 0, 0});
}

// No preview for the image of `item`: `reason` (UTF-8), or the system's text for `error` when `reason` is null.
void ReportImageProblem(const PreviewJob* job, const PreviewItem& item, const char* reason, size_t reasonLength,
                        SystemError error) {
    Report(job, PreviewReport{PreviewProblem::ImageFailed, job->folder, TextLength(job->folder),
                              job->names + item.nameOffset, item.nameLength, reason, reasonLength, error});
}
void ReportImageProblem(const PreviewJob* job, const PreviewItem& item, const char* reason, SystemError error) {
    ReportImageProblem(job, item, reason, reason ? TextLength(reason) : 0, error);
}

// The whole open image, for a copy, in a block from malloc that the caller
// frees. Only a file that MayCopyAsPreview allowed comes here (a few MB at
// most). False with `error`, or with `error` 0 when the file is no longer as
// long as it was when opened.
bool ReadCopy(const ImageFile& file, void** data, size_t* size, SystemError* error) {
    *data = nullptr;
    *size = 0;
    *error = 0;
    size_t length = static_cast<size_t>(file.size);
    char* block = static_cast<char*>(malloc(length ? length : 1));
    if (!block) {
        *error = kErrorOutOfMemory;
        return false;
    }
    size_t total = 0;
    while (total < length) {
        size_t got = 0;
        if (!ReadImageFile(file, total, block + total, length - total, &got, error) || got == 0) {
            free(block);
            return false;
        }
        total += got;
    }
    *data = block;
    *size = total;
    return true;
}

ItemResult MakePreviewOfFile(const PreviewJob* job, const PreviewItem& item, const ImageFile& file,
                             const PathBuf& previewPath, PreviewImage* image);

// True when the image library is ready for `worker`'s thread: the first
// caller of the process starts it while the others wait; a library that
// cannot be used is reported once, by that caller, and every call then
// returns false.
bool ReadyLibrary(const PreviewJob* job, PreviewWorker* worker) {
    if (worker->threadStarted) return true;
    EnterOutputLock();
    while (Library == LibraryState::Starting) WaitUnderOutputLock();
    bool mine = Library == LibraryState::NotTried;
    if (mine) Library = LibraryState::Starting;
    LeaveOutputLock();
    if (mine) {
        char reasonStorage[512];
        ByteBuf reason(reasonStorage);
        bool started = StartPreviewLibrary(reason);
        // Reported before the others are woken, so that it comes before any
        // line of theirs about an image left without a preview.
        if (!started)
            Report(job, PreviewReport{PreviewProblem::NoLibrary, nullptr, 0, nullptr, 0, reason.buf, reason.len, 0});
        EnterOutputLock();
        Library = started ? LibraryState::Ready : LibraryState::Unusable;
        WakeWaitingWorkers();
        LeaveOutputLock();
    }
    EnterOutputLock();
    bool ready = Library == LibraryState::Ready;
    LeaveOutputLock();
    if (!ready) return false;
    StartPreviewThread();
    worker->threadStarted = true;
    return true;
}

// Takes `need` bytes from the budget, waiting for them: for its turn, and
// until they fit beside what the images in work hold, or nothing is in work.
void DrawMemory(uint64_t need) {
    EnterOutputLock();
    unsigned ticket = Memory.nextTicket++;
    while (ticket != Memory.serving ||
           (Memory.used > 0 && (Memory.used >= kPreviewMemoryBudget || need > kPreviewMemoryBudget - Memory.used)))
        WaitUnderOutputLock();
    Memory.used += need;
    ++Memory.serving;
    WakeWaitingWorkers();  // the next in line may fit as well
    LeaveOutputLock();
}

void ReturnMemory(uint64_t need) {
    EnterOutputLock();
    Memory.used -= need;
    WakeWaitingWorkers();
    LeaveOutputLock();
}

}  // namespace

// Makes (or leaves alone) the preview of one image.
ItemResult MakeOnePreview(const PreviewJob* job, const PreviewItem& item, PreviewWorker* worker) {
    const PathChar* name = job->names + item.nameOffset;
    PathChar imageStorage[kPathCapacity];
    PathBuf imagePath(imageStorage);
    imagePath.AppendZ(job->folder);
    imagePath.Append(name, item.nameLength);
    PathChar previewStorage[kPathCapacity];
    PathBuf previewPath(previewStorage);
    previewPath.AppendZ(job->folder);
    PathChar previewNameStorage[kPathCapacity];
    PathBuf previewName(previewNameStorage);
    FormPreviewName(name, item.nameLength, "", previewName);  // never fails: the item was chosen by it
    previewPath.Append(previewName.buf, previewName.len);
    if (imagePath.overflow || previewPath.overflow) {
        // Say which preview, even though its whole path does not fit.
        Report(job, PreviewReport{PreviewProblem::CannotWrite, job->folder, TextLength(job->folder), previewName.buf,
                                  previewName.len, nullptr, 0, kErrorNameTooLong});
        return ItemResult::WriteFailed;
    }

    FileState imageState, previewState;
    if (job->folderOpen) {
        size_t folderLength = TextLength(job->folder);
        ReadFileStateIn(job->folderHandle, imagePath.buf, folderLength, &imageState);
        ReadFileStateIn(job->folderHandle, previewPath.buf, folderLength, &previewState);
    } else {
        ReadFileState(imagePath.buf, &imageState);
        ReadFileState(previewPath.buf, &previewState);
    }
    if (!job->remakeAll && previewState.exists && previewState.isFile && imageState.exists &&
        previewState.modified > imageState.modified)
        return ItemResult::UpToDate;
    // A folder, a FIFO or a device at the preview's name (or behind a link
    // there) is the user's and stays as it is: said at once, before the image
    // is decoded for nothing.
    if (previewState.exists && !previewState.isFile) {
        ReportNotRegularFile(job, previewPath);
        return ItemResult::WriteFailed;
    }
    if (previewState.exists && previewState.readOnly) {
        // Someone protected this preview; it stays as it is.
        ReportWriteFailure(job, previewPath, kErrorAccessDenied);
        return ItemResult::WriteFailed;
    }
    if (!ReadyLibrary(job, worker)) return ItemResult::NoLibrary;

    ImageFile file;
    SystemError error = 0;
    ImageOpen opened = OpenImageFile(imagePath.buf, &file, &error);
    if (opened != ImageOpen::Opened) {
        ReportImageProblem(job, item, opened == ImageOpen::NotRegular ? "not a regular file" : nullptr, error);
        return ItemResult::ImageFailed;
    }
    ItemResult result = MakePreviewOfFile(job, item, file, previewPath, &worker->image);
    CloseImageFile(&file);
    return result;
}

void EndPreviewWorker(PreviewWorker* worker) {
    if (worker->threadStarted) StopPreviewThread();
    worker->threadStarted = false;
}

void StopPreviewLibraryIfStarted() {
    EnterOutputLock();
    bool started = Library == LibraryState::Ready;
    LeaveOutputLock();
    if (started) StopPreviewLibrary();
}

void AddResult(PreviewCounts* counts, ItemResult result) {
    switch (result) {
        case ItemResult::Made: ++counts->made; break;
        case ItemResult::UpToDate: ++counts->upToDate; break;
        case ItemResult::ImageFailed: ++counts->failedImages; break;
        case ItemResult::WriteFailed: ++counts->failedWrites; break;
        case ItemResult::NoLibrary: ++counts->withoutLibrary; break;
    }
}

namespace {

// For ReadImageHeader: reads from the open image, keeping the first error.
struct ImageFileReader {
    const ImageFile* file;
    SystemError error;
};
bool ReadFromImageFile(void* context, uint64_t offset, void* data, size_t size, size_t* got) {
    ImageFileReader* reader = static_cast<ImageFileReader*>(context);
    return ReadImageFile(*reader->file, offset, data, size, got, &reader->error);
}

// The preview of the open image `file`: its header is checked first (its
// format, the limits, whether the file can hold its pixels), and only then
// does the backend decode it. A copy is read from the same open file, so the
// file that was checked and decoded is the file copied.
ItemResult MakePreviewOfFile(const PreviewJob* job, const PreviewItem& item, const ImageFile& file,
                             const PathBuf& previewPath, PreviewImage* image) {
    ImageHeader header;
    char reasonStorage[kPreviewReasonCapacity];
    ByteBuf reason(reasonStorage);
    ImageFileReader reader{&file, 0};
    HeaderCheck check = ReadImageHeader(ReadFromImageFile, &reader, file.size, item.format, &header, reason);
    if (check == HeaderCheck::ReadFailed) {
        ReportImageProblem(job, item, nullptr, reader.error);
        return ItemResult::ImageFailed;
    }
    if (check != HeaderCheck::Usable) {
        ReportImageProblem(job, item, reason.buf, reason.len, 0);
        return ItemResult::ImageFailed;
    }

    // The image's memory is drawn before it is decoded and returned once its
    // preview is written and every buffer of it freed.
    uint64_t need = PreviewMemoryNeed(header, item.format);
    DrawMemory(need);
    MakePreviewImage(file, header, MayCopyAsPreview(header, file.size), item.format, image);
    ItemResult result = ItemResult::Made;
    void* original = nullptr;
    const void* bytes = image->data;
    size_t size = image->size;
    SystemError error = 0;
    if (image->outcome == PreviewOutcome::Failed) {
        ReportImageProblem(job, item, image->reason, 0);
        result = ItemResult::ImageFailed;
    } else if (image->outcome == PreviewOutcome::CopyOriginal && !ReadCopy(file, &original, &size, &error)) {
        ReportImageProblem(job, item, error ? nullptr : "the file changed while it was read", error);
        result = ItemResult::ImageFailed;
    } else {
        if (image->outcome == PreviewOutcome::CopyOriginal) bytes = original;
        if (!WriteWholeFile(previewPath.buf, bytes, size, &error)) {
            ReportWriteFailure(job, previewPath, error);
            result = ItemResult::WriteFailed;
        }
    }
    free(original);
    FreePreviewImage(image);
    if (need >= kReturnFreedMemoryAfter) ReturnFreedMemory();
    ReturnMemory(need);
    return result;
}

// A folder search that failed: the images it would have found get no preview.
void ReportSearchFailure(PreviewJob* job, SystemError error) {
    Report(job, PreviewReport{PreviewProblem::SearchFailed, job->folder, TextLength(job->folder), nullptr, 0, nullptr, 0,
                              error});
    ++job->counts.failedImages;
}

// Which of kPreviewPatterns the file `name` is (its index), or -1 for none:
// found by its extension, then held to FormPreviewName's rules.
int PatternOf(const PathChar* name, size_t length) {
    size_t dot = length;
    while (dot > 0 && name[dot - 1] != PathChar('.')) --dot;
    if (dot == 0) return -1;
    for (int k = 0; k < int(sizeof(kPreviewPatterns) / sizeof(kPreviewPatterns[0])); ++k) {
        const char* extension = kPreviewPatterns[k].extension;
        size_t i = 0;
        while (dot + i < length && extension[i] && FoldAscii(name[dot + i]) == FoldAscii(PathChar(extension[i]))) ++i;
        if (dot + i != length || extension[i]) continue;
        PathChar storage[kPathCapacity];
        PathBuf previewName(storage);
        return FormPreviewName(name, length, extension, previewName) ? k : -1;
    }
    return -1;
}

// Puts `job->items` in the order of the patterns, keeping the listing's order
// within each. False when memory ran out.
bool OrderByPattern(PreviewJob* job) {
    constexpr int kPatterns = int(sizeof(kPreviewPatterns) / sizeof(kPreviewPatterns[0]));
    if (job->count < 2) return true;
    PreviewItem* ordered = static_cast<PreviewItem*>(malloc(sizeof(PreviewItem) * size_t(job->count)));
    if (!ordered) return false;
    int next[kPatterns + 1] = {};
    for (int i = 0; i < job->count; ++i) ++next[job->items[i].pattern + 1];
    for (int k = 1; k <= kPatterns; ++k) next[k] += next[k - 1];
    for (int i = 0; i < job->count; ++i) ordered[next[job->items[i].pattern]++] = job->items[i];
    free(job->items);
    job->items = ordered;
    return true;
}

}  // namespace

bool CollectImages(PreviewJob* job) {
    // One pass over the folder rather than a search per pattern: on a tree
    // whose previews are all up to date, the searches were a good part of
    // what --previews added to the run.
    size_t namesUsed = 0, namesCapacity = 0, itemCapacity = 0;
    PathChar patternStorage[kPathCapacity];
    PathBuf patternPath(patternStorage);
    patternPath.AppendZ(job->folder);
    patternPath.Append(PathChar('*'));
    if (patternPath.overflow) return true;
    job->folderOpen = OpenFolderForStates(job->folder, &job->folderHandle);
    DirSearch search;
    FoundEntry entry;
    SystemError error = 0;
    if (!FindFirstEntry(patternPath.buf, &search, &entry, &error)) {
        if (error) ReportSearchFailure(job, error);
        return true;
    }
    do {
        if (entry.attributes & kAttributeDirectory) continue;
        if (IsTemporaryName(entry.name, entry.nameLength)) job->hasTemporaries = true;
        int pattern = PatternOf(entry.name, entry.nameLength);
        if (pattern < 0) continue;
        if (!GrowBlock(&job->names, &namesCapacity, namesUsed + entry.nameLength + 1) ||
            !GrowBlock(&job->items, &itemCapacity, size_t(job->count) + 1)) {
            EndSearch(&search);
            return false;
        }
        for (size_t i = 0; i < entry.nameLength; ++i) job->names[namesUsed + i] = entry.name[i];
        job->names[namesUsed + entry.nameLength] = 0;
        job->items[job->count++] = PreviewItem{namesUsed, entry.nameLength, kPreviewPatterns[pattern].format, pattern};
        namesUsed += entry.nameLength + 1;
    } while (FindNextEntry(&search, &entry, &error));
    EndSearch(&search);
    if (error) ReportSearchFailure(job, error);
    return OrderByPattern(job);
}

void EndPreviewJob(PreviewJob* job) {
    free(job->names);
    free(job->items);
    job->names = nullptr;
    job->items = nullptr;
    if (job->folderOpen) CloseFolderForStates(job->folderHandle);
    job->folderOpen = false;
}

void RemoveAbandonedTemporaries(const PreviewJob* job) {
    if (!job->hasTemporaries) return;
    for (int i = 0; i < job->count; ++i) {
        const PreviewItem& item = job->items[i];
        PathChar nameStorage[kPathCapacity];
        PathBuf previewName(nameStorage);
        FormPreviewName(job->names + item.nameOffset, item.nameLength, "", previewName);
        PathChar pathStorage[kPathCapacity];
        PathBuf previewPath(pathStorage);
        previewPath.AppendZ(job->folder);
        previewPath.Append(previewName.buf, previewName.len);
        if (!previewPath.overflow) RemoveAbandonedTemporary(previewPath.buf);
    }
}

bool FormPreviewName(const PathChar* name, size_t length, const char* extension, PathBuf& previewName) {
    size_t dot = length;
    while (dot > 0 && name[dot - 1] != PathChar('.')) --dot;
    if (dot == 0) return false;  // no extension at all
    --dot;
    const PathChar* own = name + dot + 1;
    size_t ownLength = length - dot - 1;
    if (extension[0]) {  // "" keeps whatever extension the name has
        size_t i = 0;
        for (; i < ownLength && extension[i]; ++i) {
            if (FoldAscii(own[i]) != FoldAscii(PathChar(extension[i]))) return false;
        }
        if (i != ownLength || extension[i]) return false;
    }
    if (dot >= 2 && name[dot - 2] == PathChar('_') && FoldAscii(name[dot - 1]) == PathChar('T')) return false;
    previewName.Clear();
    previewName.Append(name, dot);
    previewName.AppendZ(PATH_TEXT("_t"));
    previewName.Append(name + dot, length - dot);
    return !previewName.overflow;
}

void SetPreviewFailure(PreviewImage* result, const char* text, size_t length) {
    result->outcome = PreviewOutcome::Failed;
    result->data = nullptr;
    result->size = 0;
    size_t n = 0;
    // One line: stop at the first line break, drop trailing blanks and full stops.
    while (n < length && n + 1 < kPreviewReasonCapacity && text[n] != '\n' && text[n] != '\r') {
        result->reason[n] = text[n];
        ++n;
    }
    n = TrimErrorText(result->reason, n);
    result->reason[n] = 0;
}
