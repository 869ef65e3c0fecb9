// Stop requests (SIGINT, SIGTERM) and the monotonic clock on POSIX systems.
// The signal handler only sets a flag and writes one byte into a pipe, which
// the watch's wait looks at beside its own descriptor, so that a stop wakes
// it at once; everything else happens on the program's own threads.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include "platform.h"
#include "platform_sys.h"

namespace {

volatile sig_atomic_t Stop = 0;
int WakePipe[2] = {-1, -1};

void OnStopSignal(int) {
    int saved = errno;
    Stop = 1;
    if (WakePipe[1] >= 0) {
        ssize_t ignored = write(WakePipe[1], "x", 1);
        (void)ignored;
    }
    errno = saved;
}

}  // namespace

void CatchStopRequests() {
    if (WakePipe[0] < 0 && pipe(WakePipe) == 0) {
        for (int fd : WakePipe) {
            fcntl(fd, F_SETFD, FD_CLOEXEC);
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
    }
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // a write or a read in progress goes on, whole
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested() { return Stop != 0; }

int sys::StopWakeDescriptor() { return WakePipe[0]; }

uint64_t MonotonicMilliseconds() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}
