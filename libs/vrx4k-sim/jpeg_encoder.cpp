#include "jpeg_encoder.h"

#include <cstddef>

#include <turbojpeg.h>

namespace vrx4ksim {

std::vector<uint8_t> EncodeJpeg(const uint8_t *rgb, int width, int height, int quality)
{
    tjhandle encoder = tjInitCompress();
    if (!encoder)
        return {};
    unsigned char *jpeg = nullptr;
    unsigned long size = 0;
    std::vector<uint8_t> result;
    if (tjCompress2(encoder, rgb, width, 0, height, TJPF_RGB, &jpeg, &size, TJSAMP_420, quality, TJFLAG_FASTDCT) == 0)
        result.assign(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(encoder);
    return result;
}

void SpoilJpeg(std::vector<uint8_t> &jpeg)
{
    // A JPEG starts with 0xFF 0xD8; 0xFF 0x01 is rejected before any header is read.
    for (size_t i = 0; i < jpeg.size(); ++i)
        jpeg[i] = (i % 2 == 0) ? 0xFF : 0x01;
}

std::vector<uint8_t> DecodeJpeg(const std::vector<uint8_t> &jpeg, int &width, int &height)
{
    if (!ReadJpegSize(jpeg, width, height))
        return {};
    tjhandle decoder = tjInitDecompress();
    if (!decoder)
        return {};
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    if (tjDecompress2(decoder, jpeg.data(), static_cast<unsigned long>(jpeg.size()), rgb.data(), width, 0, height,
                      TJPF_RGB, 0) != 0)
        rgb.clear();
    tjDestroy(decoder);
    return rgb;
}

bool ReadJpegSize(const std::vector<uint8_t> &jpeg, int &width, int &height)
{
    tjhandle decoder = tjInitDecompress();
    if (!decoder)
        return false;
    int subsampling = 0, colourspace = 0;
    const bool ok = tjDecompressHeader3(decoder, jpeg.data(), static_cast<unsigned long>(jpeg.size()), &width,
                                        &height, &subsampling, &colourspace) == 0;
    tjDestroy(decoder);
    // A stream of tables only reads as success with no size.
    return ok && width > 0 && height > 0;
}

} // namespace vrx4ksim
