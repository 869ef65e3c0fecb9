// The allocator's side of the previews' memory (platform.h), where the C
// library offers no control: Windows' heap returns a freed block of more than
// 512 KiB (it was given its own pages) by itself, and so do most others.
#include "platform.h"

void KeepFreedMemoryReturnable() {}

void ReturnFreedMemory() {}
