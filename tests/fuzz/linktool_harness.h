// One run of Pinvane's command-line core over arbitrary bytes, shared by the
// libFuzzer target and the native unit tests (which replay the corpus).
#pragma once

#include <stddef.h>
#include <stdint.h>

// Reads `data` as a UTF-16LE command line and as the ANSI text of a number
// slot, runs the splitting, slot filling, number parsing and working-directory
// composition over it and checks that their results agree with each other and
// with simple reference versions. Returns false (after printing what broke to
// stderr) when an invariant does not hold.
bool CheckLinktoolInput(const uint8_t* data, size_t size);
