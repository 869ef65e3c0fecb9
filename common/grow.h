// A block on the heap that grows by doubling, for lists whose length only
// the data tells (the names of a folder).
#pragma once

#include <stddef.h>
#include <stdlib.h>

// Makes `*block` (malloc'd or null, `*capacity` items of `unit` bytes) hold at
// least `needed` items, doubling from 256. False when memory runs out; the
// block is then as it was, and the caller still frees it.
template <typename T>
inline bool GrowBlock(T** block, size_t* capacity, size_t needed) {
    if (needed <= *capacity) return true;
    size_t wanted = *capacity ? *capacity * 2 : 256;
    while (wanted < needed) wanted *= 2;
    void* grown = realloc(*block, wanted * sizeof(T));
    if (!grown) return false;
    *block = static_cast<T*>(grown);
    *capacity = wanted;
    return true;
}
