// Properties of the title carry-over and the name encoders that must hold for
// any input. Shared by the fuzzer and by the unit test that replays its corpus.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Returns null when every property holds, else a short description of the first broken one.
const char* CheckGalleryInput(const uint8_t* data, size_t size);
