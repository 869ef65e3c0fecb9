#include "encode.h"

void EncodeImageSrc(std::string_view bytes, ByteBuf& out) {
    static const char kHex[] = "0123456789ABCDEF";
    for (char c : bytes) {
        unsigned char b = static_cast<unsigned char>(c);
        bool keep = (b >= 0x2D && b <= 0x3A) || (b >= 0x41 && b <= 0x5A) || b == 0x5F || (b >= 0x61 && b <= 0x7A) ||
                    b == 0x7E;
        if (keep) {
            out.Append(c);
        } else {
            char escaped[3] = {'%', kHex[b >> 4], kHex[b & 0x0F]};
            out.Append(escaped, 3);
        }
    }
}

void AppendAttributeText(std::string_view text, ByteBuf& out) {
    size_t plain = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char* entity = nullptr;
        switch (text[i]) {
            case '"': entity = "&quot;"; break;
            case '<': entity = "&lt;"; break;
            case '>': entity = "&gt;"; break;
            default: continue;
        }
        out.Append(text.data() + plain, i - plain);
        out.AppendZ(entity);
        plain = i + 1;
    }
    out.Append(text.data() + plain, text.size() - plain);
}

void AppendHtmlText(std::string_view text, ByteBuf& out) {
    static const char kHex[] = "0123456789ABCDEF";
    size_t plain = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        size_t bidi = BidiControlAt(text, i);
        if (text[i] != '&' && !bidi) continue;
        AppendAttributeText(Slice(text, plain, i - plain), out);
        if (!bidi) {
            out.AppendZ("&amp;");
            plain = i + 1;
            continue;
        }
        // Shown as its bytes, as quimbo-build prints it: \xE2\x80\xAE.
        for (size_t k = 0; k < bidi; ++k) {
            unsigned char b = static_cast<unsigned char>(text[i + k]);
            const char escaped[4] = {'\\', 'x', kHex[b >> 4], kHex[b & 15]};
            out.Append(escaped, 4);
        }
        i += bidi - 1;
        plain = i + 1;
    }
    AppendAttributeText(Slice(text, plain), out);
}

void FormatEntryId(int number, ByteBuf& out) { AppendDecimal(out, number, 3); }
