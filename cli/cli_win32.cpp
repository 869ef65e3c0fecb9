// quimbo-build's own system calls on Windows.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "cli_platform.h"

const SystemError kErrorAccessDenied = ERROR_ACCESS_DENIED;
const SystemError kErrorNoMemory = ERROR_NOT_ENOUGH_MEMORY;

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

ImageOpen OpenImageFile(const PathChar* path, ImageFile* file, SystemError* error) {
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

bool ReadImageFile(const ImageFile& file, uint64_t offset, void* data, size_t size, size_t* got, SystemError* error) {
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

uint64_t MonotonicMilliseconds() { return GetTickCount64(); }

int ProcessorCount() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? static_cast<int>(info.dwNumberOfProcessors) : 1;
}

bool StderrIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void ProtectStandardStreams() {}

bool FlushStdout(SystemError* error) {
    if (fflush(stdout) == 0 && !ferror(stdout)) return true;
    // The C library keeps the system's own code of the write that failed. A
    // pipe whose reader has gone reports one of three (Wine: "not connected").
    DWORD code = _doserrno ? static_cast<DWORD>(_doserrno) : ERROR_WRITE_FAULT;
    bool readerGone = code == ERROR_BROKEN_PIPE || code == ERROR_NO_DATA || code == ERROR_PIPE_NOT_CONNECTED;
    *error = readerGone ? 0 : code;
    return false;
}

namespace {
struct ThreadStart {
    void (*work)(void*);
    void* context;
};
DWORD WINAPI ThreadMain(void* argument) {
    ThreadStart* start = static_cast<ThreadStart*>(argument);
    start->work(start->context);
    return 0;
}
SRWLOCK OutputLock = SRWLOCK_INIT;
CONDITION_VARIABLE WorkChanged = CONDITION_VARIABLE_INIT;
}  // namespace

void RunOnThreads(int count, void (*work)(void* context), void* context) {
    constexpr int kMaxThreads = MAXIMUM_WAIT_OBJECTS;
    HANDLE threads[kMaxThreads];
    ThreadStart start{work, context};
    if (count > kMaxThreads) count = kMaxThreads;
    DWORD started = 0;
    for (int i = 1; i < count; ++i) {
        HANDLE thread = CreateThread(nullptr, 0, ThreadMain, &start, 0, nullptr);
        if (thread) threads[started++] = thread;
    }
    work(context);
    if (started) WaitForMultipleObjects(started, threads, TRUE, INFINITE);
    for (DWORD i = 0; i < started; ++i) CloseHandle(threads[i]);
}

void EnterOutputLock() { AcquireSRWLockExclusive(&OutputLock); }
void LeaveOutputLock() { ReleaseSRWLockExclusive(&OutputLock); }
void WaitUnderOutputLock() { SleepConditionVariableSRW(&WorkChanged, &OutputLock, INFINITE, 0); }
void WakeWaitingWorkers() { WakeAllConditionVariable(&WorkChanged); }
