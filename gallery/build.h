// Writing the two gallery files of one folder.
#pragma once

#include "../common/common.h"
#include "listing.h"
#include "title.h"

constexpr const PathChar* kPageName = PATH_TEXT("!pictures.html");
constexpr const PathChar* kScriptName = PATH_TEXT("$create-Thumbnails.cmd");

// What became of one build.
struct GalleryOutcome {
    bool pageCreated;     // the page's new content was begun (its temporary file made)
    bool scriptCreated;   // the same for the script
    bool ok;              // both files written in full and in place
    SystemError error;    // the first failure, when !ok
    const PathChar* failedName;  // kPageName or kScriptName, when !ok
    bool notRegularFile;  // the failure: something other than a file stands at failedName
    bool noImages;        // ImageCheck::InListing only: the folder has no images; nothing was written
    CarriedTitle title;   // the title the page was begun with (as its script holds it), when pageCreated
    bool pageReplaced;    // the new page is in place (also when the script then failed)
};

// Who tells whether the folder holds images at all (FolderHasImages).
enum class ImageCheck {
    Caller,     // the caller asked before (the window does, when the folder is chosen)
    InListing,  // the build, from the listing's own searches: no search of its own
};

// Writes "!pictures.html" and "$create-Thumbnails.cmd" into `folder` (which
// ends in a separator) in the language given. Reads the old page's title
// first. Each file is written completely under a temporary name and only then
// moved over the old one, so a file that cannot be written in full keeps its
// old content; the build then goes on with the next file. A page that is there
// but cannot be read is not replaced (its title would be lost). A folder too
// long for the path buffer, or a FIFO, socket or device at either name, writes
// nothing at all. With ImageCheck::InListing a folder without images writes
// nothing either, and the outcome says noImages. `givenTitle` (from
// TitleForScript), when given, is the page's title instead of the one carried
// over from the old page.
GalleryOutcome WriteGalleryFiles(const PathChar* folder, bool german, ImageCheck check = ImageCheck::Caller,
                                 const CarriedTitle* givenTitle = nullptr);

// The same, writing through `writer` (which the caller owns; one per thread),
// so that several folders can be built at once on different threads. When the
// page was written, `summary` (when given) tells its entry count and first name.
// With `asPair`, page and script replace their old versions together: both are
// written to their temporary files in full, and only then moved into place, so
// that a failure of either leaves both as they were (when the script's move
// fails after the page's, the outcome names the script, and pageCreated says
// that the page is new).
GalleryOutcome WriteGalleryFiles(const PathChar* folder, bool german, ImageCheck check, LineWriter* writer,
                                 ListingSummary* summary, const CarriedTitle* givenTitle = nullptr,
                                 bool asPair = false);
