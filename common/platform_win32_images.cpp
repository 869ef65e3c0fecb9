// The previews' system calls on Windows: file states and images opened and
// read (the last two through the test seam of platform_files.cpp).
#include <windows.h>

#include "platform.h"
#include "platform_sys.h"

void ReadFileState(const PathChar* path, FileState* state) {
    *state = FileState{false, false, false, 0};
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return;
    state->exists = true;
    state->isFile = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    state->readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    state->modified = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

bool OpenFolderForStates(const PathChar*, intptr_t*) { return false; }

void CloseFolderForStates(intptr_t) {}

void ReadFileStateIn(intptr_t, const PathChar* path, size_t, FileState* state) { ReadFileState(path, state); }

ImageOpen sys::OpenImage(const PathChar* path, ImageFile* file, SystemError* error) {
    *file = ImageFile{0, 0};
    HANDLE handle = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return ImageOpen::Failed;
    }
    // A disk file, not a pipe or a character device (Wine opens a FIFO or a
    // link to /dev/zero there without waiting), and not a folder.
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(handle);
        return ImageOpen::NotRegular;
    }
    file->handle = reinterpret_cast<intptr_t>(handle);
    file->size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return ImageOpen::Opened;
}

bool sys::ReadImage(const ImageFile& file, uint64_t offset, void* data, size_t size, size_t* got, SystemError* error) {
    *got = 0;
    // At the offset given, as pread does; the file pointer this moves is used by no one.
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size), read = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(file.handle), data, chunk, &read, &at)) {
        DWORD code = GetLastError();
        if (code != ERROR_HANDLE_EOF) {
            *error = code;
            return false;
        }
    }
    *got = read;
    return true;
}

void CloseImageFile(ImageFile* file) {
    if (file->handle) CloseHandle(reinterpret_cast<HANDLE>(file->handle));
    *file = ImageFile{0, 0};
}
