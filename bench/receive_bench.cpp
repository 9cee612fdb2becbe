// The whole handling of one downloaded 24-megapixel JPEG against TurboJPEG's
// own single-threaded decode of the same bytes (into a reused buffer),
// measured in the same run, interleaved:
//  1. ReceiveImage (decode through libExif.so, preview into a 418 x 283
//     logical area, save with fsync into a folder on disk), per photograph: minimum and
//     median of each, their ratio, the time of each stage, and the peak
//     memory a picture adds, cold and warm.
//  2. The program's own time per picture in a burst: the real main window,
//     the real bindings and the simulated camera (libVRX4KAPI.so, delivering
//     the 4:2:0 photograph byte for byte, all pictures queued before the clock
//     starts), under Qt's offscreen platform. Each picture's time runs from
//     the start of its image-ready handling (download copy, receive, repaint,
//     loop turn) to the start of the next one's. Its floor is measured right
//     before and after the burst: TurboJPEG into its kept buffer, and into new
//     memory, which is what the first picture of a window decodes into; and
//     how steady the machine itself is then, on one core and on two.
// Every target is printed with "met" or "NOT MET".
//
//   receive_bench [rounds] [folder]   (default 9 rounds, at least 9; the pictures go
//                                      into a new folder of their own inside `folder`,
//                                      by default the build's, on its disk, removed at the end)
// The receiver uses several cores: do not pin it to one with taskset.
// QT_SCALE_FACTOR=2 measures a screen of device pixel ratio 2 (four times the
// preview's pixels); every run also times the stretch at twice its ratio.

#include "app/camera_events.h"
#include "app/tether_dlg.h"
#include "bench_photos.h"
#include "camera/camera_library.h"
#include "image/exif_library.h"
#include "image/image_file.h"
#include "image/image_receiver.h"
#include "image/offscreen_picture.h"
#include "image/preview_geometry.h"
#include "platform/local_time.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QPushButton>
#include <QWidget>

#include <linux/magic.h>
#include <sys/vfs.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

// The window's own access for its tests: connects it to a camera as
// OnSelectCamera does, without the selection dialog.
class CTetherDlgTestAccess {
public:
    static void SetCamera(CTetherDlg &window, uint32_t handle) { window.m_hCamera = handle; }
};

namespace {

using namespace bench;
namespace fs = std::filesystem;

constexpr int kAreaWidth = 418; // the preview control at the usual dialog font
constexpr int kAreaHeight = 283;
constexpr int kBurstPictures = 30;
// The peak a warm picture may add: band state, thread stacks, the stretch's rows.
constexpr double kMostExtraMegabytes = 8;

// Time on this thread's processor, which other work on the machine hardly changes.
double ThreadMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Wall-clock and calling-thread processor times of repeated runs of one thing.
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

// What running `work` adds to the peak resident size, in MB.
template <typename Work>
double PeakGrowth(Work work)
{
    ResetPeakMemory();
    const long before = StatusKilobytes("VmRSS:");
    work();
    return double(StatusKilobytes("VmHWM:") - before) / 1024.0;
}

void RemoveFiles(const fs::path &folder)
{
    for (const auto &entry : fs::directory_iterator(folder))
        if (entry.is_regular_file())
            fs::remove(entry.path());
}

size_t CountFiles(const fs::path &folder)
{
    size_t count = 0;
    for (const auto &entry : fs::directory_iterator(folder))
        count += entry.is_regular_file();
    return count;
}

const char *Verdict(bool met)
{
    return met ? "met" : "NOT MET";
}

// The folder's file system, for the output: a tmpfs is no disk.
std::string FileSystemOf(const fs::path &folder)
{
    struct statfs info {};
    if (statfs(folder.c_str(), &info) != 0)
        return "unknown file system";
    if (info.f_type == TMPFS_MAGIC)
        return "tmpfs (memory, NOT a disk)";
    if (info.f_type == EXT4_SUPER_MAGIC)
        return "ext2/3/4 (disk)";
    char text[64];
    std::snprintf(text, sizeof text, "file system type 0x%lx", long(info.f_type));
    return text;
}

// Counts the image-ready events the window receives and when each begins.
class ImageReadyClock : public QObject {
public:
    std::vector<Clock::time_point> starts;

protected:
    // The window takes one camera event per wake-up: the oldest waiting.
    bool eventFilter(QObject *window, QEvent *event) override
    {
        if (event->type() == WM_CAMERA_EVENTS_WAITING && g_hEventWnd.Next(window) == WM_CAMERA_IMAGE_READY)
            starts.push_back(Clock::now());
        return false;
    }
};

// TurboJPEG's decode into a buffer of new memory, not zeroed, given back at
// once: every page is mapped as the decode first writes it.
bool DecodeIntoNewMemory(tjhandle decoder, const Photo &photo)
{
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(decoder, photo.jpeg.data(), photo.jpeg.size(), &width, &height, &subsampling,
                            &colourspace)
        != 0)
        return false;
    const int stride = 3 * width + width % 4;
    const std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size_t(stride) * height]);
    return buffer && tjDecompress2(decoder, photo.jpeg.data(), photo.jpeg.size(), buffer.get(), width, stride,
                                   height, TJPF_BGR, 0) == 0;
}

// The machine's own steadiness: a fixed piece of arithmetic, about as long as
// a picture, run again and again on one core and on both at once. Its worst
// run against its median is what the worst picture of a burst can do no
// better than, whatever the program does.
struct Steadiness {
    std::vector<double> one, two; // ms a run, on one core and on both

    double OneCore() const { return *std::max_element(one.begin(), one.end()) / Median(one); }
    double TwoCores() const { return *std::max_element(two.begin(), two.end()) / Median(two); }
    void Measure(int runs);
};

void Steadiness::Measure(int runs)
{
    const auto work = [] {
        volatile double value = 1;
        for (long i = 0; i < 12'000'000; ++i)
            value = value * 1.0000001 + 1e-9;
    };
    for (int run = 0; run < runs; ++run) {
        Clock::time_point start = Clock::now();
        work();
        one.push_back(Milliseconds(Clock::now() - start));
        start = Clock::now();
        std::thread helper(work);
        work();
        helper.join();
        two.push_back(Milliseconds(Clock::now() - start));
    }
}

struct BurstResult {
    bool ok = false;
    std::vector<double> perPicture; // ms, from one picture's start to the next one's
    int stored = 0;
};

// A burst of kBurstPictures through the real window and the simulated camera.
BurstResult MeasureBurst(const Photo &photo, const fs::path &folder)
{
    BurstResult result;
    const fs::path cameraFolder = folder / "camera";
    fs::create_directories(cameraFolder);
    std::ofstream(cameraFolder / "burst.jpg", std::ios::binary)
        .write(reinterpret_cast<const char *>(photo.jpeg.data()), std::streamsize(photo.jpeg.size()));
    setenv("VRX4K_SIM_PHOTO_DIR", cameraFolder.c_str(), 1);
    setenv("VRX4K_SIM_CAMERAS", "1", 1);
    setenv("VRX4K_SIM_FORMAT", "jpeg", 1);
    setenv("VRX4K_SIM_DELAY_MS", "0", 1);
    setenv("VRX4K_SIM_INTERVAL_MS", "0", 1);
    setenv("VRX4K_SIM_BUFFER", std::to_string(kBurstPictures).c_str(), 1);
    unsetenv("VRX4K_SIM_LOG"); // its checksums would run on the window's thread

    CreateCameraLibrary();
    CCameraLibrary *library = GetCameraLibrary();
    if (library == nullptr || library->Load() != 1 || library->Init(0) != 0) {
        std::fprintf(stderr, "the simulated camera library (libVRX4KAPI.so) could not be loaded\n");
        DestroyCameraLibrary();
        return result;
    }
    RemoveFiles(folder);
    {
        CTetherDlg window;
        window.show();
        g_hEventWnd.Set(&window);
        uint32_t camera = 0;
        if (library->Open(0, &camera, CameraEventCallback, 0) == 0) {
            CTetherDlgTestAccess::SetCamera(window, camera);
            window.ShootButton()->setEnabled(true);
            QElapsedTimer settle;
            settle.start();
            while (settle.elapsed() < 300)
                QApplication::processEvents(QEventLoop::AllEvents, 50);

            ImageReadyClock clock;
            window.installEventFilter(&clock);
            for (int i = 0; i < kBurstPictures; ++i)
                window.ShootButton()->click();
            // The camera queues every picture before the window handles any.
            std::this_thread::sleep_for(std::chrono::seconds(3));
            QElapsedTimer limit;
            limit.start();
            while (clock.starts.size() < size_t(kBurstPictures) && limit.elapsed() < 120'000)
                QApplication::processEvents(QEventLoop::AllEvents, 50);
            // The last picture: until its handling, repaint and loop turn are done.
            QApplication::processEvents(QEventLoop::AllEvents);
            const Clock::time_point end = Clock::now();
            window.removeEventFilter(&clock);
            for (size_t i = 0; i < clock.starts.size(); ++i)
                result.perPicture.push_back(
                    Milliseconds((i + 1 < clock.starts.size() ? clock.starts[i + 1] : end) - clock.starts[i]));
            result.stored = int(CountFiles(folder));
            result.ok = clock.starts.size() == size_t(kBurstPictures);
            g_hEventWnd.Clear(&window);
            library->Close(camera);
        }
    }
    library->Exit();
    library->Unload();
    DestroyCameraLibrary();
    RemoveFiles(folder);
    fs::remove_all(cameraFolder);
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int rounds = argc > 1 ? std::max(9, std::atoi(argv[1])) : 9;
    std::error_code error;
    const fs::path programFolder = fs::read_symlink("/proc/self/exe", error).parent_path();
    // A folder of its own: the benchmark empties it as it goes.
    const fs::path folder = (argc > 2 ? fs::path(argv[2]) : programFolder.parent_path()) /
                            ("receive-bench-" + std::to_string(getpid()));
    fs::create_directories(folder);
    fs::current_path(folder);

    if (LoadExifLibrary() != 1) {
        std::fprintf(stderr, "libExif.so could not be loaded with all four entry points\n");
        UnloadExifLibrary();
        return 1;
    }
    const std::vector<Photo> photos = MakeBenchPhotos({{"LadyBird.jpg", false}, {"Storm.jpg", false}, {"LadyBird.jpg", true}});
    if (photos.empty()) {
        UnloadExifLibrary();
        return 1;
    }
    QWidget control;
    control.resize(kAreaWidth, kAreaHeight);
    // In device pixels: QT_SCALE_FACTOR=2 gives the figures of a 2x screen.
    image::OffscreenPicture picture = image::OffscreenPicture::ForWidget(control);
    image::OffscreenPicture stagePicture = image::OffscreenPicture::ForWidget(control);
    const QSize area = picture.Size();
    image::OffscreenPicture doublePicture(area * 2, 2.0);
    std::printf("Preview area %dx%d logical, %dx%d device pixels (ratio %.2f); pictures saved with fsync into\n"
                "%s, on %s\n",
                kAreaWidth, kAreaHeight, area.width(), area.height(), picture.DevicePixelRatio(), folder.c_str(),
                FileSystemOf(folder).c_str());
    std::printf("%d rounds, interleaved; times in ms; %u cores.\n", rounds, std::thread::hardware_concurrency());
    std::printf("load average at start: %s\n", LoadAverage().c_str());

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
    bool allMet = true;

    for (const Photo &photo : photos) {
        const bool progressive = photo.label.find("progressive") != std::string::npos;
        CImageReceiver receiver;
        std::printf("\n%s: %zu bytes of JPEG\n", photo.label.c_str(), photo.jpeg.size());

        // TurboJPEG's first decode into a buffer of its own: what a cold decode needs.
        const double turboColdGrowth = PeakGrowth([&] {
            std::vector<uint8_t> fresh;
            DecodeThroughTurboJpeg(decoder, photo, fresh);
        });
        const double coldGrowth = PeakGrowth([&] {
            receiver.ReceiveImage(2, photo.jpeg.data(), uint32_t(photo.jpeg.size()), &control, &picture);
        });
        if (receiver.DecodeBufferSize() == 0 || CountFiles(folder) != 1) {
            std::fprintf(stderr, "the picture was not previewed and stored\n");
            status = 1;
            continue;
        }
        const double warmGrowth = PeakGrowth([&] {
            receiver.ReceiveImage(2, photo.jpeg.data(), uint32_t(photo.jpeg.size()), &control, &picture);
        });
        if (!DecodeThroughTurboJpeg(decoder, photo, turboBuffer)) {
            std::fprintf(stderr, "TurboJPEG cannot decode it\n");
            status = 1;
            continue;
        }
        // What the decode itself needs beyond its output (a progressive
        // picture's coefficients): the floor's share, for the comparison.
        const double turboGrowth = PeakGrowth([&] { DecodeThroughTurboJpeg(decoder, photo, turboBuffer); });

        Timings whole, turbo, decode, stretch, stretchOne, stretchDouble, save;
        for (int round = 0; round < rounds; ++round) {
            RemoveFiles(folder);
            for (int turn = 0; turn < 2; ++turn) {
                if ((turn == 0) == (round % 2 == 0))
                    whole.Measure([&] {
                        receiver.ReceiveImage(2, photo.jpeg.data(), uint32_t(photo.jpeg.size()), &control, &picture);
                    });
                else
                    turbo.Measure([&] { DecodeThroughTurboJpeg(decoder, photo, turboBuffer); });
            }
            // The stages one by one, as the receiver runs them.
            uint32_t capacity = 0;
            decode.Measure([&] { capacity = DecodeThroughLibrary(photo, stageBuffer); });
            const PreviewPlacement placement = FitToHeight(area.width(), area.height(), kTargetWidth, kTargetHeight);
            const image::DibDestination destination{placement.x, 0, placement.width, area.height()};
            stretch.Measure([&] {
                stagePicture.Clear();
                stagePicture.StretchDib(stageBuffer.data(), capacity, destination);
            });
            stretchOne.Measure([&] {
                stagePicture.Clear();
                stagePicture.StretchDib(stageBuffer.data(), capacity, destination, 1);
            });
            const PreviewPlacement doubled =
                FitToHeight(2 * area.width(), 2 * area.height(), kTargetWidth, kTargetHeight);
            stretchDouble.Measure([&] {
                doublePicture.Clear();
                doublePicture.StretchDib(stageBuffer.data(), capacity, {doubled.x, 0, doubled.width, 2 * area.height()});
            });
            save.Measure([&] {
                const SaveResult saved = SaveImageBytes(FormatTimeStamp(platform::CurrentLocalTime()), 2,
                                                        photo.jpeg.data(), uint32_t(photo.jpeg.size()));
                if (!saved.saved)
                    std::fprintf(stderr, "  save failed: %s\n", saved.error.c_str());
            });
        }
        RemoveFiles(folder);
        if (picture.Image() != stagePicture.Image()) {
            std::fprintf(stderr, "  the receiver's preview differs from the stages' one\n");
            status = 1;
        }
        std::printf("  %-40s %8s %8s   %8s %8s\n", "", "wall min", "median", "cpu min", "median");
        auto row = [](const char *what, const Timings &t) {
            std::printf("  %-40s %8.1f %8.1f   %8.1f %8.1f\n", what, Minimum(t.wall), Median(t.wall),
                        Minimum(t.processor), Median(t.processor));
        };
        row("ReceiveImage (decode, preview, save)", whole);
        row("TurboJPEG decode alone (the floor)", turbo);
        const double ratio = Median(whole.wall) / Median(turbo.wall);
        std::printf("  %-40s %8.3f %8.3f\n", "ratio ReceiveImage / floor", Minimum(whole.wall) / Minimum(turbo.wall),
                    ratio);
        row("stage: decode through libExif.so", decode);
        row("stage: stretch to the area, shared", stretch);
        row("stage: stretch to the area, one thread", stretchOne);
        row("stage: stretch at twice the ratio, shared", stretchDouble);
        row("stage: save with fsync", save);
        std::printf("  %-40s %8.3f %8.3f\n", "ratio libExif decode / floor", Minimum(decode.wall) / Minimum(turbo.wall),
                    Median(decode.wall) / Median(turbo.wall));
        const double target = progressive ? 1.10 : 0.85;
        std::printf("  target: ReceiveImage median at most %.2f of the floor: %.3f %s\n", target, ratio,
                    Verdict(ratio <= target));
        allMet &= ratio <= target;
        const double bufferMegabytes = double(receiver.DecodeBufferSize()) / (1024 * 1024);
        const bool memoryMet = warmGrowth <= turboGrowth + kMostExtraMegabytes &&
                               coldGrowth <= turboColdGrowth + kMostExtraMegabytes;
        std::printf("  peak memory: first picture +%.1f MB (decode buffer %.1f MB, kept), each later one +%.1f MB;\n"
                    "  TurboJPEG's decode: first +%.1f MB into a new buffer, +%.1f MB into its kept one.\n"
                    "  target: each at most TurboJPEG's and %.0f MB: %s\n",
                    coldGrowth, bufferMegabytes, warmGrowth, turboColdGrowth, turboGrowth, kMostExtraMegabytes,
                    Verdict(memoryMet));
        allMet &= memoryMet;
    }
    std::printf("\nfloor = TurboJPEG's tjDecompress2 on this thread; cpu = the calling thread's processor time\n"
                "(the helper threads' and the disk's share are not in it). Photographs interleaved with the floor.\n");
    platform::SetLocalTimeSource({});

    // The program's own time per picture in a burst, on the 4:2:0 photograph.
    std::printf("\nBurst: %d pictures of %s queued by the simulated camera at once, handled by the main window\n"
                "(offscreen platform), stored into %s; load average now: %s\n",
                kBurstPictures, photos[0].label.c_str(), folder.c_str(), LoadAverage().c_str());
    Timings keptFloor, newMemoryFloor;
    const auto measureFloors = [&] {
        for (int round = 0; round < rounds; ++round) {
            keptFloor.Measure([&] { DecodeThroughTurboJpeg(decoder, photos[0], turboBuffer); });
            newMemoryFloor.Measure([&] { DecodeIntoNewMemory(decoder, photos[0]); });
        }
    };
    Steadiness steadiness;
    measureFloors();
    steadiness.Measure(kBurstPictures / 2);
    const BurstResult burst = MeasureBurst(photos[0], folder);
    steadiness.Measure(kBurstPictures / 2);
    measureFloors();
    tjDestroy(decoder);
    const double burstFloor = Median(keptFloor.wall);
    const double newMemoryBurstFloor = Median(newMemoryFloor.wall);
    if (!burst.ok || burst.stored != kBurstPictures) {
        std::fprintf(stderr, "the burst was not handled: %zu pictures seen, %d stored\n", burst.perPicture.size(),
                     burst.stored);
        status = 1;
    } else {
        const double median = Median(burst.perPicture);
        const double first = burst.perPicture.front();
        const auto worstLaterAt = std::max_element(burst.perPicture.begin() + 1, burst.perPicture.end());
        const double worstLater = *worstLaterAt;
        std::printf("  per picture: min %.1f, median %.1f ms; the first %.1f ms, the worst after it %.1f ms (picture %d)\n"
                    "  floor, TurboJPEG's decode in %d runs around the burst: %.1f ms into its kept buffer,\n"
                    "  %.1f ms into new memory\n",
                    Minimum(burst.perPicture), median, first, worstLater,
                    int(worstLaterAt - burst.perPicture.begin()) + 1, 2 * rounds, burstFloor, newMemoryBurstFloor);
        std::printf("  target: median at most 1.00 of the floor: %.3f %s\n", median / burstFloor,
                    Verdict(median <= burstFloor));
        std::printf("  target: no picture into the kept decode buffer (2 to %d) above 1.10 of the floor: worst %.3f %s\n",
                    kBurstPictures, worstLater / burstFloor, Verdict(worstLater <= 1.10 * burstFloor));
        // The first picture maps the window's decode buffer, as any first decode must.
        std::printf("  target: the first picture, decoded into new memory, at most 1.10 of TurboJPEG's decode into\n"
                    "  new memory: %.3f %s (against the kept-buffer floor: %.3f)\n",
                    first / newMemoryBurstFloor, Verdict(first <= 1.10 * newMemoryBurstFloor), first / burstFloor);
        allMet &= median <= burstFloor && worstLater <= 1.10 * burstFloor && first <= 1.10 * newMemoryBurstFloor;
        std::printf("  this machine, just before and after: the same arithmetic, %zu runs, takes at worst %.2f\n"
                    "  times its median on one core, %.2f times on both at once\n",
                    steadiness.one.size(), steadiness.OneCore(), steadiness.TwoCores());
    }
    std::printf("\nall targets %s; load average at the end: %s\n", allMet ? "met" : "NOT met", LoadAverage().c_str());

    UnloadExifLibrary();
    fs::current_path(programFolder, error);
    fs::remove_all(folder, error);
    return status;
}
