#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// Pictures held in memory (a camera's JPEG snapshot, a PNG resource) as
// bitmaps, decoded by the system's imaging component (WIC), which reads
// JPEG, PNG, BMP, GIF and TIFF.

// The largest picture decoded, in pixels: an 8K camera's, and no more
// memory than that for a file that only claims to be larger.
constexpr unsigned long long kMostPicturePixels = 40'000'000;

// Decodes `size` bytes of a picture and scales it to fit `box` (pixels),
// keeping its aspect: a 32-bit top-down DIB section that the caller owns
// (DeleteObject), or null with `problem` saying why in words
// ("the system cannot read it as a picture"). Runs on any thread, the
// editor's worker threads too; COM is readied on it for the time of the call.
HBITMAP decodePicture(const void* bytes, size_t size, SIZE box, std::string& problem);
