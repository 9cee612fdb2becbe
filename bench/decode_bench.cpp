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
#include "bench_photos.h"
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

using namespace bench;

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

    const std::vector<Photo> photos =
        MakeBenchPhotos({{"LadyBird.jpg", false}, {"Storm.jpg", false}, {"Wood.jpg", false}, {"LadyBird.jpg", true}});
    if (photos.empty()) {
        UnloadExifLibrary();
        return 1;
    }
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
