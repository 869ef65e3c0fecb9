// The few system calls that only quimbo-build needs beyond the platform layer
// of common/ (which also holds the previews' file states, image files,
// threads and lock): processors, the terminal and stdout. One POSIX file
// (cli_posix.cpp) and one Win32 file (cli_win32.cpp) stand behind it; CMake
// picks one.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "../common/platform.h"

// Processors this process may run on; at least 1.
int ProcessorCount();

// True when stderr is a terminal (a console on Windows).
bool StderrIsTerminal();

// Makes the standard streams safe to write to, however the caller left them:
// a write to a pipe whose reader has gone away fails like any other instead of
// ending the process (SIGPIPE on POSIX; Windows has no such signal), and on
// POSIX a stream the caller closed is opened on /dev/null, so that no file the
// program opens gets its number, and with it lines meant for the stream.
void ProtectStandardStreams();

// Flushes stdout, right after the writes it is to check. False when something
// printed there could not be written: `error` then tells why, or is 0 when
// stdout is a pipe whose reader has gone away (nobody is left to read it).
bool FlushStdout(SystemError* error);
