// Turning one image into the bytes of its preview: decode, turn upright,
// bring to sRGB, scale so that the long side is 480 pixels, encode in the
// image's own format. The only part of the previews that differs between the
// builds: libvips on POSIX (backends/preview_image_vips.cpp), the Windows
// Imaging Component on Windows (backends/preview_image_wic.cpp). Which files get a preview,
// their names, the up-to-date rule, opening the file, its header and limits
// (image_header.h) and the writing are shared (previews.cpp).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "../common/platform.h"

constexpr int kPreviewLongSide = 480;
constexpr int kPreviewJpegQuality = 70;  // percent; PNG and WebP use the library's defaults

enum class PreviewFormat { Jpeg, Png, Webp };

enum class PreviewOutcome {
    Encoded,       // `data` and `size` hold the whole preview file
    CopyOriginal,  // the image decoded whole and may be copied: the preview is the image itself, byte for byte
    Failed,        // `reason` tells why (corrupt, truncated, unsupported)
};

struct ImageHeader;  // image_header.h

constexpr size_t kPreviewReasonCapacity = 256;

struct PreviewImage {
    PreviewOutcome outcome;
    void* data;  // owned by the backend; FreePreviewImage releases it
    size_t size;
    char reason[kPreviewReasonCapacity];  // UTF-8, zero-terminated, one line
};

// Loads and starts the image library: at most once per process, on any
// thread, before any other call below; the previews' job calls it when the
// first image needs decoding (preview_job.h), so that a run that decodes
// nothing loads nothing. False (with a reason in `reason` that names the
// package to install where the library is missing) when it cannot be used
// at all. It also sets up the allocator for the previews
// (KeepFreedMemoryReturnable).
bool StartPreviewLibrary(ByteBuf& reason);
// After the last worker has stopped, when StartPreviewLibrary succeeded.
void StopPreviewLibrary();

// Once on each worker thread, around all its calls of MakePreviewImage;
// only once StartPreviewLibrary has succeeded.
void StartPreviewThread();
void StopPreviewThread();

// Makes the preview of the open image `file`, whose header was read and
// found within the limits (`header`), stored as `format`. Only the decoder of
// `format` reads the file, and only through `file`. An image with no side
// over kPreviewLongSide is decoded whole all the same: CopyOriginal when it
// decoded and `mayCopy` (MayCopyAsPreview) allows, else Encoded at its own
// size. Safe to call from several threads at once, one image per call.
void MakePreviewImage(const ImageFile& file, const ImageHeader& header, bool mayCopy, PreviewFormat format,
                      PreviewImage* result);

// What making the preview of an image with `header` holds in memory at most,
// in bytes, beyond what the process holds anyway: an estimate from the header
// alone, before anything is decoded, for the memory budget of the workers
// (previews.cpp). Pixel buffers that are only as wide as the image are
// counted per row; what a decoder must hold whole (a progressive JPEG's
// coefficients, an interlaced PNG, a lossless WebP) in full.
uint64_t PreviewMemoryNeed(const ImageHeader& header, PreviewFormat format);

// Releases what MakePreviewImage handed out; the result may then be reused.
void FreePreviewImage(PreviewImage* result);

// The preview's size for an image of `width` x `height` (already upright):
// the long side becomes kPreviewLongSide, the other keeps the aspect ratio,
// rounded to the nearest pixel and never 0. Only for images larger than that.
inline void PreviewSize(int width, int height, int* previewWidth, int* previewHeight) {
    bool wide = width >= height;
    long long longSide = wide ? width : height, shortSide = wide ? height : width;
    long long scaled = (shortSide * kPreviewLongSide * 2 + longSide) / (longSide * 2);
    if (scaled < 1) scaled = 1;
    *previewWidth = wide ? kPreviewLongSide : static_cast<int>(scaled);
    *previewHeight = wide ? static_cast<int>(scaled) : kPreviewLongSide;
}

// Helper for the backends: sets a failed outcome with `text` (cut to fit, on one line).
void SetPreviewFailure(PreviewImage* result, const char* text, size_t length);
