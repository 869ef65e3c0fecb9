// quimbo-build --previews on real images that the tests make with ImageMagick:
// sizes, byte-for-byte copies, orientation, colour, alpha, names that get no
// preview, damaged images, the up-to-date rule, and files that cannot be written.
//
// The same program runs natively and, for the Windows build, under Wine:
// with QUIMBO_PREVIEWS_EXE (quimbo-build.exe) and QUIMBO_PREVIEWS_WINE_RUN
// (cmake/wine-run) set, every case runs quimbo-build.exe on the same folders
// through Wine's drive Z:, and the results are checked here natively.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <chrono>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "previews/previews.h"
#include "tests/cli/cli_run.h"

#include <vips/vips.h>
#include <vips/vector.h>

namespace fs = std::filesystem;

namespace {

// ---- Running quimbo-build ---------------------------------------------------------------

struct Program {
    std::string exe = QUIMBO_BUILD_EXE;
    std::string wineRun;  // empty: native
};

const Program& UnderTest() {
    static Program program = [] {
        Program p;
        if (const char* exe = getenv("QUIMBO_PREVIEWS_EXE")) p.exe = exe;
        if (const char* wine = getenv("QUIMBO_PREVIEWS_WINE_RUN")) p.wineRun = wine;
        return p;
    }();
    return program;
}
using clitest::ArgPath;
using clitest::MakeImage;
using clitest::Quote;
using clitest::ReadAll;
using clitest::UnderWine;

struct RunResult {
    int exitCode;
    std::string out, err;  // CR removed (the Windows build writes CR LF)
};

// What a run cost: the largest resident size of the program (and of Wine's
// processes under it), and the time it took.
struct Cost {
    long maxResidentMb = 0;
    double seconds = 0;
};

// Runs `command` with sh and waits for it, measuring it (wait4's rusage
// covers the processes below it that were waited for).
int RunMeasured(const std::string& command, Cost* cost) {
    auto start = std::chrono::steady_clock::now();
    pid_t child = fork();
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = -1;
    struct rusage usage = {};
    while (child > 0 && wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    cost->maxResidentMb = usage.ru_maxrss / 1024;
    cost->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return status;
}

// Runs quimbo-build with `options` on `folder`; `asUser` runs it as another
// user (POSIX); `cost`, when given, gets what the run cost, and the run is
// then stopped after `limitSeconds` (exit 124).
RunResult RunPreviews(const std::string& options, const fs::path& folder, const std::string& asUser = "",
                      Cost* cost = nullptr, int limitSeconds = 120, const std::string& environment = "") {
    fs::path errFile = fs::path(::testing::TempDir()) / "previews.err";
    std::string command = "env LC_ALL=C LANG= " + environment + " ";
    if (cost) command += "timeout " + std::to_string(limitSeconds) + " ";
    if (!asUser.empty()) command += "setpriv --reuid=" + asUser + " --regid=" + asUser + " --clear-groups ";  // numeric ids
    if (UnderWine()) command += Quote(UnderTest().wineRun) + " ";
    fs::path outFile = fs::path(::testing::TempDir()) / "previews.out";
    command += Quote(UnderTest().exe) + " --lang en " + options + " " + Quote(ArgPath(folder)) + " >" +
               Quote(outFile.string()) + " 2>" + Quote(errFile.string());
    Cost unused;
    int status = cost ? RunMeasured(command, cost) : std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, clitest::WithoutCr(ReadAll(outFile)),
            clitest::WithoutCr(ReadAll(errFile))};
}

// ---- Images ---------------------------------------------------------------------------------

fs::path NewFolder(const std::string& name) {
    fs::path dir = fs::path(::testing::TempDir()) / ("previews_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

void Shell(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

struct Pixels {
    int width = 0, height = 0;
    std::vector<unsigned char> rgba;
    const unsigned char* At(int x, int y) const { return &rgba[(size_t(y) * width + x) * 4]; }
};

Pixels ReadPixels(const fs::path& path) {
    Pixels p;
    std::string size;
    {
        FILE* pipe = popen(("identify -format '%w %h' " + Quote(path.string() + "[0]") + " 2>/dev/null").c_str(), "r");
        char line[64] = {};
        if (fgets(line, sizeof line, pipe)) size = line;
        pclose(pipe);
    }
    if (sscanf(size.c_str(), "%d %d", &p.width, &p.height) != 2) return Pixels{};
    p.rgba.resize(size_t(p.width) * p.height * 4);
    FILE* pipe = popen(("convert " + Quote(path.string() + "[0]") + " -depth 8 rgba:- 2>/dev/null").c_str(), "r");
    size_t got = fread(p.rgba.data(), 1, p.rgba.size(), pipe);
    pclose(pipe);
    if (got != p.rgba.size()) return Pixels{};
    return p;
}

std::string Identify(const fs::path& path, const std::string& format) {
    FILE* pipe = popen(("identify -format " + Quote(format) + " " + Quote(path.string() + "[0]") + " 2>/dev/null").c_str(), "r");
    std::string out;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
    pclose(pipe);
    return out;
}

// Puts an EXIF block with only the orientation tag right after the JPEG's SOI marker.
void SetJpegOrientation(const fs::path& path, int orientation) {
    std::string jpeg = ReadAll(path);
    ASSERT_EQ(jpeg.substr(0, 2), "\xFF\xD8");
    const unsigned char tiff[] = {'I', 'I', 42, 0, 8, 0, 0, 0,                    // little-endian, IFD at 8
                                  1, 0,                                           // one entry
                                  0x12, 0x01, 3, 0, 1, 0, 0, 0,                   // 0x0112 SHORT x1
                                  static_cast<unsigned char>(orientation), 0, 0, 0,
                                  0, 0, 0, 0};                                    // no next IFD
    std::string app1 = std::string("Exif\0\0", 6) + std::string(reinterpret_cast<const char*>(tiff), sizeof tiff);
    size_t length = app1.size() + 2;
    std::string segment = std::string("\xFF\xE1") + char(length >> 8) + char(length & 0xFF) + app1;
    std::ofstream(path, std::ios::binary) << jpeg.substr(0, 2) + segment + jpeg.substr(2);
}

// Puts an XMP block (APP1) and an IPTC record (APP13, as Photoshop stores it)
// right after the JPEG's SOI marker.
void AddJpegXmpAndIptc(const fs::path& path) {
    std::string jpeg = ReadAll(path);
    ASSERT_EQ(jpeg.substr(0, 2), "\xFF\xD8");
    auto segment = [](char marker, const std::string& body) {
        size_t length = body.size() + 2;
        return std::string("\xFF") + marker + char(length >> 8) + char(length & 0xFF) + body;
    };
    std::string xmp = std::string("http://ns.adobe.com/xap/1.0/\0", 29) +
                      "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
                      "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:creator>Someone</dc:creator>"
                      "</rdf:Description></rdf:RDF></x:xmpmeta>";
    std::string record = std::string("\x1C\x02\x78\x00\x07", 5) + "Caption";  // 2:120, the caption
    std::string iptc = std::string("Photoshop 3.0\0" "8BIM\x04\x04\0\0\0\0\0", 26) + char(record.size()) + record + '\0';
    std::ofstream(path, std::ios::binary) << jpeg.substr(0, 2) + segment('\xE1', xmp) + segment('\xED', iptc) + jpeg.substr(2);
}

// The metadata blocks that libvips finds in an image: "exif icc iptc xmp", in that order.
std::string MetadataIn(const fs::path& path) {
    FILE* pipe = popen(("vipsheader -a " + Quote(path.string()) + " 2>/dev/null").c_str(), "r");
    std::vector<std::string> found;
    char line[512];
    while (fgets(line, sizeof line, pipe)) {
        for (std::string kind : {"exif", "icc-profile", "iptc", "xmp"})
            if (std::string(line).rfind(kind + "-data: ", 0) == 0) found.push_back(kind == "icc-profile" ? "icc" : kind);
    }
    pclose(pipe);
    std::sort(found.begin(), found.end());
    std::string kinds;
    for (const std::string& kind : found) kinds += (kinds.empty() ? "" : " ") + kind;
    return kinds;
}

int Difference(const unsigned char* a, const unsigned char* b) {
    int worst = 0;
    for (int i = 0; i < 3; ++i) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

std::map<std::string, fs::file_time_type> Times(const fs::path& dir) {
    std::map<std::string, fs::file_time_type> times;
    for (const auto& entry : fs::directory_iterator(dir)) times[entry.path().filename().string()] = entry.last_write_time();
    return times;
}

std::vector<std::string> Leftovers(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        std::string name = entry.path().filename().string();
        if (name.find(".quimbo-tmp") != std::string::npos) names.push_back(name);
    }
    return names;
}

void WriteFile(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// A PNG written here: IHDR as given, then `data` deflated into one IDAT (or,
// with `idat` set, those bytes as the IDAT as they are), then IEND.
std::string Png(uint32_t width, uint32_t height, int depth, int colour, const std::string& data,
                const std::string* idat = nullptr) {
    auto chunk = [](const std::string& type, const std::string& body) {
        std::string out;
        for (int shift = 24; shift >= 0; shift -= 8) out += char(body.size() >> shift);
        std::string typed = type + body;
        uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(typed.data()), typed.size());
        out += typed;
        for (int shift = 24; shift >= 0; shift -= 8) out += char(crc >> shift);
        return out;
    };
    std::string ihdr;
    for (uint32_t value : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8) ihdr += char(value >> shift);
    ihdr += {char(depth), char(colour), 0, 0, 0};
    std::string packed;
    if (idat) {
        packed = *idat;
    } else {
        uLongf size = compressBound(data.size());
        packed.resize(size);
        compress2(reinterpret_cast<Bytef*>(&packed[0]), &size, reinterpret_cast<const Bytef*>(data.data()), data.size(), 9);
        packed.resize(size);
    }
    return "\x89PNG\r\n\x1a\n" + chunk("IHDR", ihdr) + chunk("IDAT", packed) + chunk("IEND", "");
}

// Where a JPEG's scan data starts (after its first SOS segment).
size_t JpegDataStart(const std::string& jpeg) {
    size_t sos = jpeg.find("\xFF\xDA");
    return sos + 2 + (size_t(uint8_t(jpeg[sos + 2])) << 8 | uint8_t(jpeg[sos + 3]));
}

// The JPEG with the size in its frame header changed: a header that lies.
std::string WithJpegSize(std::string jpeg, int width, int height) {
    size_t sof = jpeg.find("\xFF\xC0");
    jpeg[sof + 5] = char(height >> 8), jpeg[sof + 6] = char(height), jpeg[sof + 7] = char(width >> 8), jpeg[sof + 8] = char(width);
    return jpeg;
}

// The "no preview for NAME: ..." line of `err`, without its prefix; "" when there is none.
std::string ReasonFor(const std::string& err, const std::string& name) {
    std::string start = "quimbo-build: no preview for " + name + ": ";
    size_t at = err.find(start);
    if (at == std::string::npos) return "";
    at += start.size();
    return err.substr(at, err.find('\n', at) - at);
}

// ---- Tests ------------------------------------------------------------------------------------

TEST(PreviewNames, UnderscoreTBeforeTheOwnExtensionOnly) {
    struct Case {
        const char* name;
        const char* extension;
        const char* preview;  // nullptr: no preview
    } cases[] = {
        {"Dog.jpg", "jpg", "Dog_t.jpg"},
        {"Urlaub 2023.JPEG", "jpeg", "Urlaub 2023_t.JPEG"},  // the letters stay as they are
        {"a.b.Png", "png", "a.b_t.Png"},
        {"pic_t.old.jpg", "jpg", "pic_t.old_t.jpg"},  // "_t" inside the name is no preview mark
        {"t.jpg", "jpg", "t_t.jpg"},
        {"x_t.jpg", "jpg", nullptr},
        {"x_T.JPG", "jpg", nullptr},
        {"_t.webp", "webp", nullptr},
        {"x.jpgfoo", "jpg", nullptr},  // matched "*.jpg" only through its short name
        {"x.jpeg", "jpg", nullptr},
        {"noextension", "jpg", nullptr},
    };
    for (const Case& c : cases) {
        char storage[64];
        PathBuf preview(storage);
        bool made = FormPreviewName(c.name, strlen(c.name), c.extension, preview);
        EXPECT_EQ(made, c.preview != nullptr) << c.name;
        if (made && c.preview) EXPECT_STREQ(preview.buf, c.preview) << c.name;
    }
    char tiny[8];
    PathBuf small(tiny);
    EXPECT_FALSE(FormPreviewName("abcdef.jpg", 10, "jpg", small));  // too long for the buffer: no preview, no cut name
}

TEST(Previews, SizeFormatAndNameOfEachKind) {
    fs::path dir = NewFolder("sizes");
    struct Case {
        std::string name, source, preview;
        int width, height;     // of the preview; 0: none is made
        std::string format;    // ImageMagick's name for it; "copy": the image itself, byte for byte
    } cases[] = {
        {"Land.jpg", "-size 1600x1200 gradient:navy-gold", "Land_t.jpg", 480, 360, "JPEG"},
        {"Port.JPG", "-size 900x1350 gradient:red-blue", "Port_t.JPG", 320, 480, "JPEG"},
        {"Square.jpeg", "-size 1000x1000 plasma:", "Square_t.jpeg", 480, 480, "JPEG"},
        {"Round.png", "-size 1001x999 gradient:white-black", "Round_t.png", 480, 479, "PNG"},
        {"Stripe.PNG", "-size 2000x3 xc:teal", "Stripe_t.PNG", 480, 1, "PNG"},  // never 0 pixels high
        {"small.png", "-size 300x200 gradient:", "small_t.png", 300, 200, "copy"},
        {"exact.jpg", "-size 480x320 gradient:", "exact_t.jpg", 480, 320, "copy"},
        {"x_t.jpg", "-size 900x900 xc:gray", "x_t_t.jpg", 0, 0, ""},
        {"y_T.png", "-size 900x900 xc:gray", "y_T_t.png", 0, 0, ""},
        {"anim.gif", "-size 900x900 xc:gray", "anim_t.gif", 0, 0, ""},
        {"photo.jfif", "-size 900x900 xc:gray", "photo_t.jfif", 0, 0, ""},
        {"favicon.ico", "-size 64x64 xc:gray", "favicon_t.ico", 0, 0, ""},
    };
    for (const Case& c : cases) {
        bool jpeg = c.name.find(".jp") != std::string::npos || c.name.find(".jfif") != std::string::npos;
        std::string target = (c.name.find(".jfif") != std::string::npos ? "jpg:" : "") + (dir / c.name).string();
        Shell("convert " + c.source + (jpeg ? " -quality 90 " : " ") + Quote(target));
    }

    RunResult plain = RunPreviews("", dir);
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_FALSE(fs::exists(dir / "Land_t.jpg")) << "previews only with the option";

    RunResult run = RunPreviews("--previews", dir);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "quimbo-build: previews: made 7, up to date 0, failed 0\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.width == 0) {
            EXPECT_FALSE(fs::exists(dir / c.preview));
            continue;
        }
        ASSERT_TRUE(fs::exists(dir / c.preview));
        if (c.format == "copy") {
            EXPECT_EQ(ReadAll(dir / c.preview), ReadAll(dir / c.name));
            continue;
        }
        EXPECT_EQ(Identify(dir / c.preview, "%m %w %h"), c.format + " " + std::to_string(c.width) + " " +
                                                             std::to_string(c.height));
        if (c.format == "JPEG" && !UnderWine()) EXPECT_EQ(Identify(dir / c.preview, "%Q"), "70");
        if (c.format == "JPEG" && UnderWine() && c.name == "Land.jpg")  // a limit of Wine, not of the program
            std::cout << "note: Wine's JPEG encoder ignores ImageQuality; estimated quality "
                      << Identify(dir / c.preview, "%Q") << " (libjpeg's default)\n";
    }
    EXPECT_EQ(Leftovers(dir), std::vector<std::string>{});
}

TEST(Previews, FineDetailIsAveragedNotSampled) {
    // One-pixel black and white columns: any reduction that picks pixels
    // instead of averaging them shows stripes or a flat black or white.
    fs::path dir = NewFolder("stripes");
    MakeImage(dir / "stripes.png", "-size 1x1 xc:black xc:white +append -write mpr:pair +delete -size 1920x1080 tile:mpr:pair");
    RunResult run = RunPreviews("--previews", dir);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Pixels p = ReadPixels(dir / "stripes_t.png");
    ASSERT_EQ(p.width, 480);
    ASSERT_EQ(p.height, 270);
    int low = 255, high = 0;
    for (int y = 2; y < p.height - 2; y += 7) {
        for (int x = 2; x < p.width - 2; ++x) {
            low = std::min(low, int(p.At(x, y)[1]));
            high = std::max(high, int(p.At(x, y)[1]));
        }
    }
    EXPECT_GE(low, 108);
    EXPECT_LE(high, 148);
}

TEST(Previews, ExifOrientationIsAppliedToThePixels) {
    // Four coloured quarters, so that every turn and mirror shows.
    fs::path dir = NewFolder("orientation");
    const std::string quarters =
        "-size 400x300 xc:red xc:lime +append \\( -size 400x300 xc:blue xc:white +append \\) -append -quality 95";
    MakeImage(dir / "original.png", quarters);
    Pixels original = ReadPixels(dir / "original.png");
    ASSERT_EQ(original.width, 800);
    fs::remove(dir / "original.png");
    struct Case {
        const char* name;
        int orientation;
    } cases[] = {{"one.jpg", 1}, {"two.jpg", 2}, {"three.jpg", 3}, {"four.jpg", 4},
                 {"five.jpg", 5}, {"six.jpg", 6}, {"seven.jpg", 7}, {"eight.jpg", 8}};
    for (const Case& c : cases) {
        MakeImage(dir / c.name, quarters);
        SetJpegOrientation(dir / c.name, c.orientation);
    }
    RunResult run = RunPreviews("--previews", dir);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string preview = c.name;
        preview.insert(preview.find('.'), "_t");
        Pixels p = ReadPixels(dir / preview);
        bool turned = c.orientation >= 5;
        ASSERT_EQ(p.width, turned ? 360 : 480);
        ASSERT_EQ(p.height, turned ? 480 : 360);
        // No orientation left in the preview that would turn it once more.
        std::string tag = Identify(dir / preview, "%[EXIF:Orientation]");
        EXPECT_TRUE(tag == "" || tag == "1") << tag;
        // Each sample of the upright preview against the original turned by hand.
        for (int gy = 1; gy < 8; ++gy) {
            for (int gx = 1; gx < 8; ++gx) {
                if (gx == 4 || gy == 4) continue;  // the edges between the quarters are blurred
                int x = gx * p.width / 8, y = gy * p.height / 8;
                double u = (x + 0.5) / p.width, v = (y + 0.5) / p.height;  // in the upright image
                double ou = u, ov = v;                                        // in the stored image
                switch (c.orientation) {
                    case 2: ou = 1 - u; break;              // mirrored left to right
                    case 3: ou = 1 - u, ov = 1 - v; break;  // shown turned half round
                    case 4: ov = 1 - v; break;              // mirrored top to bottom
                    case 5: ou = v, ov = u; break;          // mirrored along the diagonal from the top left
                    case 6: ou = v, ov = 1 - u; break;      // shown turned a quarter clockwise
                    case 7: ou = 1 - v, ov = 1 - u; break;  // mirrored along the other diagonal
                    case 8: ou = 1 - v, ov = u; break;      // shown turned a quarter anticlockwise
                }
                const unsigned char* want = original.At(int(ou * original.width), int(ov * original.height));
                EXPECT_LE(Difference(p.At(x, y), want), 40) << "at " << x << "," << y;
            }
        }
    }
}

TEST(Previews, CmykComesOutInTheRightColoursAndAlphaIsKept) {
    fs::path dir = NewFolder("colour");
    // Red, green, blue, white and black blocks stored as CMYK.
    MakeImage(dir / "cmyk.jpg", "-size 300x600 xc:red xc:lime xc:blue xc:white xc:black +append -colorspace CMYK -quality 95");
    // Pure green in Display P3, with the profile embedded: in sRGB it is pure green again.
    MakeImage(dir / "green.png", "-size 900x600 xc:lime");
    Shell("vips icc_transform " + Quote((dir / "green.png").string()) + " " + Quote((dir / "p3.jpg").string() + "[Q=95]") + " p3");
    fs::remove(dir / "green.png");
    // A transparent ground with a half-transparent red disc.
    MakeImage(dir / "alpha.png", "-size 1000x800 xc:none -fill 'rgba(255,0,0,0.5)' -draw 'circle 500,400 500,100'");
    RunResult run = RunPreviews("--previews", dir);
    ASSERT_EQ(run.exitCode, 0) << run.err;

    Pixels cmyk = ReadPixels(dir / "cmyk_t.jpg");
    ASSERT_EQ(cmyk.width, 480);
    ASSERT_EQ(cmyk.height, 192);
    struct Block {
        const char* colour;
        int dominant;  // channel that must lead clearly; -1: all high (white) or all low (black)
        bool light;
    } blocks[] = {{"red", 0, false}, {"green", 1, false}, {"blue", 2, false}, {"white", -1, true}, {"black", -1, false}};
    for (int i = 0; i < 5; ++i) {
        const unsigned char* px = cmyk.At(i * 96 + 48, 96);
        SCOPED_TRACE(blocks[i].colour);
        if (blocks[i].dominant < 0) {
            for (int ch = 0; ch < 3; ++ch) EXPECT_TRUE(blocks[i].light ? px[ch] > 200 : px[ch] < 80) << int(px[ch]);
        } else {
            for (int ch = 0; ch < 3; ++ch) {
                if (ch != blocks[i].dominant) EXPECT_GT(int(px[blocks[i].dominant]), int(px[ch]) + 60) << ch;
            }
        }
    }

    Pixels p3 = ReadPixels(dir / "p3_t.jpg");
    ASSERT_EQ(p3.width, 480);
    const unsigned char green[] = {0, 255, 0};
    if (UnderWine())  // Wine's IWICColorTransform hands the pixels through unchanged
        std::cout << "note: embedded profile not converted under Wine: pure P3 green came out as "
                  << int(p3.At(240, 160)[0]) << "," << int(p3.At(240, 160)[1]) << "," << int(p3.At(240, 160)[2]) << "\n";
    else EXPECT_LE(Difference(p3.At(240, 160), green), 12) << int(p3.At(240, 160)[0]) << "," << int(p3.At(240, 160)[1]) << ","
                                                      << int(p3.At(240, 160)[2]);
    EXPECT_EQ(Identify(dir / "p3_t.jpg", "%[profile:icc]"), "") << "no profile left to apply twice";

    Pixels alpha = ReadPixels(dir / "alpha_t.png");
    ASSERT_EQ(alpha.width, 480);
    ASSERT_EQ(alpha.height, 384);
    EXPECT_EQ(alpha.At(5, 5)[3], 0);                 // the transparent ground
    EXPECT_NEAR(alpha.At(240, 192)[3], 128, 8);      // the disc, half transparent
    EXPECT_GT(alpha.At(240, 192)[0], 200);           // and still red
}

TEST(Previews, WebpKeepsItsFormatAndAlpha) {
    fs::path dir = NewFolder("webp");
    MakeImage(dir / "pic.webp", "-size 1000x500 xc:none -fill 'rgba(0,0,255,1)' -draw 'rectangle 0,0 499,499'");
    RunResult run = RunPreviews("--previews", dir);
    if (UnderWine() && run.err.find("no preview for pic.webp") != std::string::npos)
        GTEST_SKIP() << "WebP skipped: this Windows Imaging Component has no WebP codec for it ("
                     << run.err.substr(0, run.err.find('\n')) << ")";
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Identify(dir / "pic_t.webp", "%m %w %h"), "WEBP 480 240");
    Pixels p = ReadPixels(dir / "pic_t.webp");
    ASSERT_EQ(p.width, 480);
    EXPECT_GT(p.At(100, 100)[2], 200);
    EXPECT_EQ(p.At(400, 100)[3], 0);
}

TEST(Previews, DamagedImagesAreNamedAndTheRunGoesOn) {
    fs::path dir = NewFolder("damaged");
    MakeImage(dir / "good.jpg", "-size 1200x900 plasma: -quality 90");
    std::string whole = ReadAll(dir / "good.jpg");
    std::ofstream(dir / "truncated.jpg", std::ios::binary) << whole.substr(0, whole.size() / 3);
    std::string corrupt = whole;
    for (size_t i = 2; i < 400; ++i) corrupt[i] = char(i * 7);  // the markers and tables after SOI
    std::ofstream(dir / "corrupt.jpg", std::ios::binary) << corrupt;
    std::ofstream(dir / "text.png") << "this is no picture\n";
    RunResult run = RunPreviews("--previews", dir);
    EXPECT_EQ(run.exitCode, 3) << run.err;
    for (const char* name : {"corrupt.jpg", "truncated.jpg", "text.png"}) {
        std::string start = std::string("quimbo-build: no preview for ") + name + ": ";
        size_t at = run.err.find(start);
        ASSERT_NE(at, std::string::npos) << run.err;
        size_t end = run.err.find('\n', at);
        EXPECT_GT(end, at + start.size()) << "a reason is given: " << run.err;
    }
    EXPECT_NE(run.err.find("quimbo-build: previews: made 1, up to date 0, failed 3\n"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::exists(dir / "good_t.jpg"));
    for (const char* preview : {"corrupt_t.jpg", "truncated_t.jpg", "text_t.png"}) EXPECT_FALSE(fs::exists(dir / preview));
    EXPECT_EQ(Leftovers(dir), std::vector<std::string>{});
}

TEST(Previews, ImagesAreTakenKindByKindEachInTheListingsOrder) {
    // One search of the folder finds them all; they are taken as the script
    // converts them: JPEG (.jpg, then .jpeg), WebP, PNG, each kind in the
    // listing's order. None of these decodes, so each gets its line, in turn.
    fs::path dir = NewFolder("order");
    for (const char* name : {"b.PNG", "Z.webp", "m.jpeg", "a.png", "B.JPG", "c.gif", "a.jpg", "q_t.jpg", "A.JPEG"})
        std::ofstream(dir / name) << "this is no picture\n";
    std::ofstream(dir / "z.jpg.quimbo-tmp") << "a file of the user's";
    RunResult run = RunPreviews("--previews --jobs 1", dir);
    EXPECT_EQ(run.exitCode, 3) << run.err;
    std::vector<std::string> taken;
    const std::string start = "quimbo-build: no preview for ";
    for (size_t at = run.err.find(start); at != std::string::npos; at = run.err.find(start, at + 1)) {
        size_t name = at + start.size();
        taken.push_back(run.err.substr(name, run.err.find(": ", name) - name));
    }
    if (UnderWine()) {
        // The order within a kind is the file system's there: only the kinds are checked.
        auto kind = [](const std::string& name) {
            std::string e = name.substr(name.rfind('.') + 1);
            for (char& c : e) c = char(tolower(c));
            return e == "jpg" ? 0 : e == "jpeg" ? 1 : e == "webp" ? 2 : 3;
        };
        ASSERT_EQ(taken.size(), 7u) << run.err;
        for (size_t i = 1; i < taken.size(); ++i) EXPECT_LE(kind(taken[i - 1]), kind(taken[i])) << run.err;
    } else {
        EXPECT_EQ(taken, (std::vector<std::string>{"a.jpg", "B.JPG", "A.JPEG", "m.jpeg", "Z.webp", "a.png", "b.PNG"}))
            << run.err;
    }
    EXPECT_TRUE(fs::exists(dir / "z.jpg.quimbo-tmp"));
}

TEST(Previews, ASecondRunWritesNothingAndAllRemakesEverything) {
    fs::path dir = NewFolder("incremental");
    for (const char* name : {"a.jpg", "b.png", "c.jpeg"}) MakeImage(dir / name, "-size 900x600 gradient:");
    MakeImage(dir / "tiny.png", "-size 20x20 xc:red");
    // Left behind by a killed run: of a preview that is made now, and of one whose
    // image is gone (which nothing proves ours: it stays).
    std::ofstream(dir / "a_t.jpg.quimbo-tmp") << "half";
    std::ofstream(dir / "gone_t.png.quimbo-tmp") << "half";

    ASSERT_EQ(RunPreviews("--previews", dir).exitCode, 0);
    EXPECT_EQ(Leftovers(dir), std::vector<std::string>{"gone_t.png.quimbo-tmp"});
    fs::remove(dir / "gone_t.png.quimbo-tmp");
    auto first = Times(dir);

    RunResult again = RunPreviews("--previews", dir);
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(again.err, "quimbo-build: previews: made 0, up to date 4, failed 0\n");
    auto second = Times(dir);
    for (const char* preview : {"a_t.jpg", "b_t.png", "c_t.jpeg", "tiny_t.png"}) EXPECT_EQ(first[preview], second[preview]) << preview;

    // A changed image gets a new preview; the others stay.
    fs::last_write_time(dir / "b.png", fs::file_time_type::clock::now() + std::chrono::hours(1));
    RunResult changed = RunPreviews("--previews", dir);
    EXPECT_EQ(changed.err, "quimbo-build: previews: made 1, up to date 3, failed 0\n");
    EXPECT_NE(Times(dir)["b_t.png"], first["b_t.png"]);
    EXPECT_EQ(Times(dir)["a_t.jpg"], first["a_t.jpg"]);

    RunResult all = RunPreviews("--previews=all --jobs 1", dir);
    EXPECT_EQ(all.exitCode, 0);
    EXPECT_EQ(all.err, "quimbo-build: previews: made 4, up to date 0, failed 0\n");
    auto third = Times(dir);
    for (const char* preview : {"a_t.jpg", "c_t.jpeg", "tiny_t.png"}) EXPECT_NE(first[preview], third[preview]) << preview;
}

TEST(Previews, PreviewsThatCannotBeWrittenGiveExitOneAndStayAsTheyAre) {
    fs::path dir = NewFolder("readonly");
    MakeImage(dir / "a.jpg", "-size 900x600 gradient:");
    MakeImage(dir / "b.jpg", "-size 900x600 gradient:");
    std::ofstream(dir / "a_t.jpg") << "kept";
    fs::last_write_time(dir / "a_t.jpg", fs::last_write_time(dir / "a.jpg") - std::chrono::hours(1));  // stale
    fs::permissions(dir / "a_t.jpg", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    RunResult run = RunPreviews("--previews", dir);
    EXPECT_EQ(run.exitCode, 1);
    std::string path = ArgPath(dir / "a_t.jpg");
    EXPECT_NE(run.err.find("quimbo-build: cannot write " + path + ": "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("quimbo-build: previews: made 1, up to date 0, failed 1\n"), std::string::npos) << run.err;
    EXPECT_EQ(ReadAll(dir / "a_t.jpg"), "kept");
    EXPECT_TRUE(fs::exists(dir / "b_t.jpg"));

    // A folder the user may not write to (as root nothing is refused, so run as nobody): the
    // page and script exist and are writable, the previews cannot be created.
    if (UnderWine()) GTEST_SKIP() << "read-only folder: checked natively only (the Wine prefix belongs to root)";
    fs::path locked = NewFolder("readonly_folder");
    MakeImage(locked / "c.jpg", "-size 900x600 gradient:");
    for (const char* name : {"!pictures.html", "$create-Thumbnails.cmd"}) {
        std::ofstream(locked / name) << "";
        fs::permissions(locked / name, fs::perms::all & ~(fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec));
    }
    fs::permissions(locked, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    std::string user = geteuid() == 0 ? "65534" : "";  // nobody
    RunResult refused = RunPreviews("--previews", locked, user);
    fs::permissions(locked, fs::perms::owner_all);
    if (refused.err.find("setpriv") != std::string::npos) GTEST_SKIP() << "cannot run as nobody: " << refused.err;
    EXPECT_EQ(refused.exitCode, 1) << refused.err;
    EXPECT_NE(refused.err.find("quimbo-build: cannot write " + (locked / "c_t.jpg").string() + ": Permission denied\n"), std::string::npos)
        << refused.err;
    EXPECT_FALSE(fs::exists(locked / "c_t.jpg"));
    EXPECT_EQ(Leftovers(locked), std::vector<std::string>{});
}

TEST(Previews, CommandLine) {
    fs::path dir = NewFolder("cmdline");
    MakeImage(dir / "a.jpg", "-size 900x600 gradient:");
    for (const char* bad : {"--jobs 0", "--jobs x", "--jobs", "--jobs 2x", "--previews=some"}) {
        EXPECT_EQ(RunPreviews(bad, dir).exitCode, 64) << bad;
    }
    EXPECT_FALSE(fs::exists(dir / "a_t.jpg"));
    RunResult help = RunPreviews("--help", dir);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--previews"), std::string::npos);
    // On a terminal: one progress line updated in place, then the summary over it.
    if (!UnderWine() && std::system("command -v script >/dev/null") == 0) {
        fs::path typescript = dir / "typescript.txt";
        std::string inner = Quote(UnderTest().exe) + " --previews=all " + Quote(dir.string());
        Shell("script -qec " + Quote(inner) + " " + Quote(typescript.string()) + " >/dev/null");
        std::string screen = ReadAll(typescript);
        EXPECT_NE(screen.find("\rpreviews 0/1"), std::string::npos) << screen;
        EXPECT_NE(screen.find("\rpreviews 1/1"), std::string::npos) << screen;
        EXPECT_NE(screen.find("\rquimbo-build: previews: made 1, up to date 0, failed 0\r\n"), std::string::npos) << screen;
        fs::remove(typescript);
    }
    // No images at all: exit 2 as always, and no previews attempted.
    fs::path gifs = NewFolder("gifs");
    MakeImage(gifs / "a.gif", "-size 900x600 xc:red");
    RunResult none = RunPreviews("--previews", gifs);
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_EQ(none.err.find("previews:"), std::string::npos);
}

TEST(PreviewLibrary, LoadsNothingButJpegPngAndWebp) {
    // Behind the header check, libvips itself refuses every other loader.
    char storage[256];
    ByteBuf reason(storage);
    ASSERT_TRUE(StartPreviewLibrary(reason)) << reason.buf;
    fs::path dir = NewFolder("loaders");
    MakeImage("tiff:" + (dir / "a.tiff").string(), "-size 60x40 xc:red");
    MakeImage("ppm:" + (dir / "a.ppm").string(), "-size 60x40 xc:red");
    MakeImage("gif:" + (dir / "a.gif").string(), "-size 60x40 xc:red");
    WriteFile(dir / "a.svg", "<svg xmlns='http://www.w3.org/2000/svg' width='60' height='40'/>");
    MakeImage(dir / "a.jpg", "-size 60x40 xc:red");
    MakeImage(dir / "a.png", "-size 60x40 xc:red");
    for (const char* name : {"a.tiff", "a.ppm", "a.gif", "a.svg", "a.jpg", "a.png"}) {
        bool ours = fs::path(name).extension() == ".jpg" || fs::path(name).extension() == ".png";
        VipsSource* source = vips_source_new_from_file((dir / name).c_str());
        ASSERT_NE(source, nullptr);
        VipsImage* image = vips_image_new_from_source(source, "", nullptr);
        EXPECT_EQ(image != nullptr, ours) << name;
        if (image) g_object_unref(image);
        g_object_unref(source);
        vips_error_clear();
    }
}

// libvips's run-time compiled loops (Orc) free their code unlocked: two
// workers finishing images at once corrupted its store and crashed the run
// now and then (seen under the sanitizers, 1 run in 15 of 300 images at
// --jobs 8). A race that rare is no test's to catch, so the switch is checked.
TEST(PreviewLibrary, CompilesNoCodeAtRunTime) {
    char storage[256];
    ByteBuf reason(storage);
    ASSERT_TRUE(StartPreviewLibrary(reason)) << reason.buf;
    EXPECT_FALSE(vips_vector_isenabled());
}

TEST(Previews, OnlyTheDecoderOfTheNamedFormatReadsAFile) {
    fs::path dir = NewFolder("formats");
    fs::path elsewhere = NewFolder("formats_elsewhere");
    MakeImage(elsewhere / "secret.png", "-size 600x600 xc:red");
    struct Case {
        std::string name, reason;
    } cases[] = {
        {"svg.png", "not a PNG image"},  // an SVG drawing a file from elsewhere on the disk
        {"tiff.jpg", "not a JPEG image"},
        {"bmp.jpg", "not a JPEG image"},
        {"pdf.jpg", "not a JPEG image"},
        {"png.jpg", "not a JPEG image"},
        {"jpeg.png", "not a PNG image"},
        {"png.webp", "not a WebP image"},
        {"wave.webp", "not a WebP image"},  // RIFF, but not WebP
    };
    WriteFile(dir / "svg.png", "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' "
                               "width='600' height='600'><image xlink:href='" + (elsewhere / "secret.png").string() +
                                   "' width='600' height='600'/></svg>\n");
    MakeImage("tiff:" + (dir / "tiff.jpg").string(), "-size 600x400 xc:red");
    MakeImage("bmp:" + (dir / "bmp.jpg").string(), "-size 600x400 xc:red");
    WriteFile(dir / "pdf.jpg", "%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n%%EOF\n");
    MakeImage("png:" + (dir / "png.jpg").string(), "-size 600x400 xc:red");
    MakeImage("jpg:" + (dir / "jpeg.png").string(), "-size 600x400 xc:red");
    MakeImage("png:" + (dir / "png.webp").string(), "-size 600x400 xc:red");
    WriteFile(dir / "wave.webp", std::string("RIFF\x24\0\0\0WAVEfmt ", 16) + std::string(24, '\0'));
    MakeImage(dir / "good.jpg", "-size 900x600 gradient:");
    fs::path scratch = NewFolder("formats_tmp");  // ImageMagick would leave its magick-* files here

    RunResult run = RunPreviews("--previews", dir, "", nullptr, 0, "TMPDIR=" + Quote(scratch.string()));
    EXPECT_EQ(run.exitCode, 3) << run.err;
    for (const Case& c : cases) {
        EXPECT_EQ(ReasonFor(run.err, c.name), c.reason) << run.err;
        std::string preview = c.name;
        preview.insert(preview.rfind('.'), "_t");
        EXPECT_FALSE(fs::exists(dir / preview)) << preview;
    }
    EXPECT_TRUE(fs::exists(dir / "good_t.jpg"));
    for (const auto& entry : fs::directory_iterator(scratch))
        EXPECT_NE(entry.path().filename().string().rfind("magick-", 0), 0u) << entry.path();
}

TEST(Previews, ImagesOverTheLimitOrShortOfTheirDataAreRefusedBeforeDecoding) {
    fs::path dir = NewFolder("limits");
    MakeImage(dir / "photo.jpg", "-size 1200x900 plasma: -quality 90");
    std::string jpeg = ReadAll(dir / "photo.jpg");
    size_t data = JpegDataStart(jpeg);
    std::string fewRows(16 * (1 + 8 * 12000), '\x40');  // the start of a 12000 x 12000 16-bit RGBA image
    struct Case {
        std::string name, bytes;
        std::string reason;  // the start of the line's reason; "" for a preview that is made
        bool nativeOnly;     // Wine's JPEG decoder does not say that the data ended early
    } cases[] = {
        // Over the limits: the 16-bit PNG that took 4.4 GB, a PNG just over 160 megapixels
        // (whole and valid), a strip too long, a 4.6 KB JPEG claiming 65500 x 65500.
        {"strip.png", Png(999999, 500, 16, 6, "", &fewRows), "too large: 999999 x 500 pixels (the limit is 160 megapixels, 65535 pixels a side)", false},
        {"over.png", Png(16001, 10000, 8, 0, std::string(size_t(16001 + 1) * 10000, '\0')), "too large: 16001 x 10000 pixels", false},
        {"long.png", Png(70000, 2, 8, 0, std::string(size_t(70001) * 2, '\0')), "too large: 70000 x 2 pixels", false},
        {"claims.jpg", WithJpegSize(jpeg.substr(0, data + 4000) + "\xFF\xD9", 65500, 65500), "too large: 65500 x 65500 pixels", false},
        // Headers that promise more than the file holds.
        {"claims10k.jpg", WithJpegSize(jpeg.substr(0, data + 4000) + "\xFF\xD9", 10000, 10000), "the image data is incomplete", false},
        {"claims.png", Png(12000, 12000, 16, 6, fewRows), "the image data is incomplete", false},
        {"nodata.jpg", jpeg.substr(0, data) + "\xFF\xD9", "the image data is incomplete", false},
        {"fewdata.jpg", jpeg.substr(0, data + 200) + "\xFF\xD9", "the image data is incomplete", false},
        // Refused by its header, not by a decoder that would draw the missing rows grey (Wine's does).
        {"thindata.jpg", jpeg.substr(0, data + 2000) + "\xFF\xD9", "the image data is incomplete (the file is too short", false},
        {"halfdata.jpg", jpeg.substr(0, data + (jpeg.size() - data) / 2) + "\xFF\xD9", "the image data is incomplete", true},
        // Stray bytes before the end marker: the data is all there, as a browser shows it.
        {"stray.jpg", jpeg.substr(0, jpeg.size() - 2) + "\x01\x02\x03\xFF\xD9", "", false},
    };
    for (const Case& c : cases) WriteFile(dir / c.name, c.bytes);
    EXPECT_LT(fs::file_size(dir / "over.png"), 1000000u);

    Cost cost;
    RunResult run = RunPreviews("--previews", dir, "", &cost, 60);
    EXPECT_EQ(run.exitCode, 3) << run.err;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string preview = c.name;
        preview.insert(preview.rfind('.'), "_t");
        if (c.nativeOnly && UnderWine()) {
            std::cout << "note: under Wine " << c.name << " " << (fs::exists(dir / preview) ? "got a preview" : "was refused")
                      << " (Wine's decoder does not report data that ends early)\n";
            continue;
        }
        std::string reason = ReasonFor(run.err, c.name);
        EXPECT_EQ(reason.substr(0, c.reason.size()), c.reason) << run.err;
        EXPECT_EQ(fs::exists(dir / preview), c.reason.empty()) << run.err;
        if (c.reason.empty()) EXPECT_EQ(reason, "");
    }
    // Refused on their headers: nothing near their pixels was ever held.
    EXPECT_LT(cost.maxResidentMb, 300) << "MB";
    EXPECT_LT(cost.seconds, 30);

    // A photo of 100 megapixels still gets its preview.
    fs::path large = NewFolder("limits_100mp");
    Shell("vips black " + Quote((large / "large.jpg").string()) + " 10000 10000 --bands 3");
    Cost largeCost;
    RunResult made = RunPreviews("--previews", large, "", &largeCost, 120);
    EXPECT_EQ(made.exitCode, 0) << made.err;
    EXPECT_EQ(Identify(large / "large_t.jpg", "%w %h"), "480 480");
    // Natively the decoder shrinks while it decodes; Wine's holds the whole image (300 MB).
    EXPECT_LT(largeCost.maxResidentMb, UnderWine() ? 800 : 300) << "MB";
    std::cout << "note: 100 megapixels took " << largeCost.seconds << " s and " << largeCost.maxResidentMb << " MB\n";
}

TEST(Previews, OnlyRegularFilesAreReadAndNothingWaits) {
    fs::path dir = NewFolder("special");
    fs::path elsewhere = NewFolder("special_elsewhere");
    MakeImage(elsewhere / "real.jpg", "-size 900x600 gradient:");
    ASSERT_EQ(mkfifo((dir / "p.jpg").c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", dir / "z.jpg");
    fs::create_symlink(elsewhere / "real.jpg", dir / "link.jpg");  // a link to a regular image is that image
    MakeImage(dir / "good.png", "-size 900x600 gradient:");
    Cost cost;
    RunResult run = RunPreviews("--previews", dir, "", &cost, 60);
    EXPECT_EQ(run.exitCode, 3) << run.err;
    EXPECT_EQ(ReasonFor(run.err, "p.jpg"), "not a regular file") << run.err;
    EXPECT_EQ(ReasonFor(run.err, "z.jpg"), "not a regular file") << run.err;
    EXPECT_NE(run.err.find("quimbo-build: previews: made 2, up to date 0, failed 2\n"), std::string::npos) << run.err;
    EXPECT_EQ(Identify(dir / "link_t.jpg", "%w %h"), "480 320");
    EXPECT_TRUE(fs::exists(dir / "good_t.png"));
    EXPECT_LT(cost.seconds, 30);
}

// Each image is opened, handed to the decoder and closed again: a folder of
// many more images than the process may hold open files gets every preview.
TEST(Previews, NoImageKeepsAFileOpen) {
    if (UnderWine()) GTEST_SKIP() << "a descriptor limit of the POSIX build; Wine needs many of its own";
    fs::path dir = NewFolder("many");
    MakeImage(dir / "a000.jpg", "-size 600x400 gradient:");
    MakeImage(dir / "b000.png", "-size 600x400 gradient:");
    for (int i = 1; i < 40; ++i) {
        char name[16];
        snprintf(name, sizeof name, "%03d", i);
        fs::copy_file(dir / "a000.jpg", dir / ("a" + std::string(name) + ".jpg"));
        fs::copy_file(dir / "b000.png", dir / ("b" + std::string(name) + ".png"));
    }
    std::string command = "ulimit -n 24 && " + Quote(UnderTest().exe) + " --previews --jobs 2 " + Quote(dir.string()) +
                          " >/dev/null 2>" + Quote((dir / "err").string());
    int status = std::system(("sh -c " + Quote(command)).c_str());
    std::string err = ReadAll(dir / "err");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << err;
    EXPECT_NE(err.find("quimbo-build: previews: made 80, up to date 0, failed 0\n"), std::string::npos) << err;
}

TEST(Previews, ASmallImageIsCopiedOnlyWhenItDecodesWholeAndItsFileIsCompact) {
    fs::path dir = NewFolder("copies");
    MakeImage(dir / "plain.jpg", "-size 400x300 plasma: -quality 90");
    std::string plain = ReadAll(dir / "plain.jpg");
    // The same photo padded to 3 GB (sparse: nothing is written to the disk).
    WriteFile(dir / "padded.jpg", plain);
    fs::resize_file(dir / "padded.jpg", 3ull << 30);
    WriteFile(dir / "cut.jpg", plain.substr(0, plain.size() * 2 / 3));
    // 1 MB of text in a small PNG: more than its pixels and metadata need.
    MakeImage(dir / "notes.png", "-size 200x150 gradient:");
    std::string png = ReadAll(dir / "notes.png");
    std::string text = "Comment" + std::string(1, '\0') + std::string(1 << 20, 'x');
    std::string chunk;
    for (int shift = 24; shift >= 0; shift -= 8) chunk += char(text.size() >> shift);
    std::string typed = "tEXt" + text;
    uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(typed.data()), typed.size());
    chunk += typed;
    for (int shift = 24; shift >= 0; shift -= 8) chunk += char(crc >> shift);
    WriteFile(dir / "notes.png", png.substr(0, 33) + chunk + png.substr(33));

    Cost cost;
    RunResult run = RunPreviews("--previews", dir, "", &cost, 60);
    EXPECT_EQ(run.exitCode, 3) << run.err;
    EXPECT_EQ(ReadAll(dir / "plain_t.jpg"), plain);
    EXPECT_NE(ReasonFor(run.err, "cut.jpg"), "") << run.err;
    EXPECT_FALSE(fs::exists(dir / "cut_t.jpg"));
    for (const char* preview : {"padded_t.jpg", "notes_t.png"}) {
        SCOPED_TRACE(preview);
        ASSERT_TRUE(fs::exists(dir / preview)) << run.err;
        EXPECT_LT(fs::file_size(dir / preview), 300000u);  // encoded from the pixels, not copied
    }
    EXPECT_EQ(Identify(dir / "padded_t.jpg", "%m %w %h"), "JPEG 400 300");
    EXPECT_EQ(Identify(dir / "notes_t.png", "%m %w %h"), "PNG 200 150");
    EXPECT_LT(cost.maxResidentMb, 300) << "MB";  // the padding was never read into memory
    EXPECT_LT(cost.seconds, 30);
    fs::remove(dir / "padded.jpg");
}

TEST(Previews, NoPreviewCarriesMetadata) {
    // A photo with an ICC profile (libvips's P3), EXIF (turned: orientation
    // 6), XMP and IPTC, large and small, as JPEG and, copied by libvips with
    // what it keeps of that, as PNG and WebP. A small image that carries
    // metadata is not copied: its preview is encoded, upright and in sRGB.
    fs::path dir = NewFolder("metadata");
    MakeImage(dir / "large.ppm", "-size 1000x800 gradient:navy-gold");
    MakeImage(dir / "small.ppm", "-size 400x300 gradient:navy-gold");
    for (const char* name : {"large", "small"}) {
        fs::path jpeg = dir / (std::string(name) + ".jpg");
        Shell("vips icc_transform " + Quote((dir / (std::string(name) + ".ppm")).string()) + " " +
              Quote(jpeg.string() + "[Q=90]") + " p3");
        SetJpegOrientation(jpeg, 6);
        AddJpegXmpAndIptc(jpeg);
        ASSERT_EQ(MetadataIn(jpeg), "exif icc iptc xmp");
        for (const char* format : {".png", ".webp"})
            Shell("vips copy " + Quote(jpeg.string()) + " " + Quote((dir / (std::string(name) + format)).string()));
        fs::remove(dir / (std::string(name) + ".ppm"));
    }
    ASSERT_EQ(MetadataIn(dir / "small.webp"), "exif icc xmp");
    RunResult run = RunPreviews("--previews", dir);
    bool webp = !(UnderWine() && run.err.find("no preview for large.webp") != std::string::npos);
    if (!webp) std::cout << "note: WebP left out: this Windows Imaging Component has no WebP codec\n";
    EXPECT_EQ(run.exitCode, webp ? 0 : 3) << run.err;
    for (const char* name : {"large_t.jpg", "small_t.jpg", "large_t.png", "small_t.png", "large_t.webp", "small_t.webp"}) {
        SCOPED_TRACE(name);
        if (!webp && std::string(name).find(".webp") != std::string::npos) continue;
        ASSERT_TRUE(fs::exists(dir / name)) << run.err;
        EXPECT_EQ(MetadataIn(dir / name), "");
        // Turned upright (Wine's decoders read no orientation from PNG and WebP).
        bool small = name[0] == 's';
        if (!UnderWine() || std::string(name).find(".jpg") != std::string::npos)
            EXPECT_EQ(Identify(dir / name, "%w %h"), small ? "300 400" : "384 480");
    }
}

TEST(Previews, AnAlphaChannelIsKeptOnlyWhereSomePixelShowsThrough) {
    fs::path dir = NewFolder("alphas");
    struct Case {
        const char* name;
        const char* source;  // ImageMagick, written with an alpha channel
        bool alpha;          // whether the preview has one
    } cases[] = {
        {"opaque.png", "-size 1000x800 gradient:red-blue -alpha opaque PNG32:", false},
        {"grey.png", "-size 1000x800 gradient: -alpha opaque -define png:color-type=4 -define png:bit-depth=8 PNG:", false},
        {"corner.png", "-size 1000x800 gradient:red-blue -alpha opaque -fill none -draw 'color 0,0 point' PNG32:", true},
        {"glass.png", "-size 1000x800 gradient:red-blue -alpha set -channel A -evaluate set 60% PNG32:", true},
    };
    for (const Case& c : cases) {
        std::string source = c.source;
        size_t prefix = source.rfind(' ') + 1;
        Shell("convert " + source.substr(0, prefix) + Quote(source.substr(prefix) + (dir / c.name).string()));
    }
    RunResult run = RunPreviews("--previews", dir);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string preview = (dir / c.name).string();
        preview.insert(preview.size() - 4, "_t");
        EXPECT_EQ(Identify(preview, "%w %h"), "480 384");
        FILE* pipe = popen(("vipsheader -f bands " + Quote(preview)).c_str(), "r");
        int bands = 0;
        if (fscanf(pipe, "%d", &bands) != 1) bands = 0;
        pclose(pipe);
        EXPECT_EQ(bands == 2 || bands == 4, c.alpha) << bands << " bands";
        EXPECT_TRUE(bands >= 1 && bands <= 4) << bands;
    }
}

TEST(Previews, ImagesHeldWholeWhileDecodedTakeTurns) {
    // Interlaced 16-bit RGBA PNGs of 12 megapixels: libvips holds each whole
    // (96 MB) while decoding it. Two workers on both at once would hold both.
    if (UnderWine()) GTEST_SKIP() << "the memory of the libvips backend";
    if (kAddressSanitizer) GTEST_SKIP() << "AddressSanitizer keeps freed memory in quarantine: no figure to check";
    fs::path dir = NewFolder("turns");
    Shell("convert -size 4000x3000 gradient:red-blue -alpha set -channel A -evaluate set 60% -depth 16 -interlace PNG PNG64:" +
          Quote((dir / "a.png").string()));
    fs::copy_file(dir / "a.png", dir / "b.png");
    Cost cost;
    RunResult run = RunPreviews("--previews --jobs 2", dir, "", &cost, 120);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Identify(dir / "b_t.png", "%w %h"), "480 360");
    EXPECT_LT(cost.maxResidentMb, 190) << "MB";  // one at a time: ~140; both at once: ~240
}

}  // namespace
