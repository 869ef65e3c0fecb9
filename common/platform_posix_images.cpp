// The previews' system calls on POSIX systems: file states, a folder held
// open for them, and images opened and read (the last two through the test
// seam of platform_files.cpp).
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform.h"
#include "platform_sys.h"

namespace {

void FillFileState(const struct stat& info, FileState* state) {
    state->exists = true;
    state->isFile = S_ISREG(info.st_mode);
    state->readOnly = (info.st_mode & 0222) == 0;
    state->modified = static_cast<uint64_t>(info.st_mtim.tv_sec) * 1000000000u + static_cast<uint64_t>(info.st_mtim.tv_nsec);
}

}  // namespace

void ReadFileState(const PathChar* path, FileState* state) {
    *state = FileState{false, false, false, 0};
    struct stat info;
    sys::PathAt at = sys::AtThreadFolder(path);  // in the folder being built: through what its build opened
    if (fstatat(at.dir, at.name, &info, 0) == 0) FillFileState(info, state);
}

bool OpenFolderForStates(const PathChar* path, intptr_t* folder) {
    sys::PathAt at = sys::AtThreadFolder(path);
    int fd = openat(at.dir, at.name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    *folder = fd;
    return true;
}

void CloseFolderForStates(intptr_t folder) { close(static_cast<int>(folder)); }

void ReadFileStateIn(intptr_t folder, const PathChar* path, size_t folderLength, FileState* state) {
    *state = FileState{false, false, false, 0};
    struct stat info;
    if (fstatat(static_cast<int>(folder), path + folderLength, &info, 0) == 0) FillFileState(info, state);
}

ImageOpen sys::OpenImage(const PathChar* path, ImageFile* file, SystemError* error) {
    *file = ImageFile{-1, 0};
    struct stat info;
    // Looked at first, so that a FIFO or a device is not even opened (opening
    // some devices does something); then again on the open file, which is
    // the one read, whatever was put at `path` in between.
    sys::PathAt at = sys::AtThreadFolder(path);
    if (fstatat(at.dir, at.name, &info, 0) == 0 && !S_ISREG(info.st_mode)) return ImageOpen::NotRegular;
    int fd = openat(at.dir, at.name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *error = static_cast<SystemError>(errno);
        return ImageOpen::Failed;
    }
    if (fstat(fd, &info) != 0) {
        *error = static_cast<SystemError>(errno);
        close(fd);
        return ImageOpen::Failed;
    }
    if (!S_ISREG(info.st_mode)) {
        close(fd);
        return ImageOpen::NotRegular;
    }
    file->handle = fd;
    file->size = static_cast<uint64_t>(info.st_size);
    return ImageOpen::Opened;
}

bool sys::ReadImage(const ImageFile& file, uint64_t offset, void* data, size_t size, size_t* got, SystemError* error) {
    *got = 0;
    if (size > (size_t(1) << 30)) size = size_t(1) << 30;
    for (;;) {
        ssize_t n = pread(static_cast<int>(file.handle), data, size, static_cast<off_t>(offset));
        if (n >= 0) {
            *got = static_cast<size_t>(n);
            return true;
        }
        if (errno != EINTR) {
            *error = static_cast<SystemError>(errno);
            return false;
        }
    }
}

void CloseImageFile(ImageFile* file) {
    if (file->handle >= 0) close(static_cast<int>(file->handle));
    *file = ImageFile{-1, 0};
}
