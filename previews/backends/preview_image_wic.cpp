// Previews with the Windows Imaging Component, through COM: nothing to ship.
//
//   decode   the system's decoder for the image's own format, made by its
//            container GUID (never by sniffing the content: the header check
//            has found the file to be that format), reading the open file
//            quimbo-build checked through a stream of our own; a JPEG decoder
//            that offers IWICBitmapSourceTransform decodes at 1/2, 1/4 or 1/8
//            of the size. Wine's decoders hold the whole image in memory from
//            the start; the limits of image_header.h bound that.
//   colour   an embedded ICC profile through IWICColorTransform to sRGB, where
//            the system can; then 32 bpp BGRA (CMYK, grey, palette, 16 bit)
//   scale    our own area average with premultiplied alpha, row band by row
//            band: IWICBitmapScaler samples nearest-neighbour in Wine in every
//            mode, and a preview must look the same on every system
//   orient   the EXIF orientation (read through the metadata query reader, or
//            from the file's own Exif block) applied to the pixels by hand
//   encode   JPEG at ImageQuality 0.7, PNG (32 bpp only where there is alpha,
//            adaptive row filters), WebP where the system has an encoder for
//            it; no metadata is written (no metadata writer is ever asked for)
#include <windows.h>

#include <initguid.h>  // defines the GUIDs of wincodec.h here, so nothing else must provide them
#include <objbase.h>
#include <wincodec.h>

#include <math.h>
#include <new>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "../../common/platform.h"
#include "../image_header.h"
#include "../preview_image.h"

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
        case WINCODEC_ERR_UNKNOWNIMAGEFORMAT:  // the decoder of the format (the header check found) could not read it
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

// ---- The open file as a stream ---------------------------------------------------------------

// An IStream that reads the open image at its own position (ReadImageFile),
// for the decoder. Read-only: the writing calls fail. The ImageFile outlives it:
// MakePreviewImage releases the decoder before it returns.
class ImageStream final : public IStream {
public:
    explicit ImageStream(const ImageFile& file) : file_(file) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream) {
            *object = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&references_);
        if (left == 0) free(this);  // from malloc, with nothing to destroy: see NewImageStream
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE Read(void* data, ULONG size, ULONG* read) override {
        ULONG total = 0;
        while (total < size) {
            size_t got = 0;
            SystemError error = 0;
            if (!ReadImageFile(file_, position_ + total, static_cast<char*>(data) + total, size - total, &got, &error)) {
                if (read) *read = total;
                return HRESULT_FROM_WIN32(error);
            }
            if (got == 0) break;
            total += static_cast<ULONG>(got);
        }
        position_ += total;
        if (read) *read = total;
        return total < size ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* result) override {
        long long base = origin == STREAM_SEEK_SET   ? 0
                         : origin == STREAM_SEEK_CUR ? static_cast<long long>(position_)
                         : origin == STREAM_SEEK_END ? static_cast<long long>(file_.size)
                                                     : -1;
        if (base < 0) return STG_E_INVALIDFUNCTION;
        long long target = base + move.QuadPart;
        if (target < 0) return STG_E_INVALIDFUNCTION;
        position_ = static_cast<uint64_t>(target);
        if (result) result->QuadPart = position_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
        memset(stat, 0, sizeof *stat);
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = file_.size;
        stat->grfMode = STGM_READ;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT STDMETHODCALLTYPE Clone(IStream** clone) override {
        *clone = nullptr;
        return E_NOTIMPL;
    }

private:
    ImageFile file_;
    uint64_t position_ = 0;
    LONG references_ = 1;
};

// A new ImageStream with one reference, or null. From malloc: quimbo-build.exe
// links without the C++ runtime, which operator new and delete would bring.
ImageStream* NewImageStream(const ImageFile& file) {
    static_assert(__has_trivial_destructor(ImageStream), "Release frees the memory without destroying anything");
    void* memory = malloc(sizeof(ImageStream));
    return memory ? new (memory) ImageStream(file) : nullptr;
}

// ---- Orientation ---------------------------------------------------------------------------

// The EXIF orientation of a frame (1 to 8), or `fallback` (what the header
// check read from a JPEG's own Exif block) where the metadata reader does not answer.
int ReadOrientation(IWICBitmapFrameDecode* frame, int fallback) {
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
    if (orientation == 0) orientation = fallback;
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
        } else if (format == PreviewFormat::Png) {
            // Each row with the filter that packs it best (the encoder has no
            // compression level to set). An encoder without the option keeps its own.
            PROPBAG2 option = {};
            option.pstrName = const_cast<LPOLESTR>(L"FilterOption");
            VARIANT filter;
            memset(&filter, 0, sizeof filter);
            filter.vt = VT_UI1;
            filter.bVal = WICPngFilterAdaptive;
            options->Write(1, &option, &filter);
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
    KeepFreedMemoryReturnable();
    // COM for the thread that starts the library (the first worker with an
    // image to decode), beside that worker's own StartPreviewThread: one more
    // than its StopPreviewThread undoes, so that the apartment, and the
    // factory made in it, stay until StopPreviewLibrary on the main thread.
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

void MakePreviewImage(const ImageFile& file, const ImageHeader& header, bool mayCopy, PreviewFormat format,
                      PreviewImage* result) {
    *result = PreviewImage{};
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICBitmapSource* scaled = nullptr;
    IWICBitmapSource* colour = nullptr;
    IWICFormatConverter* converter = nullptr;
    unsigned char* band = nullptr;
    AreaScaler scaler = {};
    UINT width = 0, height = 0;
    const GUID& container = format == PreviewFormat::Jpeg  ? GUID_ContainerFormatJpeg
                            : format == PreviewFormat::Png ? GUID_ContainerFormatPng
                                                           : GUID_ContainerFormatWebp;
    ImageStream* stream = NewImageStream(file);
    HRESULT hr = stream ? Factory->CreateDecoder(container, nullptr, &decoder) : E_OUTOFMEMORY;
    if (hr == WINCODEC_ERR_COMPONENTNOTFOUND) {
        Fail(result, format == PreviewFormat::Webp ? "this system has no WebP decoder" : "this system has no decoder for the format");
    } else if (FAILED(hr) || FAILED(hr = decoder->Initialize(stream, WICDecodeMetadataCacheOnDemand)) ||
               FAILED(hr = decoder->GetFrame(0, &frame)) || FAILED(hr = frame->GetSize(&width, &height))) {
        FailDecode(result, hr);
    } else if (width != header.width || height != header.height) {
        Fail(result, "the decoder sees another size than the header gives");
    } else {
        bool small = width <= UINT(kPreviewLongSide) && height <= UINT(kPreviewLongSide);
        int orientation = ReadOrientation(frame, header.orientation);
        bool turned = orientation >= 5;
        // A small image keeps its size; it is decoded all the same, to know
        // that it decodes whole, and encoded in case it must not be copied.
        int previewWidth = turned ? int(height) : int(width), previewHeight = turned ? int(width) : int(height);  // upright
        if (!small) PreviewSize(previewWidth, previewHeight, &previewWidth, &previewHeight);
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
                if (small && mayCopy && result->outcome == PreviewOutcome::Encoded) {
                    free(result->data);
                    *result = PreviewImage{};
                    result->outcome = PreviewOutcome::CopyOriginal;
                }
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
    if (stream) stream->Release();
}

// The decoders hold the whole image as decoded (Wine's from the start, at
// least 32 bits a pixel), the format converter a band of 16 rows, and the
// scaler its sums and the small image.
uint64_t PreviewMemoryNeed(const ImageHeader& header, PreviewFormat) {
    uint64_t pixels = uint64_t(header.width) * header.height;
    uint64_t bytes = header.bytesPerPixel < 4 ? 4 : uint64_t(header.bytesPerPixel);
    return (4ull << 20) + pixels * bytes + uint64_t(header.width) * 4 * 16 +
           uint64_t(kPreviewLongSide) * kPreviewLongSide * 12;
}

void FreePreviewImage(PreviewImage* result) {
    free(result->data);
    *result = PreviewImage{};
}
