// Full-size decode time of libExif.so, loaded by name as the program loads it,
// against TurboJPEG's own single-threaded decode of the same bytes into a
// reused buffer. Both are measured in the same run, interleaved; prints min,
// median, ratio, and what opening a picture costs (its scans are counted
// then). Then the time libExif.so takes to refuse each hostile picture,
// against the TurboJPEG decode of the first photograph.
//
//   decode_bench [rounds]     (default 15, at least 9)
// libExif.so decodes on several cores: do not pin it to one with taskset.

#include "image/exif_library.h"
#include "made_jpegs.h"

#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr int kTargetWidth = 6000;
constexpr int kTargetHeight = 4000;
constexpr const char *kPhotoFolder = "/usr/share/backgrounds/mate/nature/";

using Clock = std::chrono::steady_clock;

struct Photo {
    std::string label;
    std::vector<uint8_t> jpeg;
    int width = 0;
    int height = 0;
};

std::vector<uint8_t> ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A packaged photograph brought to 6000 x 4000 (24 MP): decoded, its centre
// 3:2 part resized bilinearly, encoded at quality 92 with its own subsampling,
// progressive if asked.
bool MakeTwentyFourMegapixelPhoto(const std::string &name, bool progressive, Photo &photo)
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

double Milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

// Open, size, decode, close: the program's sequence, into a reused buffer.
bool DecodeThroughLibrary(const Photo &photo, std::vector<uint8_t> &buffer)
{
    uint32_t handle = 0;
    bool ok = g_pfnExifMemOpen(photo.jpeg.data(), uint32_t(photo.jpeg.size()), &handle) == 0;
    ExifImageSize size{};
    ok = ok && g_pfnExifGetImageSizeType(handle, &size) == 0;
    if (ok) {
        const uint32_t capacity = (3 * size.Width + size.Width % 4) * size.Height + 40;
        buffer.resize(capacity);
        ok = g_pfnExifReadImage(handle, buffer.data(), capacity) == 0;
    }
    if (handle != 0)
        g_pfnExifFileClose(handle);
    return ok;
}

bool DecodeThroughTurboJpeg(tjhandle decoder, const Photo &photo, std::vector<uint8_t> &buffer)
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

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Time of one ExifMemOpen and the close that follows, in ms: the median of
// rounds of `repeats` calls each. Returns the status of the last open.
uint16_t TimeOpen(const std::vector<uint8_t> &jpeg, int rounds, int repeats, double &median)
{
    std::vector<double> times;
    uint16_t status = 0;
    for (int round = 0; round < rounds; ++round) {
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < repeats; ++i) {
            uint32_t handle = 0;
            status = g_pfnExifMemOpen(jpeg.data(), uint32_t(jpeg.size()), &handle);
            if (handle != 0)
                g_pfnExifFileClose(handle);
        }
        times.push_back(Milliseconds(Clock::now() - start) / repeats);
    }
    median = Median(times);
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::max(9, std::atoi(argv[1])) : 15;

    if (LoadExifLibrary() != 1) {
        std::fprintf(stderr, "libExif.so could not be loaded with all four entry points\n");
        UnloadExifLibrary();
        return 1;
    }

    std::vector<Photo> photos;
    for (const auto &[name, progressive] : {std::pair{"LadyBird.jpg", false}, std::pair{"Storm.jpg", false},
                                            std::pair{"Wood.jpg", false}, std::pair{"LadyBird.jpg", true}}) {
        Photo photo;
        if (MakeTwentyFourMegapixelPhoto(name, progressive, photo))
            photos.push_back(std::move(photo));
    }
    if (photos.size() != 4) {
        std::fprintf(stderr, "photographs missing in %s: run scripts/setup.sh (mate-backgrounds)\n", kPhotoFolder);
        UnloadExifLibrary();
        return 1;
    }
    std::printf("No packaged photograph has 24 MP: each is upscaled once to %dx%d (bilinear, quality 92).\n",
                kTargetWidth, kTargetHeight);
    std::printf("%d rounds each, interleaved; times in ms for one full-size decode.\n", rounds);
    std::printf("TurboJPEG: tjDecompress2 on this thread; libExif: open, size, decode, close, on %u cores.\n",
                std::thread::hardware_concurrency());
    // Other work on the machine spreads the medians; the minima are steadier.
    std::ifstream loadAverage("/proc/loadavg");
    std::string load;
    if (std::getline(loadAverage, load))
        std::printf("load average at start: %s\n", load.c_str());
    std::printf("\n");
    std::printf("%-28s %8s %8s %8s %8s %7s %7s %8s %8s  %s\n", "photograph", "tj min", "tj med", "lib min",
                "lib med", "min x", "med x", "open ms", "open x", "target (median)");

    tjhandle decoder = tjInitDecompress();
    std::vector<uint8_t> libraryBuffer, turboBuffer;
    int status = 0;
    double floorMedian = 0; // TurboJPEG on the first photograph
    for (const Photo &photo : photos) {
        std::vector<double> library, turbo;
        // One untimed round of each first: page faults of the buffers, caches.
        if (!DecodeThroughLibrary(photo, libraryBuffer) || !DecodeThroughTurboJpeg(decoder, photo, turboBuffer)) {
            std::fprintf(stderr, "%s: decode failed\n", photo.label.c_str());
            status = 1;
            continue;
        }
        for (int round = 0; round < rounds; ++round) {
            for (int turn = 0; turn < 2; ++turn) {
                const bool libraryTurn = (turn == 0) == (round % 2 == 0);
                const Clock::time_point start = Clock::now();
                if (libraryTurn)
                    DecodeThroughLibrary(photo, libraryBuffer);
                else
                    DecodeThroughTurboJpeg(decoder, photo, turboBuffer);
                (libraryTurn ? library : turbo).push_back(Milliseconds(Clock::now() - start));
            }
        }
        double openMedian = 0;
        TimeOpen(photo.jpeg, rounds, 5, openMedian);
        const double libraryMin = *std::min_element(library.begin(), library.end());
        const double turboMin = *std::min_element(turbo.begin(), turbo.end());
        const double libraryMedian = Median(library), turboMedian = Median(turbo);
        if (floorMedian == 0)
            floorMedian = turboMedian;
        const bool progressive = photo.label.find("progressive") != std::string::npos;
        const double target = progressive ? 1.05 : 0.8;
        const double ratio = libraryMedian / turboMedian;
        std::printf("%-28s %8.1f %8.1f %8.1f %8.1f %7.3f %7.3f %8.2f %8.4f  <= %.2f %s\n", photo.label.c_str(),
                    turboMin, turboMedian, libraryMin, libraryMedian, libraryMin / turboMin, ratio,
                    openMedian, openMedian / turboMedian, target, ratio <= target ? "met" : "NOT MET");
    }
    std::printf("\nx = libExif.so / TurboJPEG; open = ExifMemOpen + ExifFileClose, part of the libExif time.\n");

    // Hostile pictures: refused by ExifMemOpen before anything is decoded.
    struct Hostile {
        const char *label;
        std::vector<uint8_t> jpeg;
    };
    const std::vector<Hostile> hostile = {
        {"500 scans claiming 6000x4000", made_jpegs::Hostile(6000, 4000, 500)},
        {"header claiming 65500x21857", made_jpegs::Hostile(65500, 21857, 1)},
        {"65500x21857 in 500 scans", made_jpegs::Hostile(65500, 21857, 500)},
        {"101 scans of 64x64", made_jpegs::Hostile(64, 64, 101, 1)},
        {"6000x5001 in 100 scans", made_jpegs::Hostile(6000, 5001, 100, 1)},
    };
    std::printf("\n%-32s %8s %7s %12s %10s  %s\n", "hostile picture", "bytes", "status", "refusal us",
                "x decode", "target");
    for (const Hostile &picture : hostile) {
        double refusal = 0;
        const uint16_t refused = TimeOpen(picture.jpeg, rounds, 200, refusal);
        const double ratio = refusal / floorMedian;
        std::printf("%-32s %8zu %7u %12.2f %10.6f  <= 1 %s\n", picture.label, picture.jpeg.size(), refused,
                    refusal * 1000, ratio, refused != 0 && ratio <= 1 ? "met" : "NOT MET");
        if (refused == 0)
            status = 1;
    }
    std::printf("x decode = refusal / TurboJPEG decode of %s (%.1f ms)\n", photos[0].label.c_str(), floorMedian);
    tjDestroy(decoder);
    UnloadExifLibrary();
    return status;
}
