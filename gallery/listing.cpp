#include "listing.h"

#include "encode.h"
#include "page_text.h"

static const PathChar* const kPresencePatterns[] = {
    PATH_TEXT("*.svg"), PATH_TEXT("*.jpg"), PATH_TEXT("*.jfif"), PATH_TEXT("*.jpeg"),
    PATH_TEXT("*.png"), PATH_TEXT("*.ico"), PATH_TEXT("*.avif"), PATH_TEXT("*.webp"),
};

// In the order of the entries; all but "*.gif" are presence patterns too.
struct ListingPattern {
    const PathChar* pattern;
    bool presence;
};
static const ListingPattern kListingPatterns[] = {
    {PATH_TEXT("*.jpg"), true},  {PATH_TEXT("*.jpeg"), true}, {PATH_TEXT("*.jfif"), true},
    {PATH_TEXT("*.svg"), true},  {PATH_TEXT("*.png"), true},  {PATH_TEXT("*.gif"), false},
    {PATH_TEXT("*.webp"), true}, {PATH_TEXT("*.avif"), true}, {PATH_TEXT("*.ico"), true},
};

// Folder + pattern into `path`; false when it does not fit.
static bool FormPatternPath(const PathChar* folder, const PathChar* pattern, PathBuf& path) {
    path.Clear();
    path.AppendZ(folder);
    path.AppendZ(pattern);
    return !path.overflow;
}

bool FolderHasImages(const PathChar* folder) {
    PathChar storage[kPathCapacity];
    PathBuf path(storage);
    for (const PathChar* pattern : kPresencePatterns) {
        if (FormPatternPath(folder, pattern, path) && FileMatchExists(path.buf)) return true;
    }
    return false;
}

SystemError WriteImageEntries(LineWriter* page, const PathChar* folder, bool* hasImages, ListingSummary* summary) {
    int entryCounter = 0;
    if (summary) {
        summary->count = 0;
        summary->firstLength = 0;
    }
    PathChar storage[kPathCapacity];
    PathBuf path(storage);
    if (hasImages) *hasImages = false;
    for (const ListingPattern& pattern : kListingPatterns) {
        if (!FormPatternPath(folder, pattern.pattern, path)) continue;
        bool anyFile = false;
        SystemError error = WritePatternEntries(page, path.buf, &entryCounter, &anyFile, summary);
        if (summary) summary->count = entryCounter;
        if (error) return error;
        if (hasImages && pattern.presence && anyFile) *hasImages = true;
    }
    return 0;
}

SystemError WritePatternEntries(LineWriter* page, const PathChar* patternPath, int* entryCounter, bool* anyFile,
                                ListingSummary* summary) {
    DirSearch search;
    FoundEntry entry;
    SystemError error = 0;
    if (anyFile) *anyFile = false;
    if (!FindFirstEntry(patternPath, &search, &entry, &error)) return error;
    // A name is at most 259 units, three UTF-8 bytes each; raw POSIX names up to 255 bytes.
    char srcStorage[kEntryNameBytes];
    char textStorage[kEntryNameBytes];
    ByteBuf src(srcStorage);
    ByteBuf text(textStorage);
    do {
        if (entry.attributes & kAttributeDirectory) continue;
        if (anyFile) *anyFile = true;  // a file of the pattern, even a preview: the folder has images
        if (NameContainsNoCase(entry.name, entry.nameLength, "_t.")) continue;  // a preview copy
        if (NameContainsNoCase(entry.name, entry.nameLength, "_w.")) continue;
        src.Clear();
        text.Clear();
        AppendNameBytes(entry.name, entry.nameLength, src);
        AppendNameText(entry.name, entry.nameLength, text);
        if (src.overflow || text.overflow) continue;  // cannot happen for names the system hands out
        WriteEntry(page, ++*entryCounter, src.View(), text.View());
        if (summary && *entryCounter == 1 && entry.nameLength < kListingNameCapacity) {
            for (size_t i = 0; i <= entry.nameLength; ++i) summary->first[i] = entry.name[i];
            summary->firstLength = entry.nameLength;
        }
    } while (FindNextEntry(&search, &entry, &error));
    EndSearch(&search);
    return error;
}

bool IsListedImageName(const PathChar* name, size_t length) {
    if (NameContainsNoCase(name, length, "_t.") || NameContainsNoCase(name, length, "_w.")) return false;
    size_t dot = length;
    while (dot > 0 && name[dot - 1] != PathChar('.')) --dot;
    if (dot == 0) return false;
    for (const ListingPattern& pattern : kListingPatterns) {
        const PathChar* extension = pattern.pattern + 2;  // after "*."
        size_t i = 0;
        for (; dot + i < length && extension[i]; ++i) {
            PathChar c = name[dot + i];
            if (c >= PathChar('A') && c <= PathChar('Z')) c = PathChar(c + 32);
            if (c != extension[i]) break;
        }
        if (dot + i == length && !extension[i]) return true;
    }
    return false;
}
