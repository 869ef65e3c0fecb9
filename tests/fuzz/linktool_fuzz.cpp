// libFuzzer target: arbitrary command lines and number texts through Pinvane's core.
#include <stdlib.h>

#include "linktool_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!CheckLinktoolInput(data, size)) abort();
    return 0;
}
