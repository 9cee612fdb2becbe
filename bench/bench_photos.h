#pragma once

// The benchmarks' photographs: packaged ones brought to 24 MP, the same bytes
// for every benchmark, and the small helpers they share.

#include "image/exif_library.h"

#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline constexpr int kTargetWidth = 6000;
inline constexpr int kTargetHeight = 4000;
inline constexpr const char *kPhotoFolder = "/usr/share/backgrounds/mate/nature/";

struct Photo {
    std::string label;
    std::vector<uint8_t> jpeg;
    int width = 0;
    int height = 0;
};

inline std::vector<uint8_t> ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A packaged photograph brought to 6000 x 4000 (24 MP): decoded, its centre
// 3:2 part resized bilinearly, encoded at quality 92 with its own subsampling,
// progressive if asked.
inline bool MakeTwentyFourMegapixelPhoto(const std::string &name, bool progressive, Photo &photo)
{
    const std::vector<uint8_t> source = ReadFile(kPhotoFolder + name);
    if (source.empty())
        return false;
    tjhandle decoder = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(decoder, source.data(), source.size(), &width, &height, &subsampling,
                            &colourspace)
        != 0) {
        tjDestroy(decoder);
        return false;
    }
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    tjDecompress2(decoder, source.data(), source.size(), rgb.data(), width, width * 3, height,
                  TJPF_RGB, 0);
    tjDestroy(decoder);

    // Centre crop to 3:2 in source coordinates.
    double cropWidth = width, cropHeight = height;
    if (cropWidth * 2 > cropHeight * 3)
        cropWidth = cropHeight * 3 / 2;
    else
        cropHeight = cropWidth * 2 / 3;
    const double left = (width - cropWidth) / 2, top = (height - cropHeight) / 2;

    std::vector<uint8_t> large(size_t(kTargetWidth) * kTargetHeight * 3);
    for (int y = 0; y < kTargetHeight; ++y) {
        const double sy = std::clamp(top + (y + 0.5) * cropHeight / kTargetHeight - 0.5, 0.0, height - 1.0);
        const int y0 = int(sy), y1 = std::min(y0 + 1, height - 1);
        const double fy = sy - y0;
        for (int x = 0; x < kTargetWidth; ++x) {
            const double sx = std::clamp(left + (x + 0.5) * cropWidth / kTargetWidth - 0.5, 0.0, width - 1.0);
            const int x0 = int(sx), x1 = std::min(x0 + 1, width - 1);
            const double fx = sx - x0;
            for (int c = 0; c < 3; ++c) {
                auto at = [&](int px, int py) { return rgb[(size_t(py) * width + px) * 3 + c]; };
                const double value = (at(x0, y0) * (1 - fx) + at(x1, y0) * fx) * (1 - fy)
                    + (at(x0, y1) * (1 - fx) + at(x1, y1) * fx) * fy;
                large[(size_t(y) * kTargetWidth + x) * 3 + c] = uint8_t(value + 0.5);
            }
        }
    }

    tjhandle encoder = tjInitCompress();
    unsigned char *jpeg = nullptr;
    unsigned long jpegSize = 0;
    const int result = tjCompress2(encoder, large.data(), kTargetWidth, kTargetWidth * 3,
                                   kTargetHeight, TJPF_RGB, &jpeg, &jpegSize, subsampling, 92,
                                   progressive ? TJFLAG_PROGRESSIVE : 0);
    tjDestroy(encoder);
    if (result != 0)
        return false;
    static const char *const kSubsamplingNames[] = {"4:4:4", "4:2:2", "4:2:0", "grey", "4:4:0", "4:1:1"};
    photo.label = name.substr(0, name.find('.')) + " " +
                  (subsampling >= 0 && subsampling < 6 ? kSubsamplingNames[subsampling] : "?") +
                  (progressive ? " progressive" : "");
    photo.jpeg.assign(jpeg, jpeg + jpegSize);
    photo.width = kTargetWidth;
    photo.height = kTargetHeight;
    tjFree(jpeg);
    return true;
}

// The photographs the benchmarks run on, each brought to 24 MP, with a line
// on standard error naming what is missing. Empty when any is missing.
inline std::vector<Photo> MakeBenchPhotos(std::initializer_list<std::pair<const char *, bool>> namesAndProgressive)
{
    std::vector<Photo> photos;
    for (const auto &[name, progressive] : namesAndProgressive) {
        Photo photo;
        if (!MakeTwentyFourMegapixelPhoto(name, progressive, photo)) {
            std::fprintf(stderr, "photograph %s missing in %s: run scripts/setup.sh test (mate-backgrounds)\n",
                         name, kPhotoFolder);
            return {};
        }
        photos.push_back(std::move(photo));
    }
    std::printf("No packaged photograph has 24 MP: each is upscaled once to %dx%d (bilinear, quality 92).\n",
                kTargetWidth, kTargetHeight);
    return photos;
}

// Open, size, decode, close: the program's sequence, into a reused buffer.
// The buffer's capacity, or 0 when the decode failed.
inline uint32_t DecodeThroughLibrary(const Photo &photo, std::vector<uint8_t> &buffer)
{
    uint32_t handle = 0;
    uint32_t capacity = 0;
    bool ok = g_pfnExifMemOpen(photo.jpeg.data(), uint32_t(photo.jpeg.size()), &handle) == 0;
    ExifImageSize size{};
    ok = ok && g_pfnExifGetImageSizeType(handle, &size) == 0;
    if (ok) {
        capacity = (3 * size.Width + size.Width % 4) * size.Height + 40;
        buffer.resize(capacity);
        ok = g_pfnExifReadImage(handle, buffer.data(), capacity) == 0;
    }
    if (handle != 0)
        g_pfnExifFileClose(handle);
    return ok ? capacity : 0;
}

// TurboJPEG's single-threaded decode, top-down BGR rows of 3w + w % 4 bytes.
inline bool DecodeThroughTurboJpeg(tjhandle decoder, const Photo &photo, std::vector<uint8_t> &buffer)
{
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(decoder, photo.jpeg.data(), photo.jpeg.size(), &width, &height,
                            &subsampling, &colourspace)
        != 0)
        return false;
    const int stride = 3 * width + width % 4;
    buffer.resize(size_t(stride) * height);
    return tjDecompress2(decoder, photo.jpeg.data(), photo.jpeg.size(), buffer.data(), width, stride,
                         height, TJPF_BGR, 0)
        == 0;
}


inline double Milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

inline double Minimum(const std::vector<double> &values)
{
    return *std::min_element(values.begin(), values.end());
}

// The first line of /proc/loadavg: other work on the machine spreads the figures.
inline std::string LoadAverage()
{
    std::ifstream file("/proc/loadavg");
    std::string line;
    std::getline(file, line);
    return line;
}

} // namespace bench
