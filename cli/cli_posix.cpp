// quimbo-build's own system calls on POSIX systems: processors, stdout and stderr.
#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include "cli_platform.h"

int ProcessorCount() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        int count = CPU_COUNT(&set);
        if (count > 0) return count;
    }
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int>(online) : 1;
}

bool StderrIsTerminal() { return isatty(2) == 1; }

void ProtectStandardStreams() {
    signal(SIGPIPE, SIG_IGN);
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);  // takes the lowest free number: fd
            if (opened > 2) close(opened);
        }
    }
}

bool FlushStdout(SystemError* error) {
    if (fflush(stdout) == 0 && !ferror(stdout)) return true;
    *error = errno == EPIPE ? 0 : errno ? static_cast<SystemError>(errno) : EIO;
    return false;
}
