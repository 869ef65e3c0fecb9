// quimbo-build's own system calls on Windows: processors, stdout and stderr.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "cli_platform.h"

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
