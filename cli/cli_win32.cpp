// quimbo-build's own system calls on Windows.
#include <windows.h>

#include <stdlib.h>

#include "cli_platform.h"

const SystemError kErrorAccessDenied = ERROR_ACCESS_DENIED;

void ReadFileState(const PathChar* path, FileState* state) {
    *state = FileState{false, false, false, 0};
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return;
    state->exists = true;
    state->isFile = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    state->readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    state->modified = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

bool ReadWholeFile(const PathChar* path, void** data, size_t* size, SystemError* error) {
    *data = nullptr;
    *size = 0;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    LARGE_INTEGER length;
    if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &length)) {
        *error = GetLastError();
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        return false;
    }
    if (static_cast<unsigned long long>(length.QuadPart) > (static_cast<size_t>(-1) >> 1)) {
        CloseHandle(file);
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    size_t capacity = static_cast<size_t>(length.QuadPart);
    char* block = static_cast<char*>(malloc(capacity ? capacity : 1));
    size_t total = 0;
    while (block && total < capacity) {
        DWORD chunk = capacity - total > 0x10000000u ? 0x10000000u : static_cast<DWORD>(capacity - total);
        DWORD got = 0;
        if (!ReadFile(file, block + total, chunk, &got, nullptr) || got == 0) {
            *error = got == 0 && GetLastError() == ERROR_SUCCESS ? ERROR_HANDLE_EOF : GetLastError();
            free(block);
            CloseHandle(file);
            return false;
        }
        total += got;
    }
    CloseHandle(file);
    if (!block) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    *data = block;
    *size = total;
    return true;
}

int ProcessorCount() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? static_cast<int>(info.dwNumberOfProcessors) : 1;
}

bool StderrIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
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
