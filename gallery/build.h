// Writing the two gallery files of one folder.
#pragma once

#include "../common/common.h"

constexpr const PathChar* kPageName = PATH_TEXT("!pictures.html");
constexpr const PathChar* kScriptName = PATH_TEXT("$create-Thumbnails.cmd");

// What became of one build.
struct GalleryOutcome {
    bool pageCreated;
    bool scriptCreated;
    bool ok;              // both files created and written in full
    SystemError error;    // the first failure, when !ok
    const PathChar* failedName;  // kPageName or kScriptName, when !ok
};

// Writes "!pictures.html" and "$create-Thumbnails.cmd" into `folder` (which
// ends in a separator) in the language given. Reads the old page's title
// first. A file that cannot be created is skipped and the build goes on with
// the next; a folder too long for the path buffer writes nothing and fails
// with kErrorNameTooLong.
GalleryOutcome WriteGalleryFiles(const PathChar* folder, bool german);
