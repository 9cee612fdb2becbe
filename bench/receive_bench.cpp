// The whole handling of one downloaded 24-megapixel JPEG (ReceiveImage: decode
// through libExif.so, preview into a 418 x 283 area, save with fsync into a
// folder on disk) against TurboJPEG's own full-size decode of the same bytes
// into a reused buffer, measured in the same run, interleaved. Prints minimum
// and median of each and their ratio, the time of each stage, the memory the
// first picture adds, and how far the preview is from an exact area average.
//
//   receive_bench [rounds] [folder]     (default 9 rounds, a folder under $TMPDIR or /tmp)
// On a busy machine, steadier figures come from one core at real-time priority:
//   chrt -f 10 taskset -c 1 build/default/bin/receive_bench 15

#include "image/exif_library.h"
#include "image/image_file.h"
#include "image/image_receiver.h"
#include "image/preview_geometry.h"
#include "platform/local_time.h"
#include "image/offscreen_picture.h"

#include <QApplication>
#include <QImage>
#include <QWidget>

#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <time.h>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int kAreaWidth = 418; // the preview control at the usual dialog font
constexpr int kAreaHeight = 283;
constexpr const char *kPhotoFolder = "/usr/share/backgrounds/mate/nature/";

struct Photo {
    std::string label;
    std::vector<uint8_t> jpeg;
};

std::vector<uint8_t> ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A packaged photograph, its centre 3:2 part brought to 6000 x 4000 (Qt's
// smooth scaling) and encoded at quality 92 with the original's subsampling.
bool MakeTwentyFourMegapixelPhoto(const std::string &name, Photo &photo)
{
    const std::vector<uint8_t> source = ReadFile(kPhotoFolder + name);
    tjhandle decoder = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    const bool ok = !source.empty() &&
                    tjDecompressHeader3(decoder, source.data(), source.size(), &width, &height, &subsampling,
                                        &colourspace) == 0;
    tjDestroy(decoder);
    if (!ok)
        return false;
    QImage original;
    original.loadFromData(source.data(), int(source.size()), "JPEG");
    int cropWidth = width, cropHeight = height;
    if (cropWidth * 2 > cropHeight * 3)
        cropWidth = cropHeight * 3 / 2;
    else
        cropHeight = cropWidth * 2 / 3;
    const QImage large = original.copy((width - cropWidth) / 2, (height - cropHeight) / 2, cropWidth, cropHeight)
                             .scaled(kWidth, kHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_RGB888);

    tjhandle encoder = tjInitCompress();
    unsigned char *jpeg = nullptr;
    unsigned long jpegSize = 0;
    const int result = tjCompress2(encoder, large.constBits(), kWidth, int(large.bytesPerLine()), kHeight, TJPF_RGB,
                                   &jpeg, &jpegSize, subsampling, 92, 0);
    tjDestroy(encoder);
    if (result != 0)
        return false;
    photo.label = name + " from " + std::to_string(width) + "x" + std::to_string(height);
    photo.jpeg.assign(jpeg, jpeg + jpegSize);
    tjFree(jpeg);
    return true;
}

double Milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

// Time on this thread's processor, which other work on the machine hardly changes.
double ThreadMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Wall-clock and processor times of repeated runs of one thing.
struct Timings {
    std::vector<double> wall, processor;
    template <typename Work>
    void Measure(Work work)
    {
        const double processorStart = ThreadMilliseconds();
        const Clock::time_point start = Clock::now();
        work();
        wall.push_back(Milliseconds(Clock::now() - start));
        processor.push_back(ThreadMilliseconds() - processorStart);
    }
};

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Minimum(const std::vector<double> &values)
{
    return *std::min_element(values.begin(), values.end());
}

long StatusKilobytes(const char *field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::string(field).size()));
    return -1;
}

// Sets the peak resident size (VmHWM) back to the current one.
void ResetPeakMemory()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// TurboJPEG's decode, top-down BGR rows of 3w + w % 4 bytes, into a reused buffer.
bool DecodeWithTurboJpeg(tjhandle decoder, const Photo &photo, std::vector<uint8_t> &buffer)
{
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(decoder, photo.jpeg.data(), photo.jpeg.size(), &width, &height, &subsampling,
                            &colourspace) != 0)
        return false;
    const int stride = 3 * width + width % 4;
    buffer.resize(size_t(stride) * size_t(height));
    return tjDecompress2(decoder, photo.jpeg.data(), photo.jpeg.size(), buffer.data(), width, stride, height,
                         TJPF_BGR, 0) == 0;
}

// The program's decoder sequence into a reused buffer; the capacity, or 0.
uint32_t DecodeWithLibrary(const Photo &photo, std::vector<uint8_t> &buffer)
{
    uint32_t handle = 0;
    bool ok = g_pfnExifMemOpen(photo.jpeg.data(), uint32_t(photo.jpeg.size()), &handle) == 0;
    ExifImageSize size{};
    ok = ok && g_pfnExifGetImageSizeType(handle, &size) == 0;
    uint32_t capacity = 0;
    if (ok) {
        capacity = (3 * size.Width + size.Width % 4) * size.Height + 40;
        buffer.resize(capacity);
        ok = g_pfnExifReadImage(handle, buffer.data(), capacity) == 0;
    }
    if (handle != 0)
        g_pfnExifFileClose(handle);
    return ok ? capacity : 0;
}

// Mean absolute difference per channel between the preview and the exact
// area average of TurboJPEG's decode (top-down BGR), over the drawn area.
double DistanceFromAreaAverage(const QImage &preview, const std::vector<uint8_t> &bgr, int width, int height)
{
    const int stride = 3 * width + width % 4;
    const double destinationWidth = std::trunc(double(kAreaHeight) / height * width);
    const int x0 = int(std::trunc((kAreaWidth - destinationWidth) * 0.5));
    const double sx = width / destinationWidth, sy = double(height) / kAreaHeight;
    double total = 0;
    long samples = 0;
    for (int y = 0; y < kAreaHeight; ++y) {
        const double top = y * sy, bottom = (y + 1) * sy;
        for (int x = std::max(0, x0); x < std::min(kAreaWidth, x0 + int(destinationWidth)); ++x) {
            const double left = (x - x0) * sx, right = (x - x0 + 1) * sx;
            double sum[3] = {0, 0, 0};
            for (int row = int(top); row < std::min(height, int(std::ceil(bottom))); ++row) {
                const double wy = std::min(bottom, row + 1.0) - std::max(top, double(row));
                const uint8_t *line = bgr.data() + size_t(row) * size_t(stride);
                for (int column = int(left); column < std::min(width, int(std::ceil(right))); ++column) {
                    const double weight = wy * (std::min(right, column + 1.0) - std::max(left, double(column)));
                    for (int c = 0; c < 3; ++c)
                        sum[c] += weight * line[3 * column + c];
                }
            }
            const double area = (right - left) * (bottom - top);
            const QRgb shown = preview.pixel(x, y);
            total += std::abs(sum[0] / area - qBlue(shown)) + std::abs(sum[1] / area - qGreen(shown)) +
                     std::abs(sum[2] / area - qRed(shown));
            samples += 3;
        }
    }
    return samples > 0 ? total / double(samples) : -1;
}

void RemoveFiles(const fs::path &folder)
{
    for (const auto &entry : fs::directory_iterator(folder))
        fs::remove(entry.path());
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    const fs::path folder = argc > 2 ? fs::path(argv[2])
                                     : fs::temp_directory_path() / ("tavren-receive-bench-" + std::to_string(getpid()));
    fs::create_directories(folder);
    fs::current_path(folder);

    if (LoadExifLibrary() != 1) {
        std::fprintf(stderr, "libExif.so could not be loaded with all four entry points\n");
        UnloadExifLibrary();
        return 1;
    }
    std::vector<Photo> photos;
    for (const char *name : {"Storm.jpg", "Wood.jpg"}) {
        Photo photo;
        if (MakeTwentyFourMegapixelPhoto(name, photo))
            photos.push_back(std::move(photo));
    }
    if (photos.empty()) {
        std::fprintf(stderr, "no photographs in %s: run scripts/setup.sh (mate-backgrounds)\n", kPhotoFolder);
        return 1;
    }

    std::printf("No packaged photograph has 24 MP: each is upscaled once to %dx%d (quality 92).\n", kWidth, kHeight);
    std::printf("Preview area %dx%d; pictures saved with fsync into %s\n", kAreaWidth, kAreaHeight,
                folder.c_str());
    std::printf("%d rounds, interleaved; times in ms.\n", rounds);
    std::ifstream loadAverage("/proc/loadavg");
    std::string load;
    if (std::getline(loadAverage, load))
        std::printf("load average at start: %s\n", load.c_str());

    QWidget control;
    control.resize(kAreaWidth, kAreaHeight);
    image::OffscreenPicture picture(QSize(kAreaWidth, kAreaHeight));
    image::OffscreenPicture stagePicture(QSize(kAreaWidth, kAreaHeight));
    tjhandle decoder = tjInitDecompress();
    std::vector<uint8_t> turboBuffer, stageBuffer;
    int tenths = 0;
    platform::SetLocalTimeSource([&tenths] {
        platform::LocalTime time = platform::ReadLocalTime();
        time.second = tenths / 10 % 60;
        time.milliseconds = tenths % 10 * 100;
        ++tenths;
        return time;
    });
    int status = 0;

    for (const Photo &photo : photos) {
        CImageReceiver receiver;
        std::printf("\n%s: %zu bytes of JPEG\n", photo.label.c_str(), photo.jpeg.size());

        // The first picture, cold: what it adds to the process's peak memory.
        ResetPeakMemory();
        const long residentBefore = StatusKilobytes("VmRSS:");
        receiver.ReceiveImage(2, photo.jpeg.data(), uint32_t(photo.jpeg.size()), &control, &picture);
        const long peakGrowth = StatusKilobytes("VmHWM:") - residentBefore;
        if (receiver.DecodeBufferSize() == 0 || fs::is_empty(folder)) {
            std::fprintf(stderr, "the picture was not previewed and stored\n");
            status = 1;
            continue;
        }
        std::printf("  first picture: peak memory +%.1f MB; decode buffer kept: %.1f MB\n", peakGrowth / 1024.0,
                    double(receiver.DecodeBufferSize()) / (1024 * 1024));

        if (!DecodeWithTurboJpeg(decoder, photo, turboBuffer)) {
            std::fprintf(stderr, "TurboJPEG cannot decode it\n");
            status = 1;
            continue;
        }
        std::printf("  preview against an exact area average of the decoded picture: "
                    "%.3f grey levels (mean absolute difference per channel over the drawn area)\n",
                    DistanceFromAreaAverage(picture.Image(), turboBuffer, kWidth, kHeight));

        Timings whole, turbo, decode, stretch, save;
        for (int round = 0; round < rounds; ++round) {
            RemoveFiles(folder);
            for (int turn = 0; turn < 2; ++turn) {
                if ((turn == 0) == (round % 2 == 0))
                    whole.Measure([&] {
                        receiver.ReceiveImage(2, photo.jpeg.data(), uint32_t(photo.jpeg.size()), &control, &picture);
                    });
                else
                    turbo.Measure([&] { DecodeWithTurboJpeg(decoder, photo, turboBuffer); });
            }
            // The stages one by one, as the receiver runs them.
            uint32_t capacity = 0;
            decode.Measure([&] { capacity = DecodeWithLibrary(photo, stageBuffer); });
            stretch.Measure([&] {
                const PreviewPlacement placement = FitToHeight(kAreaWidth, kAreaHeight, kWidth, kHeight);
                stagePicture.Clear();
                stagePicture.StretchDib(stageBuffer.data(), capacity, {placement.x, 0, placement.width, kAreaHeight});
            });
            save.Measure([&] {
                const SaveResult saved = SaveImageBytes(FormatTimeStamp(platform::CurrentLocalTime()), 2,
                                                        photo.jpeg.data(), uint32_t(photo.jpeg.size()));
                if (!saved.saved)
                    std::fprintf(stderr, "  save failed: %s\n", saved.error.c_str());
            });
        }
        RemoveFiles(folder);
        std::printf("  %-36s %8s %8s   %8s %8s\n", "", "wall min", "median", "cpu min", "median");
        auto row = [](const char *what, const Timings &t) {
            std::printf("  %-36s %8.1f %8.1f   %8.1f %8.1f\n", what, Minimum(t.wall), Median(t.wall),
                        Minimum(t.processor), Median(t.processor));
        };
        row("ReceiveImage (decode, preview, save)", whole);
        row("TurboJPEG decode alone", turbo);
        std::printf("  %-36s %8.3f %8.3f   %8.3f %8.3f\n", "ratio", Minimum(whole.wall) / Minimum(turbo.wall),
                    Median(whole.wall) / Median(turbo.wall), Minimum(whole.processor) / Minimum(turbo.processor),
                    Median(whole.processor) / Median(turbo.processor));
        row("stage: decode through libExif.so", decode);
        row("stage: stretch to 418x283", stretch);
        row("stage: save with fsync", save);
    }
    std::printf("\nratio = ReceiveImage / TurboJPEG decode; target: median wall-clock ratio at most 1.25.\n"
                "cpu = this thread's processor time: the save's wait for the disk is not in it.\n");
    tjDestroy(decoder);
    platform::SetLocalTimeSource({});
    UnloadExifLibrary();
    std::error_code ignored;
    if (argc <= 2)
        fs::remove_all(folder, ignored);
    return status;
}
