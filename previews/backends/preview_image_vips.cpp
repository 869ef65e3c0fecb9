// Previews with libvips (POSIX), in one sequential pass over the image:
// shrink-on-load for JPEG and WebP (the decoder itself delivers 1/2, 1/4 or
// 1/8 of the size), a box shrink and a Lanczos 3 reduction to the final size,
// an embedded profile or CMYK colour converted to 8-bit sRGB, the EXIF
// orientation applied to the pixels, no metadata kept, and an alpha channel
// only where some pixel is not opaque.
//
// libvips is loaded when the previews start (dlopen of its versioned name,
// QUIMBO_VIPS_LIBRARY, which the build file chooses), and every call below
// goes through a pointer of the call's own name, found in it then: a run
// that decodes no image maps no image library at all. The calls and their
// types are declared in vips_abi.h, and checked against libvips's headers
// in the test build.
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
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "../../common/platform.h"
#include "../image_header.h"
#include "../preview_image.h"
#include "vips_abi.h"

// The library's file name and the package that installs it: the build file's choice.
#if !defined(QUIMBO_VIPS_LIBRARY) || !defined(QUIMBO_VIPS_PACKAGE)
#error "the build file names the libvips library (QUIMBO_VIPS_LIBRARY) and its package (QUIMBO_VIPS_PACKAGE)"
#endif

using namespace vipsabi;

namespace {

// One pointer per call of vips_abi.h, named as the call; null until
// LoadVipsCalls has found them all.
template <typename Function>
using Call = Function*;
#define QUIMBO_CALL_POINTER(name, ...) Call<__VA_ARGS__> name = nullptr;
QUIMBO_VIPS_CALLS(QUIMBO_CALL_POINTER)
#undef QUIMBO_CALL_POINTER

// The first line of the loader's last error text (it names the file and the
// system's reason), or "unknown reason".
void AppendLoaderError(ByteBuf& reason) {
    const char* text = dlerror();
    if (!text || !text[0]) text = "unknown reason";
    reason.Append(text, strcspn(text, "\n"));
}

// Loads libvips and finds every call of vips_abi.h in it. False, with a
// reason that names the package to install, when the library is not there,
// lacks a call (older than the backend needs, or not libvips) or is of
// another ABI; the library is then unloaded again.
bool LoadVipsCalls(ByteBuf& reason) {
    void* library = dlopen(QUIMBO_VIPS_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        reason.Append("libvips is not installed (package " QUIMBO_VIPS_PACKAGE "): ");
        AppendLoaderError(reason);
        return false;
    }
    bool found = true;
#define QUIMBO_FIND_CALL(name, ...) \
    found = found && (name = reinterpret_cast<Call<__VA_ARGS__>>(dlsym(library, #name))) != nullptr;
    QUIMBO_VIPS_CALLS(QUIMBO_FIND_CALL)
#undef QUIMBO_FIND_CALL
    if (!found) {
        reason.Append("the installed libvips cannot be used (package " QUIMBO_VIPS_PACKAGE ", 8.14 or later): ");
        AppendLoaderError(reason);
        dlclose(library);
        return false;
    }
    // What VIPS_INIT checks: the library's ABI is the one declared.
    int abi = vips_version(3) - vips_version(5);
    if (abi != kLibraryAbi) {
        char text[128];
        snprintf(text, sizeof text, "the installed libvips has ABI version %d, not %d (package " QUIMBO_VIPS_PACKAGE ")",
                 abi, kLibraryAbi);
        reason.AppendZ(text);
        dlclose(library);
        return false;
    }
    return true;
}

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
    if (!LoadVipsCalls(reason)) return false;
    if (vips_init("quimbo-build") != 0) {
        const char* text = vips_error_buffer();
        reason.Append("libvips did not start: ");
        reason.Append(text, strcspn(text, "\n"));
        return false;
    }
    // Nothing but our three loaders may read a file.
    vips_block_untrusted_set(1);
    vips_operation_block_set("VipsForeignLoad", 1);
    for (const char* loader : {"VipsForeignLoadJpegSource", "VipsForeignLoadPngSource", "VipsForeignLoadWebpSource"})
        vips_operation_block_set(loader, 0);
    KeepFreedMemoryReturnable();
    // The run-time compiled (Orc) inner loops stay off: their code store is
    // not safe to free from two threads at once, which our workers do each
    // time two images finish together, and that corrupts it. The plain C
    // loops cost nothing measurable here, where decoding is the work.
    vips_vector_set_enabled(0);
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

// PNG previews: zlib level 5 with libpng choosing each row's filter, the
// best compression that costs at most 1.5 times libvips's default (level 6,
// no filter). Measured on 71 previews of the benchmark's PNGs, encoding only:
// default 174.6 KB a preview in 1.16 s; level 5, all filters, 133.3 KB in
// 1.51 s (1.3x); level 6 with filters 130.2 KB in 2.61 s (2.2x); level 9
// 124.2 KB in 22.7 s. No palette: quantising a photo to 256 colours shows.
constexpr int kPngCompression = 5;
constexpr VipsForeignPngFilter kPngFilter = VIPS_FOREIGN_PNG_FILTER_ALL;

const char* LoaderOf(PreviewFormat format) {
    switch (format) {
        case PreviewFormat::Jpeg: return "jpegload_source";
        case PreviewFormat::Png: return "pngload_source";
        case PreviewFormat::Webp: return "webpload_source";
    }
    return "";
}

// How much the preview is smaller than the image (`width` x `height` as
// stored, `storedWidth` x `storedHeight` the preview before it is turned
// upright), and what the decoder is asked to reduce it by: at most so far that
// a factor of two is left for Lanczos, as vips_thumbnail does (the decoder's
// box filter alone looks too sharp). JPEG: 1/`shrink`; WebP: `scale`.
void DecoderReduction(int width, int height, int storedWidth, int storedHeight, int* shrink, double* scale) {
    double across = double(width) / storedWidth, down = double(height) / storedHeight;
    double factor = across < down ? across : down;
    *shrink = factor >= 16 ? 8 : factor >= 8 ? 4 : factor >= 4 ? 2 : 1;
    *scale = factor >= 4 ? 2 / factor : 1.0;
}

// The image through the loader of `format`, sequentially, decoded at 1/`shrink`
// of its size (JPEG: 1, 2, 4 or 8) or at `scale` (WebP); PNG has no reduced
// decode. Only the header is read until the pixels are asked for. Null on failure.
VipsImage* Load(VipsSource* source, PreviewFormat format, VipsFailOn failOn, int shrink, double scale) {
    VipsImage* image = nullptr;
    int failed = -1;
    switch (format) {
        case PreviewFormat::Jpeg:
            failed = vips_jpegload_source(source, &image, "access", VIPS_ACCESS_SEQUENTIAL, "fail_on", failOn, "shrink",
                                          shrink, nullptr);
            break;
        case PreviewFormat::Png:
            failed = vips_pngload_source(source, &image, "access", VIPS_ACCESS_SEQUENTIAL, "fail_on", failOn, nullptr);
            break;
        case PreviewFormat::Webp:
            failed = vips_webpload_source(source, &image, "access", VIPS_ACCESS_SEQUENTIAL, "fail_on", failOn, "scale",
                                          scale, nullptr);
            break;
    }
    return failed ? nullptr : image;
}

// Holds the images of one pipeline and releases them together.
struct Images {
    VipsImage* held[20] = {};
    int count = 0;
    ~Images() {
        for (int i = count - 1; i >= 0; --i) g_object_unref(held[i]);
    }
    // Takes the image a vips call that returned `failed` left in `*made`, and
    // makes it `*current`; false on failure. (`made` is read only after the
    // call has run: an argument's value could be read before it.)
    bool Keep(int failed, VipsImage** made, VipsImage** current) {
        VipsImage* image = *made;
        *made = nullptr;
        if (failed || !image) return false;
        if (count == int(sizeof held / sizeof *held)) {  // a pipeline longer than planned: a fault of ours, not of the image
            g_object_unref(image);
            vips_error("quimbo-build", "too many steps");
            return false;
        }
        held[count++] = image;
        *current = image;
        return true;
    }
};

// Removes every metadata field from `image`: EXIF (and vips's fields made from
// it), XMP, IPTC, the ICC profile, and whatever a loader added. libvips 8.14's
// WebP saver ignores "strip", so what is not on the image cannot be saved.
// The pixel fields (size, bands, format, interpretation) are not metadata and stay.
void RemoveMetadata(VipsImage* image) {
    gchar** fields = vips_image_get_fields(image);
    for (gchar** field = fields; field && *field; ++field) vips_image_remove(image, *field);
    g_strfreev(fields);
}

uint32_t Little32(const unsigned char* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
void PutLittle32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// Takes the EXIF, XMP and ICC chunks out of a WebP file that libvips wrote
// (`*size` bytes at `bytes`, shortened in place) and clears their flags in
// the extended header. libvips 8.14's WebP saver writes an EXIF block of its
// own making (resolution, orientation) even for an image without metadata,
// "strip" or not. A file not laid out as expected is left as it is.
void RemoveWebpMetadata(unsigned char* bytes, size_t* size) {
    if (*size < 12 || memcmp(bytes, "RIFF", 4) != 0 || memcmp(bytes + 8, "WEBP", 4) != 0) return;
    auto chunkSize = [bytes](size_t at) { return 8 + ((size_t(Little32(bytes + at + 4)) + 1) & ~size_t(1)); };  // padded to an even size
    size_t at = 12;
    while (at + 8 <= *size && chunkSize(at) <= *size - at) at += chunkSize(at);
    if (at != *size) return;
    size_t end = 12;
    for (at = 12; at < *size;) {
        size_t chunk = chunkSize(at);
        bool metadata = memcmp(bytes + at, "EXIF", 4) == 0 || memcmp(bytes + at, "XMP ", 4) == 0 ||
                        memcmp(bytes + at, "ICCP", 4) == 0;
        if (memcmp(bytes + at, "VP8X", 4) == 0 && chunk >= 9) bytes[at + 8] = static_cast<unsigned char>(bytes[at + 8] & ~(0x20 | 0x08 | 0x04));  // ICC, EXIF, XMP
        if (!metadata) {
            memmove(bytes + end, bytes + at, chunk);
            end += chunk;
        }
        at += chunk;
    }
    PutLittle32(bytes + 4, uint32_t(end - 8));
    *size = end;
}

// One attempt at the preview, failing on what `failOn` says.
//
// The pipeline is vips_thumbnail's, in an order that holds less: the decoder's
// own reduction (JPEG, WebP), alpha premultiplied, an integer box shrink
// across each row before the one down the columns (a vertical shrink reads
// tall strips of its input, and they are narrow once the rows are shrunk),
// Lanczos 3 to the exact size, and only then the colour to 8-bit sRGB and the
// orientation, on the small image. vips_thumbnail shrinks down first, on
// strips of the whole width, in float where there is alpha: about 110 MB for
// a 24-megapixel RGBA PNG, against 30 MB here.
void MakeFromSource(VipsSource* source, const ImageHeader& header, bool mayCopy, PreviewFormat format,
                    VipsFailOn failOn, PreviewImage* result) {
    *result = PreviewImage{};
    Images images;
    VipsImage* image = nullptr;
    VipsImage* next = Load(source, format, failOn, 1, 1.0);
    if (!images.Keep(0, &next, &image)) {
        FailFromVips(result, "cannot read the image");
        return;
    }
    int width = vips_image_get_width(image), height = vips_image_get_height(image);
    if (uint32_t(width) != header.width || uint32_t(height) != header.height) {
        const char* text = "the decoder sees another size than the header gives";
        SetPreviewFailure(result, text, strlen(text));
        return;
    }
    bool turned = vips_image_get_orientation_swap(image);
    bool small = width <= kPreviewLongSide && height <= kPreviewLongSide;
    // A small image keeps its size; it is decoded all the same, to know that
    // it decodes whole, and encoded in case it must not be copied.
    int storedWidth = width, storedHeight = height;  // the preview's size before it is turned upright
    if (!small) {
        int previewWidth = 0, previewHeight = 0;
        PreviewSize(turned ? height : width, turned ? width : height, &previewWidth, &previewHeight);
        storedWidth = turned ? previewHeight : previewWidth;
        storedHeight = turned ? previewWidth : previewHeight;
    }

    int shrink = 1;
    double scale = 1.0;
    DecoderReduction(width, height, storedWidth, storedHeight, &shrink, &scale);
    if ((format == PreviewFormat::Jpeg && shrink > 1) || (format == PreviewFormat::Webp && scale < 1)) {
        next = Load(source, format, failOn, shrink, scale);
        if (!images.Keep(0, &next, &image)) {
            FailFromVips(result, "cannot read the image");
            return;
        }
    }
    const char* loader = nullptr;
    if (vips_image_get_string(image, "vips-loader", &loader) != 0 || !loader || strcmp(loader, LoaderOf(format)) != 0) {
        vips_error_clear();
        const char* text = "read by another decoder than its format's";
        SetPreviewFailure(result, text, strlen(text));
        return;
    }
    // An embedded profile (and CMYK, with libvips's own profile where the
    // image has none) is converted to sRGB. Without one the pixels are sRGB
    // already, and a conversion would only shift saturated colours.
    bool profiled = vips_image_get_typeof(image, kIccProfileField) != 0;
    bool cmyk = vips_image_get_interpretation(image) == VIPS_INTERPRETATION_CMYK;
    VipsBandFormat loadedFormat = vips_image_get_format(image);
    bool resize = vips_image_get_width(image) != storedWidth || vips_image_get_height(image) != storedHeight;
    bool alpha = resize && vips_image_hasalpha(image);

    bool built = !alpha || images.Keep(vips_premultiply(image, &next, nullptr), &next, &image);
    int across = vips_image_get_width(image) / storedWidth / 2, down = vips_image_get_height(image) / storedHeight / 2;
    if (built && across > 1) built = images.Keep(vips_shrinkh(image, &next, across, nullptr), &next, &image);
    if (built && down > 1) built = images.Keep(vips_shrinkv(image, &next, down, nullptr), &next, &image);
    int shrunkWidth = vips_image_get_width(image), shrunkHeight = vips_image_get_height(image);
    if (built && resize && (shrunkWidth != storedWidth || shrunkHeight != storedHeight))
        built = images.Keep(vips_resize(image, &next, double(storedWidth) / shrunkWidth, "vscale",
                                        double(storedHeight) / shrunkHeight, "kernel", VIPS_KERNEL_LANCZOS3, nullptr),
                            &next, &image);
    if (built && alpha) {
        built = images.Keep(vips_unpremultiply(image, &next, nullptr), &next, &image) &&
                images.Keep(vips_cast(image, &next, loadedFormat, nullptr), &next, &image);
    }
    if (built && (profiled || cmyk)) {
        // A profile lcms cannot use leaves the pixels as they are, as a browser would.
        if (!images.Keep(vips_icc_transform(image, &next, "srgb", "embedded", 1, "input_profile",
                                            cmyk ? "cmyk" : "srgb", "depth", 8, nullptr),
                         &next, &image))
            vips_error_clear();
    }
    VipsInterpretation space = built ? vips_image_get_interpretation(image) : VIPS_INTERPRETATION_sRGB;
    if (built && (space == VIPS_INTERPRETATION_RGB16 || space == VIPS_INTERPRETATION_GREY16))
        built = images.Keep(vips_colourspace(image, &next,
                                             space == VIPS_INTERPRETATION_RGB16 ? VIPS_INTERPRETATION_sRGB
                                                                                : VIPS_INTERPRETATION_B_W,
                                             nullptr),
                            &next, &image);
    if (built && vips_image_get_format(image) != VIPS_FORMAT_UCHAR)
        built = images.Keep(vips_cast(image, &next, VIPS_FORMAT_UCHAR, nullptr), &next, &image);
    // The pixels are decoded here, into the small image: a damaged image fails now.
    if (built) next = vips_image_copy_memory(image);
    if (!built || !images.Keep(0, &next, &image)) {
        FailFromVips(result, "cannot decode the image");
        return;
    }
    // An alpha channel that is opaque everywhere only weighs on the file.
    if (format != PreviewFormat::Jpeg && vips_image_hasalpha(image)) {
        VipsImage* alphaBand = nullptr;
        double least = 0;
        if (images.Keep(vips_extract_band(image, &alphaBand, vips_image_get_bands(image) - 1, nullptr), &alphaBand, &alphaBand) &&
            vips_min(alphaBand, &least, nullptr) == 0 && least >= 255 &&
            !images.Keep(vips_extract_band(image, &next, 0, "n", vips_image_get_bands(image) - 1, nullptr), &next, &image)) {
            FailFromVips(result, "cannot encode the preview");
            return;
        }
        vips_error_clear();
    }
    if (vips_image_get_orientation(image) != 1) {
        if (!images.Keep(vips_autorot(image, &next, nullptr), &next, &image)) {
            FailFromVips(result, "cannot turn the image upright");
            return;
        }
    }
    RemoveMetadata(image);

    void* bytes = nullptr;
    size_t size = 0;
    int failed = -1;
    switch (format) {
        case PreviewFormat::Jpeg:
            failed = vips_jpegsave_buffer(image, &bytes, &size, "Q", kPreviewJpegQuality, "strip", 1, nullptr);
            break;
        case PreviewFormat::Png:
            failed = vips_pngsave_buffer(image, &bytes, &size, "strip", 1, "compression", kPngCompression, "filter",
                                         kPngFilter, nullptr);
            break;
        case PreviewFormat::Webp:
            failed = vips_webpsave_buffer(image, &bytes, &size, "strip", 1, nullptr);
            if (!failed) RemoveWebpMetadata(static_cast<unsigned char*>(bytes), &size);
            break;
    }
    if (failed) {
        FailFromVips(result, "cannot encode the preview");
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

// Calibrated with the benchmark's real photos and 24-megapixel copies, each
// made alone (the peak of the process less its peak for a 100-pixel image):
//   rows     the pipeline's strips, as wide as the decoded image: about
//            kRowsHeld rows of it, in float (16 bytes a pixel) where there is alpha
//   whole    a progressive JPEG: libjpeg's coefficients, 2 bytes for each
//            sample of the full size, whatever the reduction; an interlaced
//            PNG: its pixels; a lossless WebP: libwebp's ARGB image and its
//            work space (5 bytes a pixel measured); a lossy one's alpha plane
//   fixed    the decoder's and encoder's own state, the small image, the file
uint64_t PreviewMemoryNeed(const ImageHeader& header, PreviewFormat format) {
    constexpr uint64_t kRowsHeld = 400;
    constexpr uint64_t kFixed = 8ull << 20;
    uint64_t width = header.width, height = header.height, pixels = width * height;
    int storedWidth = int(width), storedHeight = int(height);
    if (width > uint64_t(kPreviewLongSide) || height > uint64_t(kPreviewLongSide))
        PreviewSize(int(width), int(height), &storedWidth, &storedHeight);
    int shrink = 1;
    double scale = 1.0;
    DecoderReduction(int(width), int(height), storedWidth, storedHeight, &shrink, &scale);
    uint64_t decodedWidth = format == PreviewFormat::Jpeg   ? (width + shrink - 1) / shrink
                            : format == PreviewFormat::Webp ? uint64_t(double(width) * scale + 1)
                                                            : width;
    bool alpha = header.bytesPerPixel == 2 || header.bytesPerPixel == 4 || header.bytesPerPixel == 8;
    uint64_t rowBytes = decodedWidth * (alpha ? 16 : uint64_t(header.bytesPerPixel));
    uint64_t whole = 0;
    switch (format) {
        case PreviewFormat::Jpeg:
            if (header.wholeImageDecode) whole = pixels * uint64_t(header.bytesPerPixel) * 2;
            break;
        case PreviewFormat::Png:
            if (header.wholeImageDecode) whole = pixels * uint64_t(header.bytesPerPixel);
            break;
        case PreviewFormat::Webp:
            whole = header.wholeImageDecode ? pixels * 6 : header.bytesPerPixel == 4 ? pixels : 0;
            break;
    }
    return kFixed + rowBytes * kRowsHeld + whole;
}

void FreePreviewImage(PreviewImage* result) {
    g_free(result->data);
    *result = PreviewImage{};
}
