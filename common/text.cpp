#include "text.h"

void AppendDecimal(ByteBuf& out, int64_t value, int minDigits) {
    char digits[24];
    int count = 0;
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    // Like printf's "%0Ni": the sign counts towards the width.
    if (value < 0) {
        out.Append('-');
        --minDigits;
    }
    for (int i = count; i < minDigits; ++i) out.Append('0');
    while (count > 0) out.Append(digits[--count]);
}
