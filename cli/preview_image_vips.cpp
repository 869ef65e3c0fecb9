// Previews with libvips (POSIX). vips_thumbnail does the work in one pass:
// shrink-on-load for JPEG and WebP (the decoder itself delivers 1/2, 1/4 or
// 1/8 of the size), sequential access, the EXIF orientation applied to the
// pixels, an embedded profile or CMYK colour converted to sRGB, and a
// Lanczos 3 reduction to the final size.
//
// Only three loaders may run: JPEG, PNG and WebP from a source. Every other
// loader of libvips (ImageMagick, SVG, PDF, TIFF, ...) and every operation
// libvips itself calls untrusted is blocked when the library starts. The file
// comes as the descriptor quimbo-build opened and checked, and its header was
// found to be the format its name says; the loader that ran is checked too.
//
// Parallelism is ours: one image per worker thread, each image on one vips
// thread (vips_concurrency_set(1)), and no operation cache, which would only
// keep pixels of images we never look at again.
#include <string.h>
#include <strings.h>

#include <vips/vips.h>

#include "cli_platform.h"
#include "image_header.h"
#include "preview_image.h"

namespace {

// vips reports a failure through the error buffer and, for damaged files,
// sometimes also as a GLib warning on stderr; we say it ourselves, once.
void DropLogMessage(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

const char kDataMissing[] = "the image data is incomplete";

// True when vips's error text says that the data ended before the image did
// (libjpeg: "premature end of data segment", "Premature end of JPEG file").
bool SaysDataIsMissing(const char* text) {
    for (const char* at = text; *at; ++at)
        if (strncasecmp(at, "premature end", 13) == 0) return true;
    return false;
}

// The first line of vips's error text, or `fallback`.
void FailFromVips(PreviewImage* result, const char* fallback) {
    char* text = vips_error_buffer_copy();  // takes the text and clears the buffer
    const char* reason = text && text[0] ? text : fallback;
    if (SaysDataIsMissing(reason)) reason = kDataMissing;
    // vips names the file's full path here; the message names the file already.
    if (strstr(reason, "is not a known file format")) reason = "not a known image format";
    // vips prefixes its messages with the class that failed ("VipsJpeg: ..."); the user does not need that.
    const char* colon = strstr(reason, ": ");
    if (colon && colon - reason < 32 && !memchr(reason, ' ', static_cast<size_t>(colon - reason))) reason = colon + 2;
    SetPreviewFailure(result, reason, strlen(reason));
    g_free(text);
}

}  // namespace

bool StartPreviewLibrary(ByteBuf& reason) {
    if (VIPS_INIT("quimbo-build") != 0) {
        const char* text = vips_error_buffer();
        reason.Append("libvips did not start: ");
        reason.Append(text, strcspn(text, "\n"));
        return false;
    }
    // Nothing but our three loaders may read a file.
    vips_block_untrusted_set(TRUE);
    vips_operation_block_set("VipsForeignLoad", TRUE);
    for (const char* loader : {"VipsForeignLoadJpegSource", "VipsForeignLoadPngSource", "VipsForeignLoadWebpSource"})
        vips_operation_block_set(loader, FALSE);
    vips_concurrency_set(1);
    vips_cache_set_max(0);
    vips_cache_set_max_mem(0);
    vips_cache_set_max_files(0);
    g_log_set_handler("VIPS", static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE | G_LOG_LEVEL_INFO),
                      DropLogMessage, nullptr);
    return true;
}

void StopPreviewLibrary() {
    // vips_shutdown() would be tidy, but the process ends right after; leaving
    // the library up keeps its threads from being torn down under us.
}

void StartPreviewThread() {}

void StopPreviewThread() { vips_thread_shutdown(); }

namespace {

const char* LoaderOf(PreviewFormat format) {
    switch (format) {
        case PreviewFormat::Jpeg: return "jpegload_source";
        case PreviewFormat::Png: return "pngload_source";
        case PreviewFormat::Webp: return "webpload_source";
    }
    return "";
}

// The image's header through the loader of `format` (no pixels decoded yet); null on failure.
VipsImage* LoadHeader(VipsSource* source, PreviewFormat format, VipsFailOn failOn) {
    VipsImage* image = nullptr;
    int failed = -1;
    switch (format) {
        case PreviewFormat::Jpeg:
            failed = vips_jpegload_source(source, &image, "access", VIPS_ACCESS_SEQUENTIAL, "fail_on", failOn, nullptr);
            break;
        case PreviewFormat::Png:
            failed = vips_pngload_source(source, &image, "access", VIPS_ACCESS_SEQUENTIAL, "fail_on", failOn, nullptr);
            break;
        case PreviewFormat::Webp:
            failed = vips_webpload_source(source, &image, "access", VIPS_ACCESS_SEQUENTIAL, "fail_on", failOn, nullptr);
            break;
    }
    return failed ? nullptr : image;
}

// One attempt at the preview, failing on what `failOn` says.
void MakeFromSource(VipsSource* source, const ImageHeader& header, bool mayCopy, PreviewFormat format,
                    VipsFailOn failOn, PreviewImage* result) {
    *result = PreviewImage{};
    VipsImage* image = LoadHeader(source, format, failOn);
    if (!image) {
        FailFromVips(result, "cannot read the image");
        return;
    }
    int width = vips_image_get_width(image), height = vips_image_get_height(image);
    bool turned = vips_image_get_orientation_swap(image);
    // An embedded profile (other than a CMYK one, which vips always takes to
    // sRGB) must be converted explicitly. Without one the pixels are sRGB
    // already, and asking for the conversion would only shift saturated colours.
    bool profiled = vips_image_get_typeof(image, VIPS_META_ICC_NAME) != 0;
    g_object_unref(image);
    if (uint32_t(width) != header.width || uint32_t(height) != header.height) {
        const char* text = "the decoder sees another size than the header gives";
        SetPreviewFailure(result, text, strlen(text));
        return;
    }
    bool small = width <= kPreviewLongSide && height <= kPreviewLongSide;
    if (turned) {
        int swap = width;
        width = height;
        height = swap;
    }
    // A small image keeps its size; it is decoded all the same, to know that
    // it decodes whole, and encoded in case it must not be copied.
    int previewWidth = width, previewHeight = height;
    if (!small) PreviewSize(width, height, &previewWidth, &previewHeight);

    // VIPS_SIZE_FORCE with our own rounded size: exactly the size the rule
    // asks for, whatever rounding vips would have chosen. vips_thumbnail picks
    // the loader by the content, and only ours are left to pick.
    VipsImage* reduced = nullptr;
    const char* loaderOptions = failOn == VIPS_FAIL_ON_WARNING ? "fail_on=warning" : "fail_on=error";
    int failed = profiled ? vips_thumbnail_source(source, &reduced, previewWidth, "height", previewHeight, "size",
                                                  VIPS_SIZE_FORCE, "export_profile", "srgb", "option_string",
                                                  loaderOptions, nullptr)
                          : vips_thumbnail_source(source, &reduced, previewWidth, "height", previewHeight, "size",
                                                  VIPS_SIZE_FORCE, "option_string", loaderOptions, nullptr);
    if (failed) {
        FailFromVips(result, "cannot decode the image");
        return;
    }
    const char* loader = nullptr;
    if (vips_image_get_string(reduced, "vips-loader", &loader) != 0 || !loader || strcmp(loader, LoaderOf(format)) != 0) {
        g_object_unref(reduced);
        vips_error_clear();
        const char* text = "read by another decoder than its format's";
        SetPreviewFailure(result, text, strlen(text));
        return;
    }
    void* bytes = nullptr;
    size_t size = 0;
    // "strip": no EXIF (its orientation would turn the upright pixels again), no profile (they are sRGB now).
    switch (format) {
        case PreviewFormat::Jpeg:
            failed = vips_jpegsave_buffer(reduced, &bytes, &size, "Q", kPreviewJpegQuality, "strip", TRUE, nullptr);
            break;
        case PreviewFormat::Png:
            failed = vips_pngsave_buffer(reduced, &bytes, &size, "strip", TRUE, nullptr);
            break;
        case PreviewFormat::Webp:
            failed = vips_webpsave_buffer(reduced, &bytes, &size, "strip", TRUE, nullptr);
            break;
    }
    g_object_unref(reduced);
    if (failed) {
        // The pixels are decoded only now, while they are saved: a damaged image fails here.
        FailFromVips(result, "cannot decode the image");
        return;
    }
    if (small && mayCopy) {
        g_free(bytes);
        result->outcome = PreviewOutcome::CopyOriginal;
        return;
    }
    result->outcome = PreviewOutcome::Encoded;
    result->data = bytes;
    result->size = size;
}

}  // namespace

void MakePreviewImage(const ImageFile& file, const ImageHeader& header, bool mayCopy, PreviewFormat format,
                      PreviewImage* result) {
    *result = PreviewImage{};
    // The source reads through a duplicate of the descriptor that it makes and
    // closes itself; ours stays open, and the caller's to close.
    VipsSource* source = vips_source_new_from_descriptor(static_cast<int>(file.handle));
    if (!source) {
        FailFromVips(result, "cannot read the image");
        return;
    }
    // A JPEG whose data ends early decodes with only a warning, the missing
    // part grey. So the first attempt fails on any warning; one that did not
    // say that data is missing (stray bytes, a damaged code, which a browser
    // shows as far as it goes) is made again, failing on errors only.
    if (format == PreviewFormat::Jpeg) {
        MakeFromSource(source, header, mayCopy, format, VIPS_FAIL_ON_WARNING, result);
        if (result->outcome == PreviewOutcome::Failed && strcmp(result->reason, kDataMissing) != 0)
            MakeFromSource(source, header, mayCopy, format, VIPS_FAIL_ON_ERROR, result);
    } else {
        MakeFromSource(source, header, mayCopy, format, VIPS_FAIL_ON_ERROR, result);
    }
    g_object_unref(source);
}

void FreePreviewImage(PreviewImage* result) {
    g_free(result->data);
    *result = PreviewImage{};
}
