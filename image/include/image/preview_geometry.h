#pragma once

#include <cmath>
#include <cstdint>
#include <optional>

// The arithmetic of the JPEG preview, apart so that it can be checked alone.

// Bytes the decoder needs for a w x h picture: a 40-byte header and rows of
// 3 bytes per pixel padded to 4, (3w + w mod 4) * h + 40. nullopt when the
// picture is empty or that does not fit in 32 bits.
inline std::optional<uint32_t> DecodeBufferCapacity(uint32_t width, uint32_t height)
{
    if (width == 0 || height == 0)
        return std::nullopt;
    const uint64_t capacity = (3 * uint64_t(width) + width % 4) * height + 40;
    if (capacity > UINT32_MAX)
        return std::nullopt;
    return uint32_t(capacity);
}

// Where the scaled picture goes across a control of width W: x and width D.
struct PreviewPlacement {
    int64_t x = 0;
    int64_t width = 0;
};

// Fits a w x h picture (h > 0) to the control's height H and centres it in
// its width W: D = trunc(H / h * w) and X = trunc((W - D) * 0.5), computed in
// double precision in exactly that order, so that for example a height of
// 202 gives a 3000 x 3000 picture the width 201. X is negative when the
// picture is wider than the control. |D| < 2^63 for any 32-bit inputs.
inline PreviewPlacement FitToHeight(int32_t controlWidth, int32_t controlHeight, uint32_t width, uint32_t height)
{
    PreviewPlacement placement;
    placement.width = int64_t(std::trunc(double(controlHeight) / double(height) * double(width)));
    placement.x = int64_t(std::trunc(double(controlWidth - placement.width) * 0.5));
    return placement;
}
