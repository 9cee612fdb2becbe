#pragma once

// Real photographs for the decoder tests (Debian package mate-backgrounds,
// installed by scripts/setup.sh) and TurboJPEG's own decode of them.

#include <turbojpeg.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace photos {

inline const char *const kFolder = "/usr/share/backgrounds/mate/nature/";

// The file's bytes; throws with a hint when the package is missing.
inline std::vector<uint8_t> LoadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error(path + " is missing: run scripts/setup.sh (mate-backgrounds, libjpeg-turbo-progs)");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<uint8_t> Load(const std::string &name)
{
    return LoadFile(kFolder + name);
}

struct Decoded {
    int width = 0;
    int height = 0;
    int subsampling = -1;
    std::vector<uint8_t> bgr; // top-down rows, 3 * width bytes each, no padding
};

// TurboJPEG's decode with default flags, as the reference for pixel values.
// width and height are needed only where TurboJPEG cannot name the subsampling.
inline Decoded ReferenceDecode(const std::vector<uint8_t> &jpeg, int width = 0, int height = 0)
{
    Decoded decoded;
    tjhandle handle = tjInitDecompress();
    int colourspace = 0;
    if (width > 0) {
        decoded.width = width;
        decoded.height = height;
    } else if (tjDecompressHeader3(handle, jpeg.data(), jpeg.size(), &decoded.width, &decoded.height,
                                   &decoded.subsampling, &colourspace)
               != 0) {
        tjDestroy(handle);
        throw std::runtime_error("reference decoder cannot read the header");
    }
    decoded.bgr.resize(size_t(decoded.width) * size_t(decoded.height) * 3);
    tjDecompress2(handle, jpeg.data(), jpeg.size(), decoded.bgr.data(), decoded.width,
                  decoded.width * 3, decoded.height, TJPF_BGR, 0);
    tjDestroy(handle);
    return decoded;
}

// A lossless crop of a photograph (x and y on MCU boundaries), optionally grey.
inline std::vector<uint8_t> Crop(const std::vector<uint8_t> &jpeg, int x, int y, int width,
                                 int height, bool grey = false)
{
    tjhandle handle = tjInitTransform();
    tjtransform transform{};
    transform.r = tjregion{x, y, width, height};
    transform.op = TJXOP_NONE;
    transform.options = TJXOPT_CROP | (grey ? TJXOPT_GRAY : 0);
    unsigned char *out = nullptr;
    unsigned long outSize = 0;
    const int result = tjTransform(handle, jpeg.data(), jpeg.size(), 1, &out, &outSize, &transform, 0);
    tjDestroy(handle);
    if (result != 0)
        throw std::runtime_error("crop failed");
    std::vector<uint8_t> cropped(out, out + outSize);
    tjFree(out);
    return cropped;
}

} // namespace photos
