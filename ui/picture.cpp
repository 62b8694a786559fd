#include "ui/picture.h"

#include <wincodec.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <string>

namespace {

struct Release {
    void operator()(IUnknown* object) const { object->Release(); }
};
template <typename Interface>
using Held = std::unique_ptr<Interface, Release>;

// The size that fits `width` x `height` into `box` with the same aspect.
SIZE fitted(UINT width, UINT height, SIZE box)
{
    const uint64_t boxWidth = static_cast<uint64_t>(box.cx);
    const uint64_t boxHeight = static_cast<uint64_t>(box.cy);
    if (width * boxHeight > height * boxWidth)  // wider than the box
        return {box.cx, static_cast<LONG>(std::max<uint64_t>(1, height * boxWidth / width))};
    return {static_cast<LONG>(std::max<uint64_t>(1, width * boxHeight / height)), box.cy};
}

// With COM ready on this thread.
HBITMAP decode(const void* bytes, size_t size, SIZE box, std::string& problem)
{
    const char* unreadable = "the system cannot read it as a picture";
    IWICImagingFactory* factoryPointer = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(&factoryPointer)))) {
        problem = "this system has no picture decoder";
        return nullptr;
    }
    const Held<IWICImagingFactory> factory(factoryPointer);
    IWICStream* streamPointer = nullptr;
    IWICBitmapDecoder* decoderPointer = nullptr;
    IWICBitmapFrameDecode* framePointer = nullptr;
    if (FAILED(factory->CreateStream(&streamPointer))) {
        problem = unreadable;
        return nullptr;
    }
    const Held<IWICStream> stream(streamPointer);
    // The decoder only reads the bytes, which outlive it.
    if (FAILED(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(bytes)), static_cast<DWORD>(size))) ||
        FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                &decoderPointer))) {
        problem = unreadable;
        return nullptr;
    }
    const Held<IWICBitmapDecoder> decoder(decoderPointer);
    UINT width = 0;
    UINT height = 0;
    if (FAILED(decoder->GetFrame(0, &framePointer))) {
        problem = unreadable;
        return nullptr;
    }
    const Held<IWICBitmapFrameDecode> frame(framePointer);
    if (FAILED(frame->GetSize(&width, &height)) || width == 0 || height == 0) {
        problem = unreadable;
        return nullptr;
    }
    if (static_cast<unsigned long long>(width) * height > kMostPicturePixels) {
        problem = "the picture is too large (" + std::to_string(width) + " x " + std::to_string(height) + " pixels)";
        return nullptr;
    }
    const SIZE shown = fitted(width, height, box);
    IWICBitmapScaler* scalerPointer = nullptr;
    IWICFormatConverter* converterPointer = nullptr;
    if (FAILED(factory->CreateBitmapScaler(&scalerPointer))) {
        problem = unreadable;
        return nullptr;
    }
    const Held<IWICBitmapScaler> scaler(scalerPointer);
    if (FAILED(scaler->Initialize(frame.get(), static_cast<UINT>(shown.cx), static_cast<UINT>(shown.cy),
                                  WICBitmapInterpolationModeFant)) ||
        FAILED(factory->CreateFormatConverter(&converterPointer))) {
        problem = unreadable;
        return nullptr;
    }
    const Held<IWICFormatConverter> converter(converterPointer);
    if (FAILED(converter->Initialize(scaler.get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom))) {
        problem = unreadable;
        return nullptr;
    }
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = shown.cx;
    info.bmiHeader.biHeight = -shown.cy;  // top-down, as WIC gives the rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    const HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    const UINT stride = static_cast<UINT>(shown.cx) * 4;
    if (!bitmap || FAILED(converter->CopyPixels(nullptr, stride, stride * static_cast<UINT>(shown.cy),
                                                static_cast<BYTE*>(pixels)))) {
        if (bitmap)
            DeleteObject(bitmap);
        problem = bitmap ? unreadable : "no memory for the picture";
        return nullptr;
    }
    return bitmap;
}

}  // namespace

HBITMAP decodePicture(const void* bytes, size_t size, SIZE box, std::string& problem)
{
    problem.clear();
    if (size == 0 || size > UINT_MAX || box.cx <= 0 || box.cy <= 0) {
        problem = "the system cannot read it as a picture";
        return nullptr;
    }
    // A thread that has COM in another mode keeps it; one that had none gets it for the call.
    const HRESULT readied = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const HBITMAP bitmap = decode(bytes, size, box, problem);
    if (SUCCEEDED(readied))
        CoUninitialize();
    return bitmap;
}
