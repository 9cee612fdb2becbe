// The main window during a burst: 30 pictures of 24 megapixels announced at
// once by the simulated camera library (loaded by name, as the program loads
// it) and handled by the real window on a real X display. While they are
// handled, a helper thread clicks the "..." button with real X clicks (the
// XTest extension, through its own display connection), one click at a time,
// each 100 ms after the previous one was handled. Prints, against the median
// time the window spends on one picture, measured in the same run:
//   - from a click leaving the helper thread to the button receiving it;
//   - from a picture's announcement to its preview being painted, and from
//     the end of its handling to that paint; pictures whose preview was never
//     painted before the next one was handled are counted.
// The button's press is swallowed, so no folder chooser opens.
//
//   window_bench [photo.jpg]     (under an X server: DISPLAY must be set)
//   xvfb-run -a -s '-screen 0 1280x1024x24' build/default/bin/window_bench
// Without a photo, one of the desktop backgrounds is scaled to 6000 x 4000.
// The machine's load (uptime) is printed with the figures: timings from a
// shared machine are noisy.

#include "app/camera_events.h"
#include "app/tether_dlg.h"
#include "camera/camera_library.h"
#include "image/exif_library.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QPushButton>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <dlfcn.h>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Sets the camera handle, as connecting does (the tests' access class).
class CTetherDlgTestAccess {
public:
    static void SetCamera(CTetherDlg &window, uint32_t handle) { window.m_hCamera = handle; }
};

namespace {

constexpr int kPictures = 30;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double Worst(const std::vector<double> &v)
{
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

// Xlib and XTest, bound at run time: the machine has their libraries but not
// necessarily their headers.
struct XClicker {
    using OpenDisplay = void *(*)(const char *);
    using CloseDisplay = int (*)(void *);
    using Flush = int (*)(void *);
    using FakeMotion = int (*)(void *, int, int, int, unsigned long);
    using FakeButton = int (*)(void *, unsigned, int, unsigned long);
    OpenDisplay openDisplay = nullptr;
    CloseDisplay closeDisplay = nullptr;
    Flush flush = nullptr;
    FakeMotion fakeMotion = nullptr;
    FakeButton fakeButton = nullptr;
    void *display = nullptr;

    bool Open()
    {
        void *x11 = dlopen("libX11.so.6", RTLD_NOW);
        void *xtst = dlopen("libXtst.so.6", RTLD_NOW);
        if (!x11 || !xtst)
            return false;
        openDisplay = reinterpret_cast<OpenDisplay>(dlsym(x11, "XOpenDisplay"));
        closeDisplay = reinterpret_cast<CloseDisplay>(dlsym(x11, "XCloseDisplay"));
        flush = reinterpret_cast<Flush>(dlsym(x11, "XFlush"));
        fakeMotion = reinterpret_cast<FakeMotion>(dlsym(xtst, "XTestFakeMotionEvent"));
        fakeButton = reinterpret_cast<FakeButton>(dlsym(xtst, "XTestFakeButtonEvent"));
        if (!openDisplay || !closeDisplay || !flush || !fakeMotion || !fakeButton)
            return false;
        display = openDisplay(nullptr);
        return display != nullptr;
    }
    void Click(QPoint at)
    {
        fakeMotion(display, -1, at.x(), at.y(), 0);
        fakeButton(display, 1, 1, 0);
        fakeButton(display, 1, 0, 0);
        flush(display);
    }
};

// The window, noting when a handled camera event was a picture.
class BenchWindow : public CTetherDlg {
public:
    bool pictureSeen = false;

protected:
    std::unique_ptr<uint8_t[]> AllocateDownloadBuffer(uint32_t size) override
    {
        pictureSeen = true;
        return CTetherDlg::AllocateDownloadBuffer(size);
    }
};

struct Figures {
    std::mutex lock;
    std::vector<Clock::time_point> announced;              // camera thread
    std::vector<std::pair<Clock::time_point, Clock::time_point>> handled; // GUI thread
    std::vector<Clock::time_point> painted;
    std::vector<Clock::time_point> clickHandled;
};
Figures g_figures;
BenchWindow *g_window = nullptr;

// Times each wake-up that handled a picture.
class TimingApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        if (receiver != g_window || event->type() != WM_CAMERA_EVENTS_WAITING)
            return QApplication::notify(receiver, event);
        g_window->pictureSeen = false;
        const Clock::time_point start = Clock::now();
        const bool result = QApplication::notify(receiver, event);
        if (g_window->pictureSeen)
            g_figures.handled.emplace_back(start, Clock::now());
        return result;
    }
};

class Watcher : public QObject {
public:
    QObject *preview = nullptr;
    QObject *button = nullptr;
    std::atomic<int> clicks{0};

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (object == preview && event->type() == QEvent::Paint)
            g_figures.painted.push_back(Clock::now());
        if (object == button && (event->type() == QEvent::MouseButtonPress ||
                                 event->type() == QEvent::MouseButtonRelease ||
                                 event->type() == QEvent::MouseButtonDblClick)) {
            if (event->type() != QEvent::MouseButtonRelease) {
                g_figures.clickHandled.push_back(Clock::now());
                ++clicks;
            }
            return true; // no folder chooser
        }
        return false;
    }
};

int32_t BenchCallback(int32_t context, int32_t event)
{
    if (event == 1) {
        std::lock_guard guard(g_figures.lock);
        g_figures.announced.push_back(Clock::now());
    }
    return CameraEventCallback(context, event);
}

std::vector<uint8_t> MakePhoto(const char *given)
{
    std::vector<uint8_t> bytes;
    if (given) {
        std::ifstream in(given, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return bytes;
    }
    QImage source(QStringLiteral("/usr/share/backgrounds/mate/nature/Dune.jpg"));
    if (source.isNull()) {
        source = QImage(600, 400, QImage::Format_RGB32);
        for (int y = 0; y < source.height(); ++y)
            for (int x = 0; x < source.width(); ++x)
                source.setPixel(x, y, qRgb(x % 256, y % 256, (x * y + std::rand()) % 256));
    }
    const QImage large = source.scaled(6000, 4000, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    large.save(&buffer, "JPEG", 90);
    return std::vector<uint8_t>(data.begin(), data.end());
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "window_bench needs an X display (xvfb-run -a ...)\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    const fs::path folder = fs::temp_directory_path() / ("tavren-window-bench-" + std::to_string(getpid()));
    // Removed however the benchmark ends, with the photograph it wrote there.
    struct FolderRemover {
        fs::path path;
        ~FolderRemover()
        {
            std::error_code ignored;
            fs::current_path("/", ignored);
            fs::remove_all(path, ignored);
        }
    } const removeFolder{folder};
    fs::create_directories(folder / "photos");
    fs::create_directories(folder / "pictures");
    setenv("VRX4K_SIM_PHOTO_DIR", (folder / "photos").c_str(), 1);
    setenv("VRX4K_SIM_DELAY_MS", "1000", 1);
    setenv("VRX4K_SIM_INTERVAL_MS", "0", 1);
    setenv("VRX4K_SIM_BUFFER", "100", 1);

    TimingApplication application(argc, argv);
    const std::vector<uint8_t> photo = MakePhoto(argc > 1 ? argv[1] : nullptr);
    std::ofstream(folder / "photos" / "photo.jpg", std::ios::binary)
        .write(reinterpret_cast<const char *>(photo.data()), std::streamsize(photo.size()));
    fs::current_path(folder / "pictures");

    CreateCameraLibrary();
    CCameraLibrary *library = GetCameraLibrary();
    if (!library || !LoadExifLibrary() || !library->Load() || library->Init(0) != 0) {
        std::fprintf(stderr, "the camera or decoder library did not start\n");
        return 1;
    }
    XClicker clicker;
    if (!clicker.Open()) {
        std::fprintf(stderr, "no XTest: libX11.so.6 and libXtst.so.6 are needed\n");
        return 1;
    }

    int result = 0;
    {
        BenchWindow window;
        g_window = &window;
        Watcher watcher;
        watcher.preview = window.PreviewControl();
        watcher.button = window.BrowseFolderButton();
        window.PreviewControl()->installEventFilter(&watcher);
        window.BrowseFolderButton()->installEventFilter(&watcher);
        window.show();
        for (int i = 0; i < 50; ++i) {
            QApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const QPoint target = window.BrowseFolderButton()->mapToGlobal(window.BrowseFolderButton()->rect().center());

        g_hEventWnd.Set(&window);
        uint32_t handle = 0;
        if (library->Open(0, &handle, BenchCallback, 0) != 0) {
            std::fprintf(stderr, "the simulated camera did not open\n");
            return 1;
        }
        CTetherDlgTestAccess::SetCamera(window, handle);
        for (int i = 0; i < 30; ++i) {
            QApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }

        // The burst: every shot at once; the pictures are announced together
        // when the camera's delay is over.
        for (int i = 0; i < kPictures; ++i)
            library->Shoot(handle, nullptr, nullptr);

        std::atomic<bool> stop = false;
        std::vector<Clock::time_point> clickSent;
        std::thread clicking([&] {
            while (!stop) {
                {
                    std::lock_guard guard(g_figures.lock);
                    if (!g_figures.announced.empty())
                        break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            while (!stop) {
                const int before = watcher.clicks;
                clickSent.push_back(Clock::now());
                clicker.Click(target);
                while (!stop && watcher.clicks == before)
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });

        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(120);
        while (int(g_figures.handled.size()) < kPictures && Clock::now() < deadline)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        const Clock::time_point end = Clock::now() + std::chrono::milliseconds(200);
        while (Clock::now() < end)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        stop = true;
        clicking.join();
        g_hEventWnd.Clear(&window);
        library->Exit();
        g_window = nullptr;

        // Figures.
        std::vector<double> perPicture;
        for (const auto &[start, finish] : g_figures.handled)
            perPicture.push_back(Ms(finish - start));
        std::vector<double> clickDelay;
        const size_t clicks = std::min(clickSent.size(), g_figures.clickHandled.size());
        for (size_t i = 0; i < clicks; ++i)
            clickDelay.push_back(Ms(g_figures.clickHandled[i] - clickSent[i]));
        std::vector<double> arrivalToPaint, handledToPaint;
        int neverPainted = 0;
        for (size_t k = 0; k < g_figures.handled.size(); ++k) {
            const Clock::time_point done = g_figures.handled[k].second;
            const auto paint = std::find_if(g_figures.painted.begin(), g_figures.painted.end(),
                                            [&](Clock::time_point p) { return p >= done; });
            const bool beforeNext = paint != g_figures.painted.end() &&
                                    (k + 1 == g_figures.handled.size() || *paint <= g_figures.handled[k + 1].first);
            if (!beforeNext) {
                ++neverPainted;
                continue;
            }
            handledToPaint.push_back(Ms(*paint - done));
            if (k < g_figures.announced.size())
                arrivalToPaint.push_back(Ms(*paint - g_figures.announced[k]));
        }
        const double unit = Median(perPicture);
        const auto line = [unit](const char *what, const std::vector<double> &v) {
            std::printf("  %-44s median %7.1f ms (%5.2f x)   worst %7.1f ms (%5.2f x)   n=%zu\n", what, Median(v),
                        unit > 0 ? Median(v) / unit : 0, Worst(v), unit > 0 ? Worst(v) / unit : 0, v.size());
        };
        std::printf("window_bench: %d pictures of 6000 x 4000 (%zu bytes each), announced within %.1f ms\n",
                    kPictures, photo.size(),
                    g_figures.announced.size() > 1 ? Ms(g_figures.announced.back() - g_figures.announced.front()) : 0.0);
        std::printf("  time per picture (the unit)                  median %7.1f ms             worst %7.1f ms   n=%zu\n",
                    unit, Worst(perPicture), perPicture.size());
        line("real X click -> button receives it", clickDelay);
        line("announced -> its preview painted", arrivalToPaint);
        line("handled -> its preview painted", handledToPaint);
        std::printf("  previews never painted before the next picture: %d of %zu\n", neverPainted,
                    g_figures.handled.size());
        std::fflush(stdout);
        result = int(g_figures.handled.size()) == kPictures ? 0 : 1;
    }
    library->Unload();
    DestroyCameraLibrary();
    UnloadExifLibrary();
    if (FILE *load = popen("uptime", "r")) {
        char text[256] = {};
        if (std::fgets(text, sizeof text, load))
            std::printf("  machine: %s", text);
        pclose(load);
    }
    return result;
}
