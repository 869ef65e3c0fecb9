/* The floor of a process that looks at a folder: opens it, reads every name
 * and counts them, in plain C with nothing but the C library. quimbo-build's
 * start-up on a one-image folder is compared with it (bench/run-startup-bench).
 *
 *   list_folder FOLDER     prints the number of names
 */
#include <dirent.h>
#include <stdio.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fputs("usage: list_folder FOLDER\n", stderr);
        return 64;
    }
    DIR* folder = opendir(argv[1]);
    if (!folder) {
        perror(argv[1]);
        return 1;
    }
    long names = 0;
    while (readdir(folder)) ++names;
    closedir(folder);
    printf("%ld\n", names);
    return 0;
}
