// libFuzzer entry: the title carry-over and the name encoders on arbitrary bytes.
#include <stdio.h>
#include <stdlib.h>

#include "gallery_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (const char* broken = CheckGalleryInput(data, size)) {
        fprintf(stderr, "broken: %s\n", broken);
        abort();
    }
    return 0;
}
