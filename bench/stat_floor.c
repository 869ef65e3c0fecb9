/* The floor of the up-to-date check on a tree: for each folder one level
 * below TREE, reads its names and looks at every JPEG and at its preview
 * (NAME_t.jpg), two stats by name in the open folder, in plain C on one
 * thread. Whatever a build does besides, it cannot tell whether the previews
 * of the tree are up to date for less (bench/run-tree-bench prints it beside
 * the up-to-date run).
 *
 *   stat_floor TREE        prints the number of images looked at
 */
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fputs("usage: stat_floor TREE\n", stderr);
        return 64;
    }
    DIR* tree = opendir(argv[1]);
    if (!tree) {
        perror(argv[1]);
        return 1;
    }
    long images = 0;
    struct dirent* below;
    while ((below = readdir(tree))) {
        if (below->d_name[0] == '.') continue;
        int folder = openat(dirfd(tree), below->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder < 0) continue;
        DIR* names = fdopendir(dup(folder));
        struct dirent* item;
        while (names && (item = readdir(names))) {
            size_t length = strlen(item->d_name);
            if (length < 5 || strcmp(item->d_name + length - 4, ".jpg") != 0) continue;
            if (length >= 6 && strcmp(item->d_name + length - 6, "_t.jpg") == 0) continue;
            char preview[NAME_MAX + 3];
            if (length + 2 >= sizeof(preview)) continue;
            memcpy(preview, item->d_name, length - 4);
            memcpy(preview + length - 4, "_t.jpg", 7);
            struct stat image, previewState;
            fstatat(folder, item->d_name, &image, 0);
            fstatat(folder, preview, &previewState, 0);
            ++images;
        }
        if (names) closedir(names);
        close(folder);
    }
    closedir(tree);
    printf("%ld\n", images);
    return 0;
}
