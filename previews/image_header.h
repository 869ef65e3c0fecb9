// What the previews learn from an image file before any decoder sees it: that
// it is the format its name says, its size, and whether the file can hold
// that many pixels at all. Portable; the bytes come through a read callback,
// so the same code runs on an open file and, in the tests, on a block of memory.
//
// A gallery folder is untrusted input. These checks keep every decoder away
// from a file of another format (an SVG named .png), from images too large to
// decode safely (a 4.6 KB JPEG that claims 65500 x 65500 pixels), and from
// files whose header promises far more pixels than the data can carry.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "../common/text.h"
#include "preview_image.h"

// The largest image that gets a preview: 160 megapixels, and no side over
// 65535 pixels (the most a JPEG can have).
//
// 160 megapixels admits every camera photo (the largest sensors give 100 to
// 151 megapixels) and stitched panoramas of that size. Beyond it lies what no
// folder of photos needs and what only a crafted file holds cheaply: some
// decoders hold the whole image in memory (the Windows Imaging Component in
// Wine, an interlaced PNG in libvips), and at 160 megapixels that is already
// 640 MB at 8 bits per RGBA pixel, in a 32-bit process of 2 GiB. The side
// limit bounds the rows a reduction to 480 pixels must hold at once: a
// strip 999999 pixels long would need all of its rows for each preview row.
constexpr uint64_t kPreviewMaxPixels = 160000000;
constexpr uint32_t kPreviewMaxSide = 65535;

// A small image is copied as its preview only while its file is at most this
// large: every pixel stored raw at 16 bits per RGBA channel (8 bytes), plus
// 128 KiB for what photos carry besides (an Exif block with its thumbnail
// takes up to 64 KiB, a colour profile a few KiB). A larger file (padding,
// a hidden payload, megabytes of metadata) gets a preview encoded from its pixels.
constexpr uint64_t kCopyBytesPerPixel = 8;
constexpr uint64_t kCopyAllowance = 128 * 1024;

// Reads up to `size` bytes at `offset` into `data`; `*got` tells how many (0
// at the end of the file). False when the read itself failed.
using ImageReader = bool (*)(void* context, uint64_t offset, void* data, size_t size, size_t* got);

struct ImageHeader {
    uint32_t width, height;  // as stored, before any orientation
    int orientation;         // a JPEG's Exif orientation, 1 to 8; 1 when it has none (and for PNG, WebP)
    int bytesPerPixel;       // of the decoded pixels: 1 (grey) to 8 (16-bit RGBA); what decoding will hold per pixel
    bool wholeImageDecode;   // progressive JPEG, interlaced PNG, lossless WebP: decoders keep the whole image while decoding
    // EXIF, XMP, IPTC or an ICC profile: a JPEG's APP1, APP2 or APP13 segment
    // before its pixels; a PNG's iCCP or eXIf chunk, or a text chunk that
    // holds XMP or a raw profile; a WebP's ICC, EXIF or XMP flag. A PNG's
    // chunks after its pixels are read only for a small image (no side over
    // kPreviewLongSide), the only kind that may be copied.
    bool carriesMetadata;
};

enum class HeaderCheck {
    Usable,      // the header is sound and within the limits
    NotFormat,   // the file is not the format its name says
    Damaged,     // the header cannot be read or makes no sense
    TooLarge,    // over kPreviewMaxPixels or kPreviewMaxSide
    Incomplete,  // the file is too short for the pixels its header promises
    ReadFailed,  // the file could not be read
};

// Reads the header of a file of `fileSize` bytes that should be `format`,
// through `read`, and checks it against the limits above. Usable fills
// `header`; every other result appends the reason to `reason` (one line, e.g.
// "not a PNG image", "too large: 65500 x 65500 pixels ..."), except
// ReadFailed, whose reason the reader's owner knows.
HeaderCheck ReadImageHeader(ImageReader read, void* context, uint64_t fileSize, PreviewFormat format,
                            ImageHeader* header, ByteBuf& reason);

// True when a small image (no side over kPreviewLongSide) may be copied byte
// for byte as its own preview: its file is not much larger than its pixels
// need, and it carries no metadata (a preview carries none; a copy would
// carry all of it, and an orientation or a profile that the pixels of an
// encoded preview have already taken in).
bool MayCopyAsPreview(const ImageHeader& header, uint64_t fileSize);
