// The album index of a folder tree: one page, "!albums.html", that leads to
// the gallery of every folder below it.
#pragma once

#include "../common/common.h"

constexpr const PathChar* kAlbumsName = PATH_TEXT("!albums.html");

// One line of the index. The lines come in the order of the tree: a folder
// before the folders in it, the folders of one level in the listing's order.
struct AlbumLine {
    const PathChar* path;   // relative to the index's folder, native separators, ending in one; empty for that folder
    size_t pathLength;
    int imageCount;         // the gallery's entries; 0: a folder without a gallery that leads to albums further down
    const PathChar* cover;  // when imageCount > 0: the cover's file name in that folder
    size_t coverLength;
    std::string_view title; // the gallery's own title, UTF-8 text, when the user gave it one; else empty (its path is shown)
};

// What became of the index.
struct AlbumsOutcome {
    bool ok;
    SystemError error;    // when !ok; 0 with notRegularFile
    bool notRegularFile;  // something other than a file (a FIFO, a device) stands at the index's name
};

// Writes "!albums.html" into `folder` (ending in a separator) in the language
// given: the `count` lines of `lines`, the index's own folder titled
// `rootName` (a line's own title wins over its path and over `rootName`).
// `indexTitle` (UTF-8 text), when not empty, names the index in its document
// title and heading instead of the language's word. Every name is escaped and every link percent-encoded, and each
// link starts with "./", so that no folder name is read as a scheme. The file
// is written completely under a temporary name and only then moved over the
// old one. A line whose path does not fit the path buffer is left out.
AlbumsOutcome WriteAlbumIndex(const PathChar* folder, std::string_view rootName, const AlbumLine* lines, int count,
                              bool german, std::string_view indexTitle = {});
