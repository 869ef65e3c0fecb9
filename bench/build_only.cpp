// The gallery build alone, as the window runs it: WriteGalleryFiles without
// the presence test (the window asks FolderHasImages when the folder is
// chosen, not in the build). quimbo-build adds that test and its start-up.
//
//   build_only FOLDER [--mem]
#include "../gallery/build.h"
#include "bench_util.h"

int MAIN(int argc, PathChar** argv) {
    if (argc < 2) {
        fputs("usage: build_only FOLDER [--mem]\n", stderr);
        return 64;
    }
    PathChar storage[4096];
    PathBuf folder(storage);
    FormFolder(argv[1], folder);
    GalleryOutcome outcome = WriteGalleryFiles(folder.buf, false);
    if (argc > 2 && ARG_EQ(argv[2], "--mem")) PrintPeakMemory();
    return outcome.ok ? 0 : 1;
}
