// Reading the headers of JPEG, PNG and WebP files ourselves, before any
// decoder: see image_header.h for why.
#include "image_header.h"

#include <stdlib.h>
#include <string.h>

namespace {

struct Source {
    ImageReader read;
    void* context;
    uint64_t size;
    bool failed;  // a read failed (not merely the end of the file)
};

// Reads exactly `size` bytes at `offset`. False at the end of the file, or
// when a read failed (`failed` is then set).
bool ReadExact(Source* source, uint64_t offset, void* data, size_t size) {
    size_t total = 0;
    while (total < size) {
        size_t got = 0;
        if (!source->read(source->context, offset + total, static_cast<char*>(data) + total, size - total, &got)) {
            source->failed = true;
            return false;
        }
        if (got == 0) return false;
        total += got;
    }
    return true;
}

uint32_t Big16(const unsigned char* p) { return uint32_t(p[0]) << 8 | p[1]; }
uint32_t Big32(const unsigned char* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint32_t Little16(const unsigned char* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t Little24(const unsigned char* p) { return Little16(p) | uint32_t(p[2]) << 16; }
uint32_t Little32(const unsigned char* p) { return Little24(p) | uint32_t(p[3]) << 24; }

HeaderCheck Say(HeaderCheck result, ByteBuf& reason, const char* text) {
    reason.AppendZ(text);
    return result;
}

// The end of the file where more was expected: a failed read, or `result`.
HeaderCheck EndOfFile(const Source& source, HeaderCheck result, ByteBuf& reason, const char* text) {
    return source.failed ? HeaderCheck::ReadFailed : Say(result, reason, text);
}

void AppendSize(uint32_t width, uint32_t height, ByteBuf& reason) {
    AppendDecimal(reason, width);
    reason.Append(" x ");
    AppendDecimal(reason, height);
    reason.Append(" pixels");
}

// TooLarge (with its reason) when the size is over the limits, else Usable.
HeaderCheck CheckSize(uint32_t width, uint32_t height, ByteBuf& reason) {
    if (width <= kPreviewMaxSide && height <= kPreviewMaxSide && uint64_t(width) * height <= kPreviewMaxPixels)
        return HeaderCheck::Usable;
    reason.Append("too large: ");
    AppendSize(width, height, reason);
    reason.Append(" (the limit is ");
    AppendDecimal(reason, int64_t(kPreviewMaxPixels / 1000000));
    reason.Append(" megapixels, ");
    AppendDecimal(reason, kPreviewMaxSide);
    reason.Append(" pixels a side)");
    return HeaderCheck::TooLarge;
}

HeaderCheck Incomplete(uint32_t width, uint32_t height, ByteBuf& reason) {
    reason.Append("the image data is incomplete (the file is too short for ");
    AppendSize(width, height, reason);
    reason.Append(")");
    return HeaderCheck::Incomplete;
}

// ---- JPEG -----------------------------------------------------------------------------------

// The orientation tag (0x0112) of IFD0 in the body of an APP1 segment that
// holds an Exif block; 0 when it holds none.
int ExifOrientation(const unsigned char* body, size_t length) {
    if (length < 14 || memcmp(body, "Exif\0\0", 6) != 0) return 0;
    const unsigned char* tiff = body + 6;
    size_t tiffLength = length - 6;
    bool little = tiff[0] == 'I';
    if (!little && tiff[0] != 'M') return 0;
    auto get16 = [little](const unsigned char* p) { return little ? Little16(p) : Big16(p); };
    uint32_t ifd = little ? Little32(tiff + 4) : Big32(tiff + 4);
    if (ifd > tiffLength || tiffLength - ifd < 2) return 0;
    uint32_t count = get16(tiff + ifd);
    for (uint32_t i = 0; i < count && (tiffLength - ifd - 2) / 12 > i; ++i) {
        const unsigned char* entry = tiff + ifd + 2 + 12 * i;
        if (get16(entry) == 0x0112 && get16(entry + 2) == 3) return int(get16(entry + 8));
    }
    return 0;
}

// Moves `*at` to the next 0xFF byte, counting what it passes in `*skipped`.
// False at the end of the file, or once 64 KiB have been skipped: no decoder
// searches that long, and a file is not read to its end for a header.
bool SkipToMarker(Source* source, uint64_t* at, uint64_t* skipped) {
    unsigned char chunk[512];
    while (*skipped < 64 * 1024) {
        size_t got = 0;
        if (!source->read(source->context, *at, chunk, sizeof chunk, &got)) {
            source->failed = true;
            return false;
        }
        if (got == 0) return false;
        const void* found = memchr(chunk, 0xFF, got);
        size_t passed = found ? size_t(static_cast<const unsigned char*>(found) - chunk) : got;
        *at += passed;
        *skipped += passed;
        if (found) return true;
    }
    return false;
}

bool IsFrameMarker(unsigned marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Walks the segments from SOI to the first SOS: the frame header gives the
// size, an Exif block the orientation. The scan data after SOS must be able
// to hold the frame's blocks: a Huffman-coded block takes at least one bit
// (its DC code), so a file with fewer bytes after SOS than blocks / 8 has lost
// its data (or lies about its size). Arithmetic coding has no such floor.
HeaderCheck ReadJpeg(Source* source, ImageHeader* header, ByteBuf& reason) {
    unsigned char head[3];
    if (!ReadExact(source, 0, head, sizeof head) || head[0] != 0xFF || head[1] != 0xD8 || head[2] != 0xFF)
        return source->failed ? HeaderCheck::ReadFailed : Say(HeaderCheck::NotFormat, reason, "not a JPEG image");
    constexpr int kMaxSegments = 65536;  // far more than any photo has before its pixels
    const char* cutShort = "the JPEG header is cut short";
    uint64_t at = 2, blocks = 0, skipped = 0;
    bool haveFrame = false, huffman = false;
    int orientation = 0;
    for (int segment = 0; segment < kMaxSegments; ++segment) {
        unsigned char marker[4];
        if (!ReadExact(source, at, marker, 2)) {
            if (!haveFrame) return EndOfFile(*source, HeaderCheck::Damaged, reason, cutShort);
            return source->failed ? HeaderCheck::ReadFailed : Incomplete(header->width, header->height, reason);
        }
        if (marker[0] != 0xFF) {
            // Stray bytes between segments: decoders skip them to the next marker, and so do we.
            if (!SkipToMarker(source, &at, &skipped)) {
                if (source->failed) return HeaderCheck::ReadFailed;
                return Say(HeaderCheck::Damaged, reason, "the JPEG header is damaged");
            }
            continue;
        }
        unsigned code = marker[1];
        if (code == 0xFF) {  // a fill byte before the marker
            ++at;
            continue;
        }
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD8)) {  // markers without a length
            at += 2;
            continue;
        }
        if (code == 0xD9 || (code == 0xDA && !haveFrame)) {
            if (!haveFrame) return Say(HeaderCheck::Damaged, reason, "the JPEG has no frame header");
            return Incomplete(header->width, header->height, reason);
        }
        if (!ReadExact(source, at + 2, marker + 2, 2)) {
            if (!haveFrame) return EndOfFile(*source, HeaderCheck::Damaged, reason, cutShort);
            return source->failed ? HeaderCheck::ReadFailed : Incomplete(header->width, header->height, reason);
        }
        uint32_t length = Big16(marker + 2);
        if (length < 2) return Say(HeaderCheck::Damaged, reason, "the JPEG header is damaged");
        if (code == 0xDA) {
            if (huffman) {
                uint64_t dataStart = at + 2 + length;
                uint64_t data = source->size > dataStart ? source->size - dataStart : 0;
                if (data < (blocks + 7) / 8) return Incomplete(header->width, header->height, reason);
            }
            header->orientation = orientation >= 1 && orientation <= 8 ? orientation : 1;
            return HeaderCheck::Usable;
        }
        if (IsFrameMarker(code)) {
            if (haveFrame) return Say(HeaderCheck::Damaged, reason, "the JPEG has two frame headers");
            unsigned char frame[6 + 3 * 4];
            if (length < 2 + 6) return Say(HeaderCheck::Damaged, reason, "the JPEG header is damaged");
            if (!ReadExact(source, at + 4, frame, 6)) return EndOfFile(*source, HeaderCheck::Damaged, reason, cutShort);
            uint32_t height = Big16(frame + 1), width = Big16(frame + 3), components = frame[5];
            if (width == 0 || height == 0) return Say(HeaderCheck::Damaged, reason, "the JPEG header gives no size");
            HeaderCheck size = CheckSize(width, height, reason);
            if (size != HeaderCheck::Usable) return size;
            if (components < 1 || components > 4 || length < 2 + 6 + 3 * components)
                return Say(HeaderCheck::Damaged, reason, "the JPEG header is damaged");
            if (!ReadExact(source, at + 10, frame + 6, 3 * components))
                return EndOfFile(*source, HeaderCheck::Damaged, reason, cutShort);
            uint32_t maxH = 1, maxV = 1;
            for (uint32_t c = 0; c < components; ++c) {
                uint32_t h = frame[6 + 3 * c + 1] >> 4, v = frame[6 + 3 * c + 1] & 15;
                if (h < 1 || h > 4 || v < 1 || v > 4) return Say(HeaderCheck::Damaged, reason, "the JPEG header is damaged");
                if (h > maxH) maxH = h;
                if (v > maxV) maxV = v;
            }
            for (uint32_t c = 0; c < components; ++c) {
                uint64_t h = frame[6 + 3 * c + 1] >> 4, v = frame[6 + 3 * c + 1] & 15;
                uint64_t columns = (width * h + maxH - 1) / maxH, rows = (height * v + maxV - 1) / maxV;
                blocks += ((columns + 7) / 8) * ((rows + 7) / 8);
            }
            header->width = width;
            header->height = height;
            header->bytesPerPixel = int(components);
            header->wholeImageDecode = code == 0xC2 || code == 0xC6 || code == 0xCA || code == 0xCE;  // progressive
            huffman = code <= 0xC2;  // baseline, extended and progressive with Huffman codes
            haveFrame = true;
        } else if (code == 0xE1 || code == 0xE2 || code == 0xED) {
            header->carriesMetadata = true;  // Exif or XMP, an ICC profile, IPTC
        }
        if (code == 0xE1 && orientation == 0) {
            size_t bodyLength = length - 2;
            unsigned char* body = static_cast<unsigned char*>(malloc(bodyLength ? bodyLength : 1));
            if (!body) return Say(HeaderCheck::Damaged, reason, "not enough memory for the JPEG header");
            if (ReadExact(source, at + 4, body, bodyLength)) orientation = ExifOrientation(body, bodyLength);
            free(body);
            if (source->failed) return HeaderCheck::ReadFailed;
        }
        at += 2 + length;
    }
    return Say(HeaderCheck::Damaged, reason, "the JPEG header has too many segments");
}

// ---- PNG ------------------------------------------------------------------------------------

// True when a text chunk's keyword names metadata: XMP, or a raw profile as
// ImageMagick and exiftool store EXIF, IPTC, XMP or ICC ("Raw profile type exif").
bool IsMetadataKeyword(const unsigned char* keyword, size_t length) {
    static const char kXmp[] = "XML:com.adobe.xmp";
    static const char kRaw[] = "Raw profile type ";
    return (length >= sizeof kXmp - 1 && memcmp(keyword, kXmp, sizeof kXmp - 1) == 0) ||
           (length >= sizeof kRaw - 1 && memcmp(keyword, kRaw, sizeof kRaw - 1) == 0);
}

// Walks the chunks from `at` (the one after IHDR) for metadata: up to the
// first IDAT, or to IEND when `whole`. A damaged chunk list ends the walk
// quietly (the decoder will say what is wrong). False only when a read failed.
bool FindPngMetadata(Source* source, uint64_t at, bool whole, bool* found) {
    constexpr int kMaxChunks = 100000;  // a small image's file holds far fewer
    for (int chunk = 0; chunk < kMaxChunks && !*found; ++chunk) {
        unsigned char head[8 + 80];  // length, type, and a text chunk's keyword
        if (!ReadExact(source, at, head, 8)) return !source->failed;
        uint32_t length = Big32(head);
        const unsigned char* type = head + 4;
        if (memcmp(type, "IEND", 4) == 0 || (!whole && memcmp(type, "IDAT", 4) == 0)) return true;
        if (memcmp(type, "iCCP", 4) == 0 || memcmp(type, "eXIf", 4) == 0) {
            *found = true;
        } else if (memcmp(type, "tEXt", 4) == 0 || memcmp(type, "zTXt", 4) == 0 || memcmp(type, "iTXt", 4) == 0) {
            size_t keyword = length < 80 ? length : 80;
            if (!ReadExact(source, at + 8, head + 8, keyword)) return !source->failed;
            *found = IsMetadataKeyword(head + 8, keyword);
        }
        at += 12 + uint64_t(length);
    }
    return true;
}

// The IHDR chunk. Deflate packs at most 1032 bytes into one (a 258-byte match
// in two bits), so the file must hold at least 1/1032 of the pixel bytes.
HeaderCheck ReadPng(Source* source, ImageHeader* header, ByteBuf& reason) {
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    unsigned char head[8 + 8 + 13];
    if (!ReadExact(source, 0, head, 8) || memcmp(head, kSignature, 8) != 0)
        return source->failed ? HeaderCheck::ReadFailed : Say(HeaderCheck::NotFormat, reason, "not a PNG image");
    if (!ReadExact(source, 8, head + 8, sizeof head - 8))
        return EndOfFile(*source, HeaderCheck::Damaged, reason, "the PNG header is cut short");
    const unsigned char* ihdr = head + 16;
    uint32_t width = Big32(ihdr), height = Big32(ihdr + 4);
    unsigned depth = ihdr[8], colour = ihdr[9];
    bool depthFits = false;
    unsigned channels = 0;
    switch (colour) {
        case 0: channels = 1, depthFits = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16; break;
        case 2: channels = 3, depthFits = depth == 8 || depth == 16; break;
        case 3: channels = 1, depthFits = depth == 1 || depth == 2 || depth == 4 || depth == 8; break;
        case 4: channels = 2, depthFits = depth == 8 || depth == 16; break;
        case 6: channels = 4, depthFits = depth == 8 || depth == 16; break;
    }
    if (Big32(head + 8) != 13 || memcmp(head + 12, "IHDR", 4) != 0 || width == 0 || height == 0 ||
        width > 0x7FFFFFFFu || height > 0x7FFFFFFFu || !depthFits || ihdr[10] != 0 || ihdr[11] != 0 || ihdr[12] > 1)
        return Say(HeaderCheck::Damaged, reason, "the PNG header is damaged");
    HeaderCheck size = CheckSize(width, height, reason);
    if (size != HeaderCheck::Usable) return size;
    uint64_t pixelBytes = (uint64_t(width) * channels * depth + 7) / 8 * height;
    if (source->size < sizeof head + 4 + pixelBytes / 1032) return Incomplete(width, height, reason);
    header->width = width;
    header->height = height;
    header->bytesPerPixel = colour == 3 ? 4 : int(channels * (depth == 16 ? 2 : 1));
    header->wholeImageDecode = ihdr[12] == 1;  // Adam7
    bool small = width <= uint32_t(kPreviewLongSide) && height <= uint32_t(kPreviewLongSide);
    if (!FindPngMetadata(source, sizeof head + 4, small, &header->carriesMetadata)) return HeaderCheck::ReadFailed;
    return HeaderCheck::Usable;
}

// ---- WebP -----------------------------------------------------------------------------------

// Whether the image data after an extended header (the chunks from `at`:
// profile, animation, alpha, ...) is lossless (VP8L); false for lossy, and when
// the chunk list ends or is damaged before the image data.
bool IsLosslessAfterVp8x(Source* source, uint64_t at) {
    for (int chunk = 0; chunk < 64; ++chunk) {
        unsigned char head[8];
        if (!ReadExact(source, at, head, sizeof head)) return false;
        if (memcmp(head, "VP8L", 4) == 0) return true;
        if (memcmp(head, "VP8 ", 4) == 0) return false;
        at += 8 + ((uint64_t(Little32(head + 4)) + 1) & ~uint64_t(1));  // chunks are padded to an even size
    }
    return false;
}

// The first chunk: a lossy (VP8) or lossless (VP8L) frame, or the extended
// header (VP8X) with the canvas size.
HeaderCheck ReadWebp(Source* source, ImageHeader* header, ByteBuf& reason) {
    unsigned char head[12 + 8 + 10];
    if (!ReadExact(source, 0, head, 12) || memcmp(head, "RIFF", 4) != 0 || memcmp(head + 8, "WEBP", 4) != 0)
        return source->failed ? HeaderCheck::ReadFailed : Say(HeaderCheck::NotFormat, reason, "not a WebP image");
    if (!ReadExact(source, 12, head + 12, sizeof head - 12))
        return EndOfFile(*source, HeaderCheck::Damaged, reason, "the WebP header is cut short");
    const unsigned char* chunk = head + 12;
    const unsigned char* p = head + 20;
    uint32_t width = 0, height = 0;
    bool lossless = false, alpha = false;
    if (memcmp(chunk, "VP8 ", 4) == 0) {
        if ((p[0] & 1) == 0 && p[3] == 0x9D && p[4] == 0x01 && p[5] == 0x2A) {  // a key frame
            width = Little16(p + 6) & 0x3FFF;
            height = Little16(p + 8) & 0x3FFF;
        }
    } else if (memcmp(chunk, "VP8L", 4) == 0) {
        if (p[0] == 0x2F) {
            uint32_t bits = Little32(p + 1);
            width = (bits & 0x3FFF) + 1;
            height = ((bits >> 14) & 0x3FFF) + 1;
        }
        lossless = alpha = true;
    } else if (memcmp(chunk, "VP8X", 4) == 0) {
        width = Little24(p + 4) + 1;
        height = Little24(p + 7) + 1;
        header->carriesMetadata = (p[0] & (0x20 | 0x08 | 0x04)) != 0;  // ICC, EXIF, XMP
        alpha = (p[0] & 0x10) != 0;
        lossless = IsLosslessAfterVp8x(source, 12 + 8 + uint64_t(Little32(chunk + 4)));
        if (source->failed) return HeaderCheck::ReadFailed;
    }
    if (width == 0 || height == 0) return Say(HeaderCheck::Damaged, reason, "the WebP header is damaged");
    HeaderCheck size = CheckSize(width, height, reason);
    if (size != HeaderCheck::Usable) return size;
    header->width = width;
    header->height = height;
    header->bytesPerPixel = alpha ? 4 : 3;
    header->wholeImageDecode = lossless;  // libwebp holds a lossless image whole, whatever the scale
    return HeaderCheck::Usable;
}

}  // namespace

HeaderCheck ReadImageHeader(ImageReader read, void* context, uint64_t fileSize, PreviewFormat format,
                            ImageHeader* header, ByteBuf& reason) {
    *header = ImageHeader{0, 0, 1, 4, false, false};
    Source source{read, context, fileSize, false};
    switch (format) {
        case PreviewFormat::Jpeg: return ReadJpeg(&source, header, reason);
        case PreviewFormat::Png: return ReadPng(&source, header, reason);
        case PreviewFormat::Webp: return ReadWebp(&source, header, reason);
    }
    return HeaderCheck::Damaged;
}

bool MayCopyAsPreview(const ImageHeader& header, uint64_t fileSize) {
    return header.width <= uint32_t(kPreviewLongSide) && header.height <= uint32_t(kPreviewLongSide) &&
           !header.carriesMetadata &&
           fileSize <= uint64_t(header.width) * header.height * kCopyBytesPerPixel + kCopyAllowance;
}
