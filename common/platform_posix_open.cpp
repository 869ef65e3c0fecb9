// Opening a file in the user's program on POSIX: `open` on macOS, xdg-open
// elsewhere, started without a shell and not waited for.
#include <errno.h>
#include <spawn.h>
#include <unistd.h>

#include "platform.h"

extern char** environ;

bool OpenWithDefaultProgram(const PathChar* path, const char** opener, SystemError* error) {
#if defined(__APPLE__)
    const char* command = "open";
#else
    const char* command = "xdg-open";
#endif
    if (opener) *opener = command;
    // The opener's chatter goes to stderr: stdout carries only the paths
    // this program prints, for the scripts that read them.
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        *error = ENOMEM;
        return false;
    }
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    char* argv[] = {const_cast<char*>(command), const_cast<char*>(path), nullptr};
    pid_t child = 0;
    int result = posix_spawnp(&child, command, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        *error = result;
        return false;
    }
    return true;
}
