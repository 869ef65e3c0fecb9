// Finding the images of a folder and writing one figure entry per image
// (the entry itself is WriteEntry's, in page_text.h).
#pragma once

#include "../common/common.h"

// Capacity of a folder path with a pattern or one of the output names
// appended, the terminating zero included. On Windows the 512 characters a
// gallery folder may use; on POSIX the system's own path limit.
#if QUIMBO_WIN32
constexpr size_t kPathCapacity = 513;
#else
constexpr size_t kPathCapacity = 4096;
#endif

// True when the folder (ending in a separator) holds a file of one of the
// presence patterns; GIF files do not count.
bool FolderHasImages(const PathChar* folder);

// Writes the entries of every listing pattern, numbered from 1 across all of them.
void WriteImageEntries(LineWriter* page, const PathChar* folder);

// Writes the entries of one pattern path, raising `entryCounter` before each.
void WritePatternEntries(LineWriter* page, const PathChar* patternPath, int* entryCounter);
