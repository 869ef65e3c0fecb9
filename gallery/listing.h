// Finding the images of a folder and writing one figure entry per image
// (the entry itself is WriteEntry's, in page_text.h).
#pragma once

#include "../common/common.h"

// What one listing wrote, for the album index: the number of entries and the
// name of the first (entry 001). A name longer than the system hands out is
// not kept (firstLength 0).
constexpr size_t kListingNameCapacity = 260;
struct ListingSummary {
    int count;
    PathChar first[kListingNameCapacity];
    size_t firstLength;
};

// True when the folder (ending in a separator) holds a file of one of the
// presence patterns (any match that is a file: a folder named like an image
// does not hide the images beside it); GIF files do not count.
bool FolderHasImages(const PathChar* folder);

// Writes the entries of every listing pattern, numbered from 1 across all of
// them. Returns 0, or the system's code when a search failed (a folder that
// cannot be read, or a listing cut off halfway): the entries are then
// incomplete and the page must not be used. When `hasImages` is given it gets
// FolderHasImages' answer for the folder, found from the matches of each
// listing pattern that is a presence pattern too (all but "*.gif"): the same
// searches, so no search of its own. `summary` (when given) gets the count and
// the first name.
SystemError WriteImageEntries(LineWriter* page, const PathChar* folder, bool* hasImages = nullptr,
                              ListingSummary* summary = nullptr);

// Writes the entries of one pattern path, raising `entryCounter` before each.
// Returns 0, or the code of a search that failed. `anyFile` (when given):
// a match exists that is not a directory, FileMatchExists' answer.
// `summary` (when given) gets the name of the entry numbered 1.
SystemError WritePatternEntries(LineWriter* page, const PathChar* patternPath, int* entryCounter,
                                bool* anyFile = nullptr, ListingSummary* summary = nullptr);

// True when a file named `name` would be an entry of the listing: one of the
// listing patterns' extensions (letter case ignored), and not a preview copy
// ("_t." or "_w." in it). quimbo-build --watch rebuilds for these alone.
bool IsListedImageName(const PathChar* name, size_t length);
