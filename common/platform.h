// The small interface between the portable code and the operating system.
//
// One Win32 implementation (platform_win32_*.cpp) and one POSIX
// implementation (platform_posix.cpp) stand behind it; this header is the only
// place that picks between them. Paths are native texts: UTF-16 (wchar_t) on Windows,
// bytes on POSIX.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "text.h"

#if defined(_WIN32)
#define QUIMBO_WIN32 1
using PathChar = wchar_t;
constexpr PathChar kPathSeparator = L'\\';
#define PATH_TEXT(s) L##s
#else
#define QUIMBO_WIN32 0
using PathChar = char;
constexpr PathChar kPathSeparator = '/';
#define PATH_TEXT(s) s
#endif

using PathBuf = TextBuf<PathChar>;

// Capacity of a folder path with a pattern or one of the output names
// appended, the terminating zero included. On Windows the 512 characters a
// gallery folder may use; on POSIX the system's own path limit.
#if QUIMBO_WIN32
constexpr size_t kPathCapacity = 513;
#else
constexpr size_t kPathCapacity = 4096;
#endif

// A system error code: GetLastError() on Windows, errno on POSIX.
using SystemError = uint32_t;

// The system's codes for the failures the programs report themselves.
extern const SystemError kErrorNameTooLong;  // a path that does not fit its buffer
extern const SystemError kErrorDiskFull;     // a write that the disk could not take
extern const SystemError kErrorOutOfMemory;  // memory for a list or a buffer ran out
extern const SystemError kErrorAccessDenied; // a file someone protected (a read-only preview)

// ---- Files -------------------------------------------------------------------------------

// An open file; 0 when none is open.
using FileHandle = intptr_t;

// A file that replaces another only when it is complete. It is written under
// a temporary name beside its final one (the final name + ".quimbo-tmp",
// which no image pattern matches, not even through an 8.3 short name), then
// flushed and moved over the final name in one step, so that a failure at any
// point leaves the old file as it was.
struct OutputFile {
    FileHandle handle;
    PathChar temporary[kPathCapacity + 16];  // the final path and ".quimbo-tmp"
};

// Creates the temporary file for `path`, for writing only and shared with
// nobody; one that a killed run left there is removed first. False (with
// `error`, and nothing left behind) when it cannot be made, also when another
// running build is writing the same file right now (its temporary file is
// left alone: on POSIX the error is then EEXIST). Builds that hold the
// folder's lock (LockFolder) never meet each other here.
bool BeginOutputFile(const PathChar* path, OutputFile* out, SystemError* error);

// Writes all `size` bytes. False (with `error`) when the system refused or wrote short.
bool WriteFileBytes(FileHandle file, const void* data, size_t size, SystemError* error);

// Flushes the temporary file to disk, closes it and moves it over `path`,
// replacing a file there (on Windows after clearing its attributes to normal,
// so that a read-only, hidden or system file is replaced) or a symbolic link
// itself, never the link's target. On any failure the temporary file is
// removed, `path` is left as it was, and `error` tells why.
bool CommitOutputFile(OutputFile* out, const PathChar* path, SystemError* error);

// The two halves of CommitOutputFile, for files that replace their old
// versions together: FinishOutputFile flushes the temporary file to disk and
// closes it; MoveOutputFile then moves it over `path`. On a failure of either
// the temporary file is removed and `error` tells why.
bool FinishOutputFile(OutputFile* out, SystemError* error);
bool MoveOutputFile(OutputFile* out, const PathChar* path, SystemError* error);

// Closes and removes the temporary file of an output file that is given up.
void DiscardOutputFile(OutputFile* out);

// The whole new content of `path` in one call: BeginOutputFile, the bytes,
// CommitOutputFile.
bool WriteWholeFile(const PathChar* path, const void* data, size_t size, SystemError* error);

// Removes the temporary file of the output file `path` when a run that was
// killed left it behind; one that a running build holds stays, and so does
// anything at that name that is not a regular file. Callers name only files
// they write themselves: a file of the user's that merely ends in
// ".quimbo-tmp" is never touched.
void RemoveAbandonedTemporary(const PathChar* path);

// True when the name `name` of `length` units ends in ".quimbo-tmp", in any
// case: a folder without such a name needs no RemoveAbandonedTemporary.
bool IsTemporaryName(const PathChar* name, size_t length);

// True when something other than a regular file, a directory or a symbolic
// link stands at `path` (a FIFO, a socket, a device), which a gallery file
// must not be written to nor read from. Always false on Windows.
bool IsSpecialFile(const PathChar* path);

// Closes a file that was opened for writing in place (not an OutputFile).
// False (with `error`) when the close itself failed, which on some file
// systems is where a late write error shows.
bool CloseOutputFile(FileHandle file, SystemError* error);

// Reads at most `size` bytes from the start of the existing file at `path`
// into `data`, opened for reading without sharing. Returns the count read.
// Returns -1 with `error` 0 when there is no such file to read, also when
// `path` is a symbolic link (on Windows also a junction), and on POSIX when it
// is not a regular file: it is opened without following links and without
// blocking. -1 with the system's code when the file is there but cannot be
// opened or read.
long ReadFileStart(const PathChar* path, char* data, size_t size, SystemError* error);

// ---- Images read and file states (the previews) ------------------------------------------

// What the previews need to know about a file that may or may not exist.
struct FileState {
    bool exists;
    bool isFile;      // a regular file (a symbolic link counts as what it points to)
    bool readOnly;    // POSIX: no write bit in its mode; Windows: FILE_ATTRIBUTE_READONLY
    uint64_t modified;  // modification time, in the system's finest unit; only compared
};

// Fills `state`; a path that cannot be examined reads as not existing.
void ReadFileState(const PathChar* path, FileState* state);

// A folder held open while its previews are made, so that the state of a file
// in it is read by its name alone, without the system walking the folder's
// path again for each (POSIX: a descriptor for fstatat). True with
// `*folder` set when it could be opened; Windows keeps nothing and says false.
bool OpenFolderForStates(const PathChar* path, intptr_t* folder);
void CloseFolderForStates(intptr_t folder);

// ReadFileState of `path`, whose part after its first `folderLength` units is
// a name in `folder` (from OpenFolderForStates).
void ReadFileStateIn(intptr_t folder, const PathChar* path, size_t folderLength, FileState* state);

// An image file open for reading.
struct ImageFile {
    intptr_t handle;  // POSIX: the descriptor; Windows: the HANDLE
    uint64_t size;    // its size when it was opened
};

enum class ImageOpen { Opened, NotRegular, Failed };

// Opens the image at `path` for reading. Only a regular file is opened: its
// type is checked before the open and again on the open file (POSIX: fstat;
// Windows: GetFileType), and the open itself never waits, so that a FIFO or
// a device (a link to /dev/zero) is NotRegular and never read from. A
// symbolic link is followed: a link to a regular image is that image.
// Failed (with `error`) when it cannot be opened; NotRegular and Failed
// leave nothing open.
ImageOpen OpenImageFile(const PathChar* path, ImageFile* file, SystemError* error);

// Reads up to `size` bytes at `offset` of the open image into `data`;
// `*got` is 0 at the end of the file. It moves no file position that another
// read depends on. False (with `error`) when the system refused.
bool ReadImageFile(const ImageFile& file, uint64_t offset, void* data, size_t size, size_t* got, SystemError* error);

void CloseImageFile(ImageFile* file);

// ---- Threads and the allocator -----------------------------------------------------------
//
// Threads come from the system (pthreads, CreateThread), not std::thread:
// quimbo-build.exe links without the C++ runtime.

// Runs `work(context)` on `count` threads at once (the calling thread is one
// of them) and returns when every one has returned. Threads the system refuses
// are not started; the work still runs on the others.
void RunOnThreads(int count, void (*work)(void* context), void* context);

// One process-wide lock for the counters, the queues and the output of the workers.
void EnterOutputLock();
void LeaveOutputLock();

// With the output lock held: releases it, sleeps until WakeWaitingWorkers is
// called (or, rarely, for no reason: callers look at their condition again),
// and holds the lock again on return.
void WaitUnderOutputLock();
// Wakes every thread sleeping in WaitUnderOutputLock.
void WakeWaitingWorkers();

// The C library's allocator gives memory back to the system once it is
// freed, instead of keeping it for the next image (platform_memory_*.cpp):
// call before the workers start. glibc by itself raises the size at which a
// block is mapped on its own to the largest block freed so far (up to 32 MiB),
// so the pixel buffers of one image stay in the heap, and the next image's add
// to them: a run held about twice what its largest image needs.
void KeepFreedMemoryReturnable();
// Hands what the allocator holds free back to the system; after an image.
void ReturnFreedMemory();

// ---- Watching folders for changes (quimbo-build --watch) ---------------------------------
//
// One watch per process, over any number of folders, each known to the
// caller by an id of its own. Linux: inotify; Windows: ReadDirectoryChangesW
// on an I/O completion port; other systems: the folders' times, looked at
// every kWatchPollMilliseconds (a file rewritten in place, under the same
// name, shows only with the next change of its folder's entries).

constexpr uint32_t kWatchPollMilliseconds = 2000;

struct FolderWatch;  // opaque

enum class WatchEventKind : uint8_t {
    Entry,     // `name` in the folder was created, written, renamed or removed
    Unknown,   // something in the folder changed, not said what (lost events, polling): look again
    Gone,      // the folder itself was removed or moved away; its watch has ended
};

struct WatchEvent {
    int id;  // the folder's, as given to WatchFolder; -1: every folder (the system dropped events)
    WatchEventKind kind;
    bool isFolder;         // Entry: `name` is a folder (when the system says so, or it is one now)
    const PathChar* name;  // Entry: the name in the folder, `nameLength` units; valid during the callback
    size_t nameLength;
};

enum class WatchAdd { Watching, LimitReached, Failed };

// What the user can do when WatchAdd::LimitReached (Linux: the sysctl that
// raises the limit); empty where the system names no such limit.
extern const char kWatchLimitHint[];

// Starts the process's watch. Null (with `error`) when the system refuses.
FolderWatch* StartWatch(SystemError* error);

// Watches `folder` (ending in a separator) under `id`. LimitReached when the
// system allows no more watches (Linux: fs.inotify.max_user_watches; the
// test build of the platform layer also has a stand-in limit); Failed (with
// `error`) when the folder cannot be watched.
WatchAdd WatchFolder(FolderWatch* watch, const PathChar* folder, int id, SystemError* error);

// Ends the watch of `id`; events for it that are already queued are dropped.
void UnwatchFolder(FolderWatch* watch, int id);

// Waits up to `milliseconds` (kWaitForever: until something happens) for
// changes and hands each to `onEvent`, which must not call WatchFolder nor
// UnwatchFolder (note what to do, and do it after). Returns early, handing nothing more,
// when a stop was requested (CatchStopRequests).
constexpr uint32_t kWaitForever = 0xFFFFFFFFu;
void WaitForChanges(FolderWatch* watch, uint32_t milliseconds, void (*onEvent)(void* context, const WatchEvent& event),
                    void* context);

void EndWatch(FolderWatch* watch);

// From now on SIGINT and SIGTERM (Windows: Ctrl+C, Ctrl+Break, the console
// closed, the user logging off) do not end the process: they set the flag
// StopRequested reads and wake WaitForChanges, and the program ends itself
// once the file it is writing is complete. On Windows, when the console is
// closed, the system ends the process some seconds after; the program must
// be done by then.
void CatchStopRequests();
bool StopRequested();

// Milliseconds on a clock that only goes forward (not the time of day).
uint64_t MonotonicMilliseconds();

// ---- One build of a folder at a time -------------------------------------------------------

// A build's hold on its folder. Every build that writes a folder's files (the
// window's and quimbo-build's) holds it while it writes them, so that a second
// build of the same folder waits for the first instead of meeting its
// temporary files halfway. The lock belongs to the folder itself, not to a file
// in it, so it adds nothing to the user's folder and ends with its process,
// however that ends: flock on the folder's descriptor on POSIX; on Windows a
// named mutex after the folder's volume and file id, which every path to the
// folder (letter case, short names, another drive letter) leads to.
struct FolderLock {
    intptr_t handle;  // 0: nothing held
};

// Takes the lock of `folder` (ending in a separator), waiting at most
// `waitMilliseconds` for a build that holds it. True when it is taken, and also
// when the folder offers no lock (a file system without locks, a folder that
// cannot be opened): `lock` then holds nothing and the build goes on as it
// would without one. False, holding nothing, when another build still holds it
// after the wait.
bool LockFolder(const PathChar* folder, uint32_t waitMilliseconds, FolderLock* lock);

// Gives the lock back, on the thread that took it; one holding nothing stays so.
void UnlockFolder(FolderLock* lock);

// The system's code for "in use", for a build that found its folder's lock taken.
extern const SystemError kErrorFolderBusy;

// ---- A folder held open for a build -----------------------------------------------------

// A folder opened once for the reads and writes of its build, so that a name
// changed after it was opened (the folder renamed, replaced by a link to
// another folder) cannot lead them anywhere else.
struct HeldFolder {
    intptr_t handle;        // 0: nothing open
    const PathChar* path;   // the path it was opened by, ending in a separator (the caller's, kept alive)
    size_t pathLength;
};

enum class FolderOpen {
    Opened,
    NotFolder,  // something other than a folder of its own stands there now: a link, a file
    Failed,     // the system refused (`error`): gone, not readable
};

// Opens the folder `path` (ending in a separator). Without `base`, the path is
// opened as it is given, following links: the caller named that folder. With
// `base` (an open folder whose path `path` starts with), the names after it are
// opened one at a time, each from the one before, and none may be a link
// (POSIX: openat with O_NOFOLLOW | O_DIRECTORY; Windows: a reparse point is
// refused), so that the folder opened is below `base` now, whatever was renamed
// since `path` was found. On Windows the folder is held without sharing its
// deletion: it cannot be renamed, moved away or replaced while it is open.
FolderOpen OpenHeldFolder(const PathChar* path, const HeldFolder* base, HeldFolder* folder, SystemError* error);

void CloseHeldFolder(HeldFolder* folder);

// Makes the calling thread's file calls on the folder `folder` itself and on
// the files directly in it (output files and their temporaries, reads, the
// searches of a pattern in it, its lock) go through the open folder instead
// of its path: on POSIX the *at calls relative to its descriptor; on Windows
// the paths, which cannot change while the folder is held. Paths elsewhere are
// used as they are. Null ends it. One folder per thread at a time; the folder
// must stay open until the thread is done with it.
void WorkInFolder(const HeldFolder* folder);

// ---- File-system tests (never report, answer false or 0 on any failure) ----------------

// The absolute path of the existing folder `folder`, without "." and ".."
// parts (POSIX: also without links), into `out` (`capacity` units). False when
// it cannot be found or does not fit.
bool FullFolderPath(const PathChar* folder, PathChar* out, size_t capacity);

// True when a file or a directory exists at `path`.
bool PathExists(const PathChar* path);

// One entry of a directory search.
struct FoundEntry {
    const PathChar* name;   // the long name without folder, zero-terminated; valid until the next call
    size_t nameLength;      // in PathChar units
    uint32_t attributes;    // the platform's attribute word, with the kAttribute bits below in it
};
// The bits of the attribute word that the portable code looks at, with their
// Windows values; the POSIX search sets the same bits by its own rules.
constexpr uint32_t kAttributeDirectory = 0x10;  // a folder (on POSIX also a link to one)
constexpr uint32_t kAttributeHidden = 0x02;     // Windows: the hidden attribute; POSIX: a name that starts with "."
constexpr uint32_t kAttributeSystem = 0x04;     // Windows: the system attribute; never on POSIX
constexpr uint32_t kAttributeLink = 0x400;      // Windows: a reparse point (a symbolic link, a junction; not a
                                                // cloud service's placeholder folder); POSIX: a symbolic link

// Storage for one running directory search, opaque to the portable code.
struct DirSearch {
    alignas(16) unsigned char storage[1024];
    bool open;
};

// Starts a search for `pattern` (a folder followed by a wildcard pattern such
// as "*.jpg", matched without regard to letter case). The matches of one
// pattern come in the order the system gives them; on POSIX that is ordered by
// name without regard to case, as the Windows search on NTFS gives it.
// False when nothing matches (`error` 0) or the search fails (`error` says
// why); no need to end it then.
bool FindFirstEntry(const PathChar* pattern, DirSearch* search, FoundEntry* entry, SystemError* error);
// The next match. False at the end (`error` 0) or when the search fails
// halfway (`error` says why); the search must still be ended.
bool FindNextEntry(DirSearch* search, FoundEntry* entry, SystemError* error);
void EndSearch(DirSearch* search);

// True when the name `a` comes before the name `b` in the order the listing
// shows names in: the order of the Windows search on NTFS (UTF-16 units, each
// upper-cased on its own, then the units as they are). The POSIX search sorts
// its matches by the same rule.
bool NameComesBefore(const PathChar* a, size_t aLength, const PathChar* b, size_t bLength);

// True when a match of `pattern` exists that is not a directory (any match,
// not only the first: a folder named like an image hides no image beside it).
bool FileMatchExists(const PathChar* pattern);

// Low 32 bits of the size of the first match of `pattern`; 0 when nothing matches.
uint32_t FirstMatchSize(const PathChar* pattern);

// ---- Names in the page -------------------------------------------------------------------

// Appends a found file name as the page shows it in alt text and caption:
// UTF-8, with anything that is not valid text replaced (POSIX) or dropped
// (an unpaired surrogate on Windows).
void AppendNameText(const PathChar* name, size_t length, ByteBuf& out);

// Appends the bytes that address the file in the page's src attribute, before
// percent-encoding: the UTF-8 of the name on Windows, the raw name on POSIX.
void AppendNameBytes(const PathChar* name, size_t length, ByteBuf& out);

// True when `name` contains `part` (ASCII) regardless of letter case.
bool NameContainsNoCase(const PathChar* name, size_t length, const char* part);

// ---- Opening a file for the user ----------------------------------------------------------

// Hands `path` (an existing file) to the program the user has chosen for its
// kind, as a double click would: the shell's "open" action on Windows, the
// command `open` on macOS and `xdg-open` (from PATH) elsewhere. Does not wait
// for that program; its output goes to stderr, never to stdout. False when
// the opener could not be started, with the system's code in `error`;
// `opener` (when given) names what was tried, for the message.
bool OpenWithDefaultProgram(const PathChar* path, const char** opener, SystemError* error);

// ---- Clock, language, error texts ----------------------------------------------------------

struct LocalTime {
    int year, month, day, hour, minute;
};

// The local time now, unless a test has fixed it with SetClockForTests.
LocalTime ReadLocalTime();
void SetClockForTests(const LocalTime* fixed);  // null restores the real clock

// The user's default language as a Windows language identifier (primary
// language in the low ten bits). On POSIX, 0x0407 when the first of LC_ALL,
// LC_MESSAGES and LANG that is set begins with "de", else 0x0409.
uint16_t UserLanguageId();

// Capacity of SystemErrorText's result, the terminating zero included.
constexpr size_t kSystemErrorTextCapacity = 513;

// Writes the system's text for `code` into `out` (kSystemErrorTextCapacity
// units) and returns `out`: FormatMessageW's text on Windows, strerror's bytes
// on POSIX, trimmed at the end of blanks, control characters and full stops
// (TrimErrorText). Empty when the system has no text for the code or it does not fit.
const PathChar* SystemErrorText(SystemError code, PathChar* out);

// The platform's upper-case mapping of one UTF-16 unit: the system's table on
// Windows (LCMapStringW, which maps as CharUpperW does), the C.UTF-8 locale's
// on POSIX. A unit without a single-unit upper case stays as it is.
char16_t PlatformUpperCase(char16_t unit);
