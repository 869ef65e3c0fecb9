// libFuzzer harness for the header check of the previews: the first byte
// picks the format the file's name would give, the rest is the file.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "previews/image_header.h"

namespace {
struct Bytes {
    const uint8_t* data;
    size_t size;
};
bool ReadBytes(void* context, uint64_t offset, void* out, size_t size, size_t* got) {
    const Bytes* bytes = static_cast<const Bytes*>(context);
    *got = offset < bytes->size ? (size < bytes->size - offset ? size : size_t(bytes->size - offset)) : 0;
    if (*got) memcpy(out, bytes->data + offset, *got);
    return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const PreviewFormat kFormats[] = {PreviewFormat::Jpeg, PreviewFormat::Png, PreviewFormat::Webp};
    Bytes bytes{data + 1, size - 1};
    ImageHeader header;
    char storage[256];
    ByteBuf reason(storage);
    HeaderCheck check = ReadImageHeader(ReadBytes, &bytes, bytes.size, kFormats[data[0] % 3], &header, reason);
    if (check == HeaderCheck::Usable) {
        // Whatever the bytes, a usable header is within the limits.
        if (header.width == 0 || header.height == 0 || header.width > kPreviewMaxSide || header.height > kPreviewMaxSide ||
            uint64_t(header.width) * header.height > kPreviewMaxPixels || header.orientation < 1 || header.orientation > 8)
            abort();
    } else if (reason.len == 0 || reason.overflow) {
        abort();  // every refusal says why, on one line that fits
    }
    return 0;
}
