// The header check that runs before any decoder: sizes read from crafted
// headers, and what is refused (and why) without decoding.
#include <gtest/gtest.h>

#include <string>

#include "previews/image_header.h"

namespace {

bool ReadFromString(void* context, uint64_t offset, void* data, size_t size, size_t* got) {
    const std::string* bytes = static_cast<const std::string*>(context);
    *got = offset < bytes->size() ? std::min(size, size_t(bytes->size() - offset)) : 0;
    if (*got) memcpy(data, bytes->data() + offset, *got);
    return true;
}

std::string Big16(int v) { return {char(v >> 8), char(v)}; }

// A JPEG head: SOI, the given segments, a frame of `width` x `height` with
// three components (2x2, 1x1, 1x1), SOS, then `dataBytes` of scan data.
std::string Jpeg(const std::string& before, int width, int height, size_t dataBytes, char frame = '\xC0') {
    std::string sof = std::string("\xFF") + frame + Big16(17) + '\x08' + Big16(height) + Big16(width) + '\x03' +
                      std::string("\x01\x22\x00\x02\x11\x01\x03\x11\x01", 9);
    std::string sos = std::string("\xFF\xDA") + Big16(12) + std::string("\x03\x01\x00\x02\x11\x03\x11\x00\x3F\x00", 10);
    return std::string("\xFF\xD8", 2) + before + sof + sos + std::string(dataBytes, '\x55') + "\xFF\xD9";
}

std::string Exif(int orientation) {
    std::string tiff = std::string("MM\0\x2A\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01", 18) + Big16(orientation) +
                       std::string(6, '\0');
    std::string body = std::string("Exif\0\0", 6) + tiff;
    return std::string("\xFF\xE1") + Big16(int(body.size()) + 2) + body;
}

std::string Png(uint32_t width, uint32_t height, int depth, int colour, size_t after) {
    std::string ihdr = std::string("\0\0\0\x0DIHDR", 8);
    for (uint32_t v : {width, height}) ihdr += {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    ihdr += {char(depth), char(colour), 0, 0, 0, 0, 0, 0, 0};
    return "\x89PNG\r\n\x1a\n" + ihdr + std::string(after, '\0');
}

std::string Webp(const std::string& chunk) { return "RIFF" + std::string(4, '\0') + "WEBP" + chunk + std::string(8, '\0'); }

TEST(ImageHeader, SizesAndRefusals) {
    struct Case {
        const char* what;
        PreviewFormat format;
        std::string bytes;
        HeaderCheck check;
        uint32_t width, height;
        int orientation;
        const char* reason;  // its start
    } cases[] = {
        {"baseline", PreviewFormat::Jpeg, Jpeg("", 640, 480, 20000), HeaderCheck::Usable, 640, 480, 1, ""},
        {"Exif turned, fill bytes", PreviewFormat::Jpeg, Jpeg(Exif(6) + "\xFF\xFF", 640, 480, 20000), HeaderCheck::Usable, 640, 480, 6, ""},
        {"stray bytes", PreviewFormat::Jpeg, Jpeg(Exif(1) + std::string("\0\0\0", 3), 64, 64, 100), HeaderCheck::Usable, 64, 64, 1, ""},
        {"too little data", PreviewFormat::Jpeg, Jpeg("", 640, 480, 100), HeaderCheck::Incomplete, 0, 0, 1, "the image data is incomplete"},
        {"arithmetic: no floor", PreviewFormat::Jpeg, Jpeg("", 640, 480, 10, '\xC9'), HeaderCheck::Usable, 640, 480, 1, ""},
        {"too large", PreviewFormat::Jpeg, Jpeg("", 65500, 65500, 10), HeaderCheck::TooLarge, 0, 0, 1, "too large: 65500 x 65500 pixels"},
        {"no height", PreviewFormat::Jpeg, Jpeg("", 640, 0, 20000), HeaderCheck::Damaged, 0, 0, 1, "the JPEG header gives no size"},
        {"scan first", PreviewFormat::Jpeg, std::string("\xFF\xD8\xFF\xDA\x00\x02", 6), HeaderCheck::Damaged, 0, 0, 1, "the JPEG has no frame header"},
        {"cut in the header", PreviewFormat::Jpeg, Jpeg("", 640, 480, 0).substr(0, 12), HeaderCheck::Damaged, 0, 0, 1, "the JPEG header is cut short"},
        {"GIF", PreviewFormat::Jpeg, "GIF89a", HeaderCheck::NotFormat, 0, 0, 1, "not a JPEG image"},
        {"PNG", PreviewFormat::Png, Png(1000, 800, 8, 6, 4000), HeaderCheck::Usable, 1000, 800, 1, ""},
        {"PNG short of data", PreviewFormat::Png, Png(12000, 12000, 16, 6, 4000), HeaderCheck::Incomplete, 0, 0, 1, "the image data is incomplete"},
        {"PNG over the limit", PreviewFormat::Png, Png(999999, 500, 16, 6, 4000), HeaderCheck::TooLarge, 0, 0, 1, "too large"},
        {"PNG side over the limit", PreviewFormat::Png, Png(65536, 1, 8, 0, 4000), HeaderCheck::TooLarge, 0, 0, 1, "too large"},
        {"PNG side at the limit", PreviewFormat::Png, Png(65535, 2, 8, 0, 4000), HeaderCheck::Usable, 65535, 2, 1, ""},
        {"PNG of 160 megapixels", PreviewFormat::Png, Png(16000, 10000, 8, 0, 160000), HeaderCheck::Usable, 16000, 10000, 1, ""},
        {"PNG a row over 160 megapixels", PreviewFormat::Png, Png(16000, 10001, 8, 0, 160000), HeaderCheck::TooLarge, 0, 0, 1, "too large"},
        {"PNG width over 2^31", PreviewFormat::Png, Png(0x80000000u, 1, 8, 0, 4000), HeaderCheck::Damaged, 0, 0, 1, "the PNG header is damaged"},
        {"PNG 16-bit palette", PreviewFormat::Png, Png(100, 100, 16, 3, 4000), HeaderCheck::Damaged, 0, 0, 1, "the PNG header is damaged"},
        {"SVG", PreviewFormat::Png, "<svg xmlns='http://www.w3.org/2000/svg'/>", HeaderCheck::NotFormat, 0, 0, 1, "not a PNG image"},
        {"WebP lossy", PreviewFormat::Webp, Webp(std::string("VP8 \0\0\0\0\x10\x02\0\x9D\x01\x2A\x20\x03\x58\x02", 18)), HeaderCheck::Usable, 800, 600, 1, ""},
        {"WebP lossless", PreviewFormat::Webp, Webp(std::string("VP8L\0\0\0\0\x2F\x1F\xC3\x95\x00", 13)), HeaderCheck::Usable, 800, 600, 1, ""},
        {"WebP extended", PreviewFormat::Webp, Webp(std::string("VP8X\0\0\0\0\0\0\0\0\x1F\x03\0\x57\x02\0", 18)), HeaderCheck::Usable, 800, 600, 1, ""},
        {"WebP canvas too large", PreviewFormat::Webp, Webp(std::string("VP8X\0\0\0\0\0\0\0\0\xFF\xFF\0\xFF\xFF\0", 18)), HeaderCheck::TooLarge, 0, 0, 1, "too large: 65536 x 65536"},
        {"WAVE", PreviewFormat::Webp, Webp("").replace(8, 4, "WAVE"), HeaderCheck::NotFormat, 0, 0, 1, "not a WebP image"},
        // Each byte of a signature counts; the limits hold on both sides, at, below and above.
        {"JPEG third byte", PreviewFormat::Jpeg, Jpeg("", 64, 64, 100).replace(2, 1, "\x00"), HeaderCheck::NotFormat, 0, 0, 1, "not a JPEG image"},
        {"PNG fifth byte", PreviewFormat::Png, Png(10, 10, 8, 0, 400).replace(4, 1, "\x0A"), HeaderCheck::NotFormat, 0, 0, 1, "not a PNG image"},
        {"PNG last byte", PreviewFormat::Png, Png(10, 10, 8, 0, 400).replace(7, 1, "\x00"), HeaderCheck::NotFormat, 0, 0, 1, "not a PNG image"},
        {"PNG height at the limit", PreviewFormat::Png, Png(2, 65535, 8, 0, 4000), HeaderCheck::Usable, 2, 65535, 1, ""},
        {"PNG height over the limit", PreviewFormat::Png, Png(1, 65536, 8, 0, 4000), HeaderCheck::TooLarge, 0, 0, 1, "too large"},
        {"progressive (Huffman): a floor", PreviewFormat::Jpeg, Jpeg("", 640, 480, 100, '\xC2'), HeaderCheck::Incomplete, 0, 0, 1, "the image data is incomplete"},
        {"lossless C3: no floor", PreviewFormat::Jpeg, Jpeg("", 640, 480, 10, '\xC3'), HeaderCheck::Usable, 640, 480, 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImageHeader header;
        char storage[256];
        ByteBuf reason(storage);
        std::string bytes = c.bytes;
        EXPECT_EQ(ReadImageHeader(ReadFromString, &bytes, bytes.size(), c.format, &header, reason), c.check);
        EXPECT_EQ(std::string(reason.buf, reason.len).substr(0, strlen(c.reason)), c.reason) << reason.buf;
        if (c.check != HeaderCheck::Usable) continue;
        EXPECT_EQ(header.width, c.width);
        EXPECT_EQ(header.height, c.height);
        EXPECT_EQ(header.orientation, c.orientation);
    }
}

TEST(ImageHeader, CopyOnlyCompactSmallImages) {
    ImageHeader small{400, 300, 1, 3, false, false}, large{481, 300, 1, 3, false, false}, tagged{400, 300, 1, 3, false, true};
    EXPECT_TRUE(MayCopyAsPreview(small, 400 * 300 * 8 + 128 * 1024));
    EXPECT_FALSE(MayCopyAsPreview(small, 400 * 300 * 8 + 128 * 1024 + 1));
    EXPECT_FALSE(MayCopyAsPreview(large, 1000));
    ImageHeader tallest{300, 480, 1, 3, false, false}, taller{300, 481, 1, 3, false, false};  // the height side too
    EXPECT_TRUE(MayCopyAsPreview(tallest, 1000));
    EXPECT_FALSE(MayCopyAsPreview(taller, 1000));
    EXPECT_FALSE(MayCopyAsPreview(tagged, 1000));
}

// A chunk of a PNG (the CRC is not checked here).
std::string Chunk(const std::string& type, const std::string& body) {
    uint32_t n = uint32_t(body.size());
    return std::string{char(n >> 24), char(n >> 16), char(n >> 8), char(n)} + type + body + "CRC!";
}

TEST(ImageHeader, MetadataAndWholeImageDecodes) {
    std::string ihdrSmall = Png(400, 300, 8, 2, 0).substr(0, 29) + "CRC!", ihdrLarge = Png(4000, 3000, 8, 2, 0).substr(0, 29) + "CRC!";
    std::string idat = Chunk("IDAT", std::string(40000, 'x')), iend = Chunk("IEND", "");
    struct Case {
        const char* what;
        PreviewFormat format;
        std::string bytes;
        bool metadata, whole;
    } cases[] = {
        {"JPEG plain", PreviewFormat::Jpeg, Jpeg("", 640, 480, 20000), false, false},
        {"JPEG Exif", PreviewFormat::Jpeg, Jpeg(Exif(1), 640, 480, 20000), true, false},
        {"JPEG ICC", PreviewFormat::Jpeg, Jpeg("\xFF\xE2" + Big16(16) + std::string("ICC_PROFILE\0\x01\x01", 14), 640, 480, 20000), true, false},
        {"JPEG IPTC", PreviewFormat::Jpeg, Jpeg("\xFF\xED" + Big16(16) + std::string("Photoshop 3.0\0", 14), 640, 480, 20000), true, false},
        {"JPEG comment", PreviewFormat::Jpeg, Jpeg("\xFF\xFE" + Big16(7) + "hello", 640, 480, 20000), false, false},
        {"JPEG progressive", PreviewFormat::Jpeg, Jpeg("", 640, 480, 20000, '\xC2'), false, true},
        {"JPEG extended, not progressive", PreviewFormat::Jpeg, Jpeg("", 640, 480, 20000, '\xC1'), false, false},
        {"JPEG progressive, arithmetic", PreviewFormat::Jpeg, Jpeg("", 640, 480, 20000, '\xCE'), false, true},
        {"PNG profile", PreviewFormat::Png, ihdrLarge + Chunk("iCCP", "x") + idat + iend, true, false},
        {"PNG comment", PreviewFormat::Png, ihdrSmall + Chunk("tEXt", std::string("Comment\0hi", 10)) + idat + iend, false, false},
        {"PNG XMP after the pixels", PreviewFormat::Png, ihdrSmall + idat + Chunk("iTXt", std::string("XML:com.adobe.xmp\0", 18)) + iend, true, false},
        {"PNG raw EXIF", PreviewFormat::Png, ihdrSmall + idat + Chunk("zTXt", std::string("Raw profile type exif\0", 22)) + iend, true, false},
        {"PNG large: after the pixels unread", PreviewFormat::Png, ihdrLarge + idat + Chunk("eXIf", "MM") + iend, false, false},
        {"WebP EXIF flag, lossy", PreviewFormat::Webp, Webp(std::string("VP8X\x0A\0\0\0\x08\0\0\0\x1F\x03\0\x57\x02\0VP8 ", 22)), true, false},
        {"WebP lossless behind a profile", PreviewFormat::Webp,
         Webp(std::string("VP8X\x0A\0\0\0\x20\0\0\0\x1F\x03\0\x57\x02\0ICCP\x03\0\0\0abc\0VP8L", 34)), true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImageHeader header;
        char storage[256];
        ByteBuf reason(storage);
        std::string bytes = c.bytes;
        ASSERT_EQ(ReadImageHeader(ReadFromString, &bytes, bytes.size(), c.format, &header, reason), HeaderCheck::Usable) << reason.buf;
        EXPECT_EQ(header.carriesMetadata, c.metadata);
        EXPECT_EQ(header.wholeImageDecode, c.whole);
    }
}

}  // namespace
