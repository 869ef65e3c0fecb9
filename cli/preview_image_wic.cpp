// Previews with the Windows Imaging Component, through COM: nothing to ship.
//
//   decode   the system's decoder for the file; a JPEG decoder that offers
//            IWICBitmapSourceTransform decodes at 1/2, 1/4 or 1/8 of the size
//   colour   an embedded ICC profile through IWICColorTransform to sRGB, where
//            the system can; then 32 bpp BGRA (CMYK, grey, palette, 16 bit)
//   scale    our own area average with premultiplied alpha, row band by row
//            band: IWICBitmapScaler samples nearest-neighbour in Wine in every
//            mode, and a preview must look the same on every system
//   orient   the EXIF orientation (read through the metadata query reader, or
//            from the file's own Exif block) applied to the pixels by hand
//   encode   JPEG at ImageQuality 0.7, PNG (32 bpp only where there is alpha),
//            WebP where the system has an encoder for it
#include <windows.h>

#include <initguid.h>  // defines the GUIDs of wincodec.h here, so nothing else must provide them
#include <objbase.h>
#include <wincodec.h>

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "preview_image.h"

// The decoder's scaled decode; Windows declares it in wincodec.h, mingw-w64's copy lacks it.
DEFINE_GUID(IID_IWICBitmapSourceTransform, 0x3b16811b, 0x6a43, 0x4ec9, 0xb7, 0x13, 0x3d, 0x5a, 0x0c, 0x13, 0xb9, 0x40);
struct IWICBitmapSourceTransform : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT width, UINT height, WICPixelFormatGUID* format,
                                                 WICBitmapTransformOptions transform, UINT stride, UINT size, BYTE* pixels) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClosestSize(UINT* width, UINT* height) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClosestPixelFormat(WICPixelFormatGUID* format) = 0;
    virtual HRESULT STDMETHODCALLTYPE DoesSupportTransform(WICBitmapTransformOptions transform, BOOL* supported) = 0;
};

namespace {

IWICImagingFactory* Factory = nullptr;  // free-threaded; shared by the workers (all in the MTA)

// The few calls of COM's DLL, looked up when the previews start: a run
// without --previews then loads none of COM's DLLs, which cost start-up time
// and memory (quimbo-build.exe imports only kernel32 and msvcrt).
struct ComCalls {
    HRESULT(WINAPI* CoCreateInstance)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
    HRESULT(WINAPI* CoInitializeEx)(LPVOID, DWORD);
    void(WINAPI* CoUninitialize)();
    HRESULT(WINAPI* CreateStreamOnHGlobal)(HGLOBAL, BOOL, LPSTREAM*);
    HRESULT(WINAPI* GetHGlobalFromStream)(LPSTREAM, HGLOBAL*);
    HRESULT(WINAPI* PropVariantClear)(PROPVARIANT*);
};
ComCalls Com = {};

template <typename Function>
bool Find(HMODULE module, const char* name, Function* function) {
    *function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return *function != nullptr;
}

// Loads ole32.dll and finds its calls; false when any is missing.
bool LoadCom() {
    HMODULE ole32 = LoadLibraryW(L"ole32.dll");
    return ole32 && Find(ole32, "CoCreateInstance", &Com.CoCreateInstance) &&
           Find(ole32, "CoInitializeEx", &Com.CoInitializeEx) && Find(ole32, "CoUninitialize", &Com.CoUninitialize) &&
           Find(ole32, "CreateStreamOnHGlobal", &Com.CreateStreamOnHGlobal) &&
           Find(ole32, "GetHGlobalFromStream", &Com.GetHGlobalFromStream) &&
           Find(ole32, "PropVariantClear", &Com.PropVariantClear);
}

template <typename T>
void Release(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

void Fail(PreviewImage* result, const char* text, HRESULT hr = S_OK) {
    char storage[kPreviewReasonCapacity];
    int n = hr == S_OK ? snprintf(storage, sizeof storage, "%s", text)
                       : snprintf(storage, sizeof storage, "%s (0x%08lX)", text, static_cast<unsigned long>(hr));
    SetPreviewFailure(result, storage, n < 0 ? 0 : static_cast<size_t>(n) < sizeof storage ? size_t(n) : sizeof storage - 1);
}

// What a decoder's failure means to the user.
void FailDecode(PreviewImage* result, HRESULT hr) {
    switch (hr) {
        case WINCODEC_ERR_COMPONENTNOTFOUND:
        case WINCODEC_ERR_UNKNOWNIMAGEFORMAT:
            Fail(result, "not a known image format");
            return;
        case WINCODEC_ERR_BADHEADER:
        case WINCODEC_ERR_BADIMAGE:
        case WINCODEC_ERR_BADSTREAMDATA:
        case WINCODEC_ERR_STREAMREAD:
        case WINCODEC_ERR_STREAMNOTAVAILABLE:
        case WINCODEC_ERR_FRAMEMISSING:
        case WINCODEC_ERR_UNEXPECTEDSIZE:
        case HRESULT_FROM_WIN32(ERROR_HANDLE_EOF):
        case E_FAIL:
            Fail(result, "the image is damaged or truncated", hr);
            return;
        case E_OUTOFMEMORY:
            Fail(result, "not enough memory for the image");
            return;
        default:
            Fail(result, "cannot decode the image", hr);
    }
}

// ---- Orientation ---------------------------------------------------------------------------

uint16_t Get16(const unsigned char* p, bool little) { return little ? uint16_t(p[0] | p[1] << 8) : uint16_t(p[0] << 8 | p[1]); }
uint32_t Get32(const unsigned char* p, bool little) {
    return little ? uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24)
                  : uint32_t(uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]);
}

// The orientation tag of a JPEG's Exif block, read from the file itself: for
// decoders whose metadata reader does not answer. 1 when there is none.
int ReadJpegOrientation(const PathChar* path) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    static constexpr DWORD kHead = 128 * 1024;  // the Exif block sits in the first APP segments
    unsigned char* head = static_cast<unsigned char*>(malloc(kHead));
    DWORD got = 0;
    if (!head || !ReadFile(file, head, kHead, &got, nullptr)) got = 0;
    CloseHandle(file);
    int orientation = 1;
    size_t at = 2;
    if (got < 4 || head[0] != 0xFF || head[1] != 0xD8) at = got;
    while (at + 4 <= got && head[at] == 0xFF) {
        unsigned marker = head[at + 1];
        size_t length = size_t(head[at + 2]) << 8 | head[at + 3];
        if (marker == 0xDA || marker == 0xD9 || length < 2) break;  // pixels begin: no Exif before them
        const unsigned char* body = head + at + 4;
        size_t bodyLength = length - 2;
        if (marker == 0xE1 && at + 2 + length <= got && bodyLength >= 14 && memcmp(body, "Exif\0\0", 6) == 0) {
            const unsigned char* tiff = body + 6;
            size_t tiffLength = bodyLength - 6;
            bool little = tiff[0] == 'I';
            uint32_t ifd = Get32(tiff + 4, little);
            if (ifd + 2 <= tiffLength) {
                unsigned count = Get16(tiff + ifd, little);
                for (unsigned i = 0; i < count && ifd + 2 + 12 * (i + 1) <= tiffLength; ++i) {
                    const unsigned char* entry = tiff + ifd + 2 + 12 * i;
                    if (Get16(entry, little) == 0x0112 && Get16(entry + 2, little) == 3) orientation = Get16(entry + 8, little);
                }
            }
            break;
        }
        at += 2 + length;
    }
    free(head);
    return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

// The EXIF orientation of a frame (1 to 8; 1 when it has none).
int ReadOrientation(IWICBitmapFrameDecode* frame, const GUID& container, const PathChar* path) {
    int orientation = 0;  // 0: the reader did not say
    IWICMetadataQueryReader* reader = nullptr;
    if (SUCCEEDED(frame->GetMetadataQueryReader(&reader))) {
        static const wchar_t* const kQueries[] = {L"/app1/ifd/{ushort=274}", L"/ifd/{ushort=274}"};
        for (const wchar_t* query : kQueries) {
            PROPVARIANT value;
            PropVariantInit(&value);
            if (SUCCEEDED(reader->GetMetadataByName(query, &value))) {
                if (value.vt == VT_UI2) orientation = value.uiVal;
                Com.PropVariantClear(&value);
                if (orientation) break;
            }
        }
        Release(reader);
    }
    if (orientation == 0 && container == GUID_ContainerFormatJpeg) orientation = ReadJpegOrientation(path);
    return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

// ---- Scaling ---------------------------------------------------------------------------------

// Area-averaging reduction of BGRA rows fed one at a time, with alpha
// premultiplied so that transparent pixels lend no colour to their neighbours.
struct AreaScaler {
    int inWidth, inHeight, outWidth, outHeight;
    double scaleX, scaleY;
    int* firstColumn;      // per output column: first source column
    int* columnCount;      // and how many
    float* columnWeight;   // their weights, column after column
    float* rowSum;         // one source row reduced across: outWidth x 4 (premultiplied B, G, R, alpha)
    float* acc[2];         // output rows being summed, by output row & 1
    unsigned char* out;    // outWidth x outHeight x 4
    int nextOut;           // the first output row not finished yet
};

bool StartScaler(AreaScaler* s, int inWidth, int inHeight, int outWidth, int outHeight) {
    *s = AreaScaler{};
    s->inWidth = inWidth;
    s->inHeight = inHeight;
    s->outWidth = outWidth;
    s->outHeight = outHeight;
    s->scaleX = double(inWidth) / outWidth;
    s->scaleY = double(inHeight) / outHeight;
    s->firstColumn = static_cast<int*>(malloc(sizeof(int) * outWidth));
    s->columnCount = static_cast<int*>(malloc(sizeof(int) * outWidth));
    s->columnWeight = static_cast<float*>(malloc(sizeof(float) * (size_t(inWidth) + 2 * outWidth)));
    s->rowSum = static_cast<float*>(malloc(sizeof(float) * 4 * outWidth));
    s->acc[0] = static_cast<float*>(calloc(size_t(4) * outWidth, sizeof(float)));
    s->acc[1] = static_cast<float*>(calloc(size_t(4) * outWidth, sizeof(float)));
    s->out = static_cast<unsigned char*>(malloc(size_t(4) * outWidth * outHeight));
    if (!s->firstColumn || !s->columnCount || !s->columnWeight || !s->rowSum || !s->acc[0] || !s->acc[1] || !s->out)
        return false;
    size_t w = 0;
    for (int x = 0; x < outWidth; ++x) {
        double left = x * s->scaleX, right = (x + 1) * s->scaleX;
        int first = static_cast<int>(floor(left));
        int last = static_cast<int>(ceil(right)) - 1;
        if (last >= inWidth) last = inWidth - 1;
        s->firstColumn[x] = first;
        s->columnCount[x] = last - first + 1;
        for (int c = first; c <= last; ++c) {
            double overlap = (c + 1 < right ? c + 1 : right) - (c > left ? c : left);
            s->columnWeight[w++] = static_cast<float>(overlap > 0 ? overlap : 0);
        }
    }
    return true;
}

void StopScaler(AreaScaler* s) {
    free(s->firstColumn);
    free(s->columnCount);
    free(s->columnWeight);
    free(s->rowSum);
    free(s->acc[0]);
    free(s->acc[1]);
    free(s->out);
    *s = AreaScaler{};
}

unsigned char ToByte(float value) { return static_cast<unsigned char>(value <= 0 ? 0 : value >= 255 ? 255 : value + 0.5f); }

// Writes output row `y` from its sums and clears them.
void FinishRow(AreaScaler* s, int y) {
    float* sum = s->acc[y & 1];
    float area = static_cast<float>(s->scaleX * s->scaleY);
    unsigned char* row = s->out + size_t(4) * s->outWidth * y;
    for (int x = 0; x < s->outWidth; ++x) {
        float* px = sum + 4 * x;
        float alpha = px[3];
        for (int c = 0; c < 3; ++c) row[4 * x + c] = alpha > 0 ? ToByte(px[c] / alpha) : 0;
        row[4 * x + 3] = ToByte(alpha / area * 255);
        px[0] = px[1] = px[2] = px[3] = 0;
    }
}

// Adds source row `r` (inWidth BGRA pixels).
void AddRow(AreaScaler* s, int r, const unsigned char* pixels) {
    size_t w = 0;
    for (int x = 0; x < s->outWidth; ++x) {
        float b = 0, g = 0, red = 0, a = 0;
        const unsigned char* px = pixels + 4 * size_t(s->firstColumn[x]);
        for (int i = 0; i < s->columnCount[x]; ++i, px += 4) {
            float weight = s->columnWeight[w++] * px[3] * (1.0f / 255);  // coverage times opacity
            b += weight * px[0];
            g += weight * px[1];
            red += weight * px[2];
            a += weight;
        }
        float* out = s->rowSum + 4 * x;
        out[0] = b;
        out[1] = g;
        out[2] = red;
        out[3] = a;
    }
    double top = r, bottom = r + 1;
    for (int y = static_cast<int>(top / s->scaleY); y < s->outHeight && y * s->scaleY < bottom; ++y) {
        double rowTop = y * s->scaleY, rowBottom = (y + 1) * s->scaleY;
        float overlap = static_cast<float>((bottom < rowBottom ? bottom : rowBottom) - (top > rowTop ? top : rowTop));
        if (overlap <= 0) continue;
        float* acc = s->acc[y & 1];
        for (int i = 0; i < 4 * s->outWidth; ++i) acc[i] += overlap * s->rowSum[i];
    }
    while (s->nextOut < s->outHeight && (s->nextOut + 1) * s->scaleY <= bottom + 1e-9) FinishRow(s, s->nextOut++);
    if (r == s->inHeight - 1)
        while (s->nextOut < s->outHeight) FinishRow(s, s->nextOut++);
}

// Applies `orientation` to a BGRA image of `width` x `height`; the result
// (turned dimensions for 5 to 8) in a new block from malloc, or null.
unsigned char* Orient(const unsigned char* in, int width, int height, int orientation) {
    bool turned = orientation >= 5;
    int outWidth = turned ? height : width, outHeight = turned ? width : height;
    unsigned char* out = static_cast<unsigned char*>(malloc(size_t(4) * width * height));
    if (!out) return nullptr;
    for (int y = 0; y < outHeight; ++y) {
        for (int x = 0; x < outWidth; ++x) {
            int sx = x, sy = y;
            switch (orientation) {
                case 2: sx = width - 1 - x; break;
                case 3: sx = width - 1 - x; sy = height - 1 - y; break;
                case 4: sy = height - 1 - y; break;
                case 5: sx = y; sy = x; break;
                case 6: sx = y; sy = height - 1 - x; break;
                case 7: sx = width - 1 - y; sy = height - 1 - x; break;
                case 8: sx = width - 1 - y; sy = x; break;
            }
            memcpy(out + 4 * (size_t(y) * outWidth + x), in + 4 * (size_t(sy) * width + sx), 4);
        }
    }
    return out;
}

// ---- Decoding -----------------------------------------------------------------------------

// The frame, decoded at the smallest size the decoder offers that is still at
// least `needWidth` x `needHeight`, as a bitmap; null where the decoder cannot
// scale (or would not gain anything), and then the frame itself is the source.
IWICBitmapSource* ScaledDecode(IWICBitmapFrameDecode* frame, UINT width, UINT height, UINT needWidth, UINT needHeight) {
    IWICBitmapSourceTransform* transform = nullptr;
    if (FAILED(frame->QueryInterface(IID_IWICBitmapSourceTransform, reinterpret_cast<void**>(&transform)))) return nullptr;
    UINT bestWidth = width, bestHeight = height;
    for (UINT divisor = 2; divisor <= 8; divisor *= 2) {
        UINT w = (width + divisor - 1) / divisor, h = (height + divisor - 1) / divisor;
        if (FAILED(transform->GetClosestSize(&w, &h))) break;
        if (w >= needWidth && h >= needHeight && w < bestWidth) bestWidth = w, bestHeight = h;
    }
    IWICBitmapSource* result = nullptr;
    WICPixelFormatGUID format;
    if (bestWidth < width && SUCCEEDED(frame->GetPixelFormat(&format)) &&
        SUCCEEDED(transform->GetClosestPixelFormat(&format))) {
        IWICComponentInfo* info = nullptr;
        IWICPixelFormatInfo* formatInfo = nullptr;
        UINT bits = 0;
        if (SUCCEEDED(Factory->CreateComponentInfo(format, &info)) &&
            SUCCEEDED(info->QueryInterface(IID_IWICPixelFormatInfo, reinterpret_cast<void**>(&formatInfo))))
            formatInfo->GetBitsPerPixel(&bits);
        Release(formatInfo);
        Release(info);
        UINT stride = (bestWidth * bits + 31) / 32 * 4;
        size_t size = size_t(stride) * bestHeight;
        unsigned char* pixels = bits ? static_cast<unsigned char*>(malloc(size)) : nullptr;
        IWICBitmap* bitmap = nullptr;
        if (pixels &&
            SUCCEEDED(transform->CopyPixels(nullptr, bestWidth, bestHeight, &format, WICBitmapTransformRotate0, stride,
                                            static_cast<UINT>(size), pixels)) &&
            SUCCEEDED(Factory->CreateBitmapFromMemory(bestWidth, bestHeight, format, stride, static_cast<UINT>(size),
                                                      pixels, &bitmap)))
            result = bitmap;  // the bitmap holds its own copy
        free(pixels);
    }
    Release(transform);
    return result;
}

// `source` converted to sRGB where the frame carries another ICC profile and
// the system can convert it; else `source` itself (with a reference added).
IWICBitmapSource* ToSrgb(IWICBitmapFrameDecode* frame, IWICBitmapSource* source) {
    source->AddRef();
    UINT count = 0;
    if (FAILED(frame->GetColorContexts(0, nullptr, &count)) || count == 0) return source;
    IWICColorContext* contexts[4] = {};
    if (count > 4) count = 4;
    for (UINT i = 0; i < count; ++i) Factory->CreateColorContext(&contexts[i]);
    IWICColorContext* srgb = nullptr;
    IWICColorTransform* transform = nullptr;
    UINT got = 0;
    WICColorContextType type;
    if (contexts[count - 1] && SUCCEEDED(frame->GetColorContexts(count, contexts, &got)) && got > 0 &&
        SUCCEEDED(contexts[0]->GetType(&type)) && type == WICColorContextProfile &&
        SUCCEEDED(Factory->CreateColorContext(&srgb)) && SUCCEEDED(srgb->InitializeFromExifColorSpace(1)) &&
        SUCCEEDED(Factory->CreateColorTransformer(&transform)) &&
        SUCCEEDED(transform->Initialize(source, contexts[0], srgb, GUID_WICPixelFormat32bppBGRA))) {
        source->Release();
        source = transform;
        transform = nullptr;
    }
    Release(transform);
    Release(srgb);
    for (IWICColorContext*& context : contexts) Release(context);
    return source;
}

// ---- Encoding -----------------------------------------------------------------------------

// Encodes a BGRA image into `result`.
void Encode(const unsigned char* pixels, int width, int height, PreviewFormat format, PreviewImage* result) {
    const GUID& container = format == PreviewFormat::Jpeg  ? GUID_ContainerFormatJpeg
                            : format == PreviewFormat::Png ? GUID_ContainerFormatPng
                                                           : GUID_ContainerFormatWebp;
    bool alpha = false;
    if (format != PreviewFormat::Jpeg)
        for (size_t i = 3; i < size_t(4) * width * height && !alpha; i += 4) alpha = pixels[i] != 255;
    WICPixelFormatGUID pixelFormat = alpha ? GUID_WICPixelFormat32bppBGRA : GUID_WICPixelFormat24bppBGR;
    UINT stride = alpha ? 4 * width : (3 * width + 3) / 4 * 4;
    unsigned char* packed = nullptr;
    if (!alpha) {
        packed = static_cast<unsigned char*>(malloc(size_t(stride) * height));
        if (!packed) return Fail(result, "not enough memory for the preview");
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) memcpy(packed + size_t(stride) * y + 3 * x, pixels + 4 * (size_t(width) * y + x), 3);
    }
    IStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    IPropertyBag2* options = nullptr;
    HRESULT hr = Factory->CreateEncoder(container, nullptr, &encoder);
    if (FAILED(hr)) {
        Fail(result, format == PreviewFormat::Webp ? "this system has no WebP encoder" : "no encoder for the format", hr);
    } else if (FAILED(hr = Com.CreateStreamOnHGlobal(nullptr, TRUE, &stream)) ||
               FAILED(hr = encoder->Initialize(stream, WICBitmapEncoderNoCache)) ||
               FAILED(hr = encoder->CreateNewFrame(&frame, &options))) {
        Fail(result, "cannot start the encoder", hr);
    } else {
        if (format == PreviewFormat::Jpeg) {
            PROPBAG2 option = {};
            option.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
            VARIANT quality;  // set by hand: VariantInit would import oleaut32.dll for one memset
            memset(&quality, 0, sizeof quality);
            quality.vt = VT_R4;
            quality.fltVal = kPreviewJpegQuality / 100.0f;
            options->Write(1, &option, &quality);
        }
        WICPixelFormatGUID accepted = pixelFormat;
        if (FAILED(hr = frame->Initialize(options)) || FAILED(hr = frame->SetSize(width, height)) ||
            FAILED(hr = frame->SetPixelFormat(&accepted))) {
            Fail(result, "cannot start the encoder", hr);
        } else if (accepted != pixelFormat) {
            Fail(result, "the encoder does not take 8-bit BGR pixels");
        } else if (FAILED(hr = frame->WritePixels(height, stride, stride * height, alpha ? const_cast<unsigned char*>(pixels) : packed)) ||
                   FAILED(hr = frame->Commit()) || FAILED(hr = encoder->Commit())) {
            Fail(result, "cannot encode the preview", hr);
        } else {
            ULARGE_INTEGER end = {};
            LARGE_INTEGER zero = {};
            HGLOBAL memory = nullptr;
            void* bytes = nullptr;
            if (SUCCEEDED(stream->Seek(zero, STREAM_SEEK_CUR, &end)) && SUCCEEDED(Com.GetHGlobalFromStream(stream, &memory)) &&
                (bytes = GlobalLock(memory)) != nullptr) {
                result->data = malloc(end.QuadPart ? size_t(end.QuadPart) : 1);
                if (result->data) {
                    memcpy(result->data, bytes, size_t(end.QuadPart));
                    result->size = size_t(end.QuadPart);
                    result->outcome = PreviewOutcome::Encoded;
                } else {
                    Fail(result, "not enough memory for the preview");
                }
                GlobalUnlock(memory);
            } else {
                Fail(result, "cannot read the encoded preview back");
            }
        }
    }
    Release(options);
    Release(frame);
    Release(encoder);
    Release(stream);
    free(packed);
}

}  // namespace

bool StartPreviewLibrary(ByteBuf& reason) {
    if (!LoadCom()) {
        reason.AppendZ("COM (ole32.dll) is not available");
        return false;
    }
    StartPreviewThread();
    HRESULT hr = Com.CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  reinterpret_cast<void**>(&Factory));
    if (FAILED(hr)) {
        char text[96];
        snprintf(text, sizeof text, "the Windows Imaging Component is not available (0x%08lX)", static_cast<unsigned long>(hr));
        reason.AppendZ(text);
        return false;
    }
    return true;
}

void StopPreviewLibrary() { Release(Factory); }

void StartPreviewThread() { Com.CoInitializeEx(nullptr, COINIT_MULTITHREADED); }

void StopPreviewThread() { Com.CoUninitialize(); }

void MakePreviewImage(const PathChar* path, PreviewFormat format, PreviewImage* result) {
    *result = PreviewImage{};
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICBitmapSource* scaled = nullptr;
    IWICBitmapSource* colour = nullptr;
    IWICFormatConverter* converter = nullptr;
    unsigned char* band = nullptr;
    AreaScaler scaler = {};
    GUID container = {};
    UINT width = 0, height = 0;
    HRESULT hr = Factory->CreateDecoderFromFilename(path, nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand, &decoder);
    if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || hr == HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED) ||
        hr == HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION)) {
        Fail(result, hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ? "the file is gone" : "the file cannot be opened", hr);
    } else if (FAILED(hr) || FAILED(hr = decoder->GetFrame(0, &frame)) || FAILED(hr = frame->GetSize(&width, &height)) ||
               FAILED(hr = decoder->GetContainerFormat(&container))) {
        FailDecode(result, hr);
    } else if (width <= UINT(kPreviewLongSide) && height <= UINT(kPreviewLongSide)) {
        result->outcome = PreviewOutcome::CopyOriginal;
    } else {
        int orientation = ReadOrientation(frame, container, path);
        bool turned = orientation >= 5;
        int previewWidth = 0, previewHeight = 0;  // upright
        PreviewSize(turned ? height : width, turned ? width : height, &previewWidth, &previewHeight);
        int storedWidth = turned ? previewHeight : previewWidth, storedHeight = turned ? previewWidth : previewHeight;

        scaled = ScaledDecode(frame, width, height, storedWidth, storedHeight);
        IWICBitmapSource* source = scaled ? scaled : frame;
        UINT sourceWidth = width, sourceHeight = height;
        source->GetSize(&sourceWidth, &sourceHeight);
        colour = ToSrgb(frame, source);
        constexpr UINT kBandRows = 16;
        band = static_cast<unsigned char*>(malloc(size_t(4) * sourceWidth * kBandRows));
        if (FAILED(hr = Factory->CreateFormatConverter(&converter)) ||
            FAILED(hr = converter->Initialize(colour, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0,
                                              WICBitmapPaletteTypeCustom))) {
            Fail(result, "cannot convert the image's pixels", hr);
        } else if (!band || !StartScaler(&scaler, sourceWidth, sourceHeight, storedWidth, storedHeight)) {
            Fail(result, "not enough memory for the image");
        } else {
            for (UINT row = 0; row < sourceHeight && !FAILED(hr); row += kBandRows) {
                UINT rows = sourceHeight - row < kBandRows ? sourceHeight - row : kBandRows;
                WICRect rect = {0, INT(row), INT(sourceWidth), INT(rows)};
                hr = converter->CopyPixels(&rect, 4 * sourceWidth, 4 * sourceWidth * rows, band);
                for (UINT i = 0; i < rows && !FAILED(hr); ++i) AddRow(&scaler, row + i, band + size_t(4) * sourceWidth * i);
            }
            if (FAILED(hr)) {
                FailDecode(result, hr);
            } else {
                unsigned char* upright = orientation == 1 ? nullptr : Orient(scaler.out, storedWidth, storedHeight, orientation);
                if (orientation != 1 && !upright) Fail(result, "not enough memory for the preview");
                else Encode(upright ? upright : scaler.out, previewWidth, previewHeight, format, result);
                free(upright);
            }
        }
    }
    StopScaler(&scaler);
    free(band);
    Release(converter);
    Release(colour);
    Release(scaled);
    Release(frame);
    Release(decoder);
}

void FreePreviewImage(PreviewImage* result) {
    free(result->data);
    *result = PreviewImage{};
}
