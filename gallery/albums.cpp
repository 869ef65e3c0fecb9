#include "albums.h"

#include <stdlib.h>

#include "build.h"
#include "encode.h"
#include "page_text.h"

namespace {

// The texts of one line, large enough for any path the walk hands out: a
// path's UTF-8 takes at most 3 bytes per unit (a replaced byte on POSIX too),
// its escaped text 6 bytes per byte, its percent-encoded form 3.
constexpr size_t kLineBytes = 3 * kPathCapacity + 64;
struct LineTexts {
    char raw[kLineBytes];
    char title[6 * kLineBytes];
    char href[3 * kLineBytes + 32];
    char cover[3 * kLineBytes + 3 * kLineBytes];
    LineWriter writer;
};

// Percent-encodes each part of `path` (native separators) for a link and ends
// each one with "/": "./2024/Holiday/". `raw` is scratch.
void AppendPathLink(const PathChar* path, size_t length, ByteBuf& raw, ByteBuf& out) {
    size_t start = 0;
    for (size_t i = 0; i < length; ++i) {
        if (path[i] != kPathSeparator) continue;
        raw.Clear();
        AppendNameBytes(path + start, i - start, raw);
        EncodeImageSrc(raw.View(), out);
        out.Append('/');
        if (raw.overflow) out.overflow = true;
        start = i + 1;
    }
}

// The parts of `path` joined by "/" as element text: "2024/Holiday".
void AppendPathTitle(const PathChar* path, size_t length, ByteBuf& raw, ByteBuf& out) {
    raw.Clear();
    size_t start = 0;
    for (size_t i = 0; i < length; ++i) {
        if (path[i] != kPathSeparator) continue;
        if (start) raw.Append('/');
        AppendNameText(path + start, i - start, raw);
        start = i + 1;
    }
    AppendHtmlText(raw.View(), out);
    if (raw.overflow) out.overflow = true;
}

int DepthOf(const PathChar* path, size_t length) {
    int depth = 0;
    for (size_t i = 0; i < length; ++i) depth += path[i] == kPathSeparator;
    return depth;
}

void WriteLines(LineTexts* texts, std::string_view rootName, const AlbumLine* lines, int count, bool german,
                int* albums) {
    LineWriter* page = &texts->writer;
    for (int i = 0; i < count; ++i) {
        const AlbumLine& line = lines[i];
        ByteBuf raw(texts->raw);
        ByteBuf title(texts->title);
        if (!line.title.empty()) AppendHtmlText(line.title, title);
        else if (line.pathLength == 0) AppendHtmlText(rootName, title);
        else AppendPathTitle(line.path, line.pathLength, raw, title);
        int depth = DepthOf(line.path, line.pathLength);
        if (line.imageCount <= 0) {
            if (!title.overflow) WriteAlbumFolderLine(page, depth, title.View());
            continue;
        }
        ByteBuf href(texts->href);
        ByteBuf cover(texts->cover);
        href.Append("./", 2);
        AppendPathLink(line.path, line.pathLength, raw, href);
        cover.Append(href.View());
        raw.Clear();
        AppendNameBytes(kPageName, TextLength(kPageName), raw);
        EncodeImageSrc(raw.View(), href);
        raw.Clear();
        AppendNameBytes(line.cover, line.coverLength, raw);
        EncodeImageSrc(raw.View(), cover);
        if (title.overflow || href.overflow || cover.overflow || raw.overflow) continue;
        WriteAlbumLine(page, german, depth, href.View(), cover.View(), title.View(), line.imageCount);
        ++*albums;
    }
}

}  // namespace

AlbumsOutcome WriteAlbumIndex(const PathChar* folder, std::string_view rootName, const AlbumLine* lines, int count,
                              bool german, std::string_view indexTitle) {
    AlbumsOutcome outcome{false, 0, false};
    PathChar storage[kPathCapacity];
    PathBuf path(storage);
    path.AppendZ(folder);
    path.AppendZ(kAlbumsName);
    if (path.overflow) {
        outcome.error = kErrorNameTooLong;
        return outcome;
    }
    if (IsSpecialFile(path.buf)) {
        outcome.notRegularFile = true;
        return outcome;
    }
    LineTexts* texts = static_cast<LineTexts*>(malloc(sizeof(LineTexts)));
    OutputFile file;
    SystemError error = 0;
    if (!texts) {
        outcome.error = kErrorOutOfMemory;
    } else if (!BeginOutputFile(path.buf, &file, &error)) {
        outcome.error = error;
    } else {
        LineWriter* page = &texts->writer;
        StartLines(page, file.handle);
        WriteUtf8Bom(page);
        ByteBuf heading(texts->title);
        AppendHtmlText(indexTitle, heading);
        WriteAlbumsHead(page, german, DateStamp().text, heading.View());
        int albums = 0;
        WriteLines(texts, rootName, lines, count, german, &albums);
        WriteAlbumsFooter(page, german, albums, DateTimeStamp().text);
        if (!FlushLines(page)) {
            outcome.error = page->error;
            DiscardOutputFile(&file);
        } else if (!CommitOutputFile(&file, path.buf, &error)) {
            outcome.error = error;
        } else {
            outcome.ok = true;
        }
    }
    free(texts);
    return outcome;
}
