// Previews with libvips (POSIX). vips_thumbnail does the work in one pass:
// shrink-on-load for JPEG and WebP (the decoder itself delivers 1/2, 1/4 or
// 1/8 of the size), sequential access, the EXIF orientation applied to the
// pixels, an embedded profile or CMYK colour converted to sRGB, and a
// Lanczos 3 reduction to the final size.
//
// Parallelism is ours: one image per worker thread, each image on one vips
// thread (vips_concurrency_set(1)), and no operation cache, which would only
// keep pixels of images we never look at again.
#include <string.h>

#include <vips/vips.h>

#include "preview_image.h"

namespace {

// vips reports a failure through the error buffer and, for damaged files,
// sometimes also as a GLib warning on stderr; we say it ourselves, once.
void DropLogMessage(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

// The first line of vips's error text, or `fallback`.
void FailFromVips(PreviewImage* result, const char* fallback) {
    char* text = vips_error_buffer_copy();  // takes the text and clears the buffer
    const char* reason = text && text[0] ? text : fallback;
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

void MakePreviewImage(const PathChar* path, PreviewFormat format, PreviewImage* result) {
    *result = PreviewImage{};
    // The header alone: size and orientation, no pixels decoded yet.
    VipsImage* header = vips_image_new_from_file(path, "access", VIPS_ACCESS_SEQUENTIAL, "fail_on",
                                                 VIPS_FAIL_ON_ERROR, nullptr);
    if (!header) {
        FailFromVips(result, "cannot read the image");
        return;
    }
    int width = vips_image_get_width(header), height = vips_image_get_height(header);
    bool turned = vips_image_get_orientation_swap(header);
    // An embedded profile (other than a CMYK one, which vips always takes to
    // sRGB) must be converted explicitly. Without one the pixels are sRGB
    // already, and asking for the conversion would only shift saturated colours.
    bool profiled = vips_image_get_typeof(header, VIPS_META_ICC_NAME) != 0;
    g_object_unref(header);
    if (width <= kPreviewLongSide && height <= kPreviewLongSide) {
        result->outcome = PreviewOutcome::CopyOriginal;
        return;
    }
    if (turned) {
        int swap = width;
        width = height;
        height = swap;
    }
    int previewWidth = 0, previewHeight = 0;
    PreviewSize(width, height, &previewWidth, &previewHeight);

    // VIPS_SIZE_FORCE with our own rounded size: exactly the size the rule
    // asks for, whatever rounding vips would have chosen.
    VipsImage* small = nullptr;
    int failed = profiled ? vips_thumbnail(path, &small, previewWidth, "height", previewHeight, "size", VIPS_SIZE_FORCE,
                                           "export_profile", "srgb", "fail_on", VIPS_FAIL_ON_ERROR, nullptr)
                          : vips_thumbnail(path, &small, previewWidth, "height", previewHeight, "size", VIPS_SIZE_FORCE,
                                           "fail_on", VIPS_FAIL_ON_ERROR, nullptr);
    if (failed) {
        FailFromVips(result, "cannot decode the image");
        return;
    }
    void* bytes = nullptr;
    size_t size = 0;
    // "strip": no EXIF (its orientation would turn the upright pixels again), no profile (they are sRGB now).
    switch (format) {
        case PreviewFormat::Jpeg:
            failed = vips_jpegsave_buffer(small, &bytes, &size, "Q", kPreviewJpegQuality, "strip", TRUE, nullptr);
            break;
        case PreviewFormat::Png:
            failed = vips_pngsave_buffer(small, &bytes, &size, "strip", TRUE, nullptr);
            break;
        case PreviewFormat::Webp:
            failed = vips_webpsave_buffer(small, &bytes, &size, "strip", TRUE, nullptr);
            break;
    }
    g_object_unref(small);
    if (failed) {
        FailFromVips(result, "cannot encode the preview");
        return;
    }
    result->outcome = PreviewOutcome::Encoded;
    result->data = bytes;
    result->size = size;
}

void FreePreviewImage(PreviewImage* result) {
    g_free(result->data);
    *result = PreviewImage{};
}
