// Shared set-up of the main window tests: the fake camera library (first on
// LD_LIBRARY_PATH) bound through the real binding, the real decoder library,
// a scratch working directory, a fixed clock and recorded message boxes.
#pragma once

#include "app/camera_events.h"
#include "app/tether_dlg.h"
#include "camera/camera_library.h"
#include "fake_camera.h"
#include "image/exif_library.h"
#include "platform/local_time.h"
#include "message_box_recorder.h"

#include <QApplication>
#include <QEvent>
#include <QString>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

// Reaches the main window's private state.
class CTetherDlgTestAccess {
public:
    static void SetCamera(CTetherDlg &window, uint32_t handle) { window.m_hCamera = handle; }
    static void SetCloseLongestWait(CTetherDlg &window, std::chrono::milliseconds wait)
    {
        window.m_closeLongestWait = wait;
    }
};

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget *widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

class WindowTest : public ::testing::Test, protected MessageBoxRecorder {
protected:
    void SetUp() override
    {
        m_fake = std::make_unique<FakeCamera>();
        ASSERT_TRUE(m_fake->IsLoaded()) << "the fake camera library must come first on LD_LIBRARY_PATH";
        fake()->Reset();
        CreateCameraLibrary();
        ASSERT_NE(GetCameraLibrary(), nullptr);
        ASSERT_EQ(GetCameraLibrary()->Load(), 1);
        ASSERT_EQ(LoadExifLibrary(), 1) << "the decoder library must be on LD_LIBRARY_PATH";

        m_startDirectory = std::filesystem::current_path();
        m_scratch = std::filesystem::temp_directory_path() /
                    ("tavren-window-test-" + std::to_string(::getpid()) + "-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_scratch);
        std::filesystem::create_directories(m_scratch);
        std::filesystem::current_path(m_scratch);

        // 1 February 2026, 10:00:00.000, a tenth of a second later at each reading.
        platform::SetLocalTimeSource([this] {
            platform::LocalTime time{2026, 2, 1, 10, 0, 0, 0};
            time.second = m_clockTicks / 10;
            time.milliseconds = (m_clockTicks % 10) * 100;
            ++m_clockTicks;
            return time;
        });
    }

    void TearDown() override
    {
        platform::SetLocalTimeSource({});
        g_hEventWnd.Set(nullptr);
        if (m_fake && m_fake->IsLoaded())
            fake()->JoinEventThreads();
        if (CCameraLibrary *library = GetCameraLibrary())
            library->Unload();
        DestroyCameraLibrary();
        UnloadExifLibrary();
        std::error_code ignored;
        std::filesystem::current_path(m_startDirectory, ignored);
        std::filesystem::remove_all(m_scratch, ignored);
    }

    const FakeCameraControl *fake() const { return m_fake->operator->(); }

    // Lets posted events, repaints included, run for a moment.
    static void Settle()
    {
        for (int i = 0; i < 5; ++i) {
            QApplication::sendPostedEvents();
            QApplication::processEvents();
        }
    }

    // Settles, then gives the platform time to deliver scheduled repaints
    // (it paces them to the screen's refresh).
    static void SettleAndPaint()
    {
        Settle();
        QTest::qWait(60);
        Settle();
    }

    // A connected, shown main window.
    std::unique_ptr<CTetherDlg> ShowWindow(uint32_t camera = 0x1001)
    {
        auto window = std::make_unique<CTetherDlg>();
        CTetherDlgTestAccess::SetCamera(*window, camera);
        window->show();
        Settle();
        return window;
    }

    // Opens camera 0 with the event callback, as connecting does, aimed at
    // `window`; the fake then fires events through the real callback.
    void Connect(CTetherDlg &window)
    {
        g_hEventWnd.Set(&window);
        uint32_t handle = 0;
        ASSERT_EQ(GetCameraLibrary()->Open(0, &handle, CameraEventCallback, 0), 0u);
        CTetherDlgTestAccess::SetCamera(window, handle);
        fake()->ClearCalls();
    }

    // Queues a camera event for `window`, as the library's callback does.
    static void Announce(CTetherDlg &window, QEvent::Type type)
    {
        g_hEventWnd.Set(&window);
        g_hEventWnd.Post(type);
    }

    // The n-th file name the fixed clock gives (n = 0 for the first reading).
    static std::string StampName(int tick, const char *extension)
    {
        char name[32];
        std::snprintf(name, sizeof name, "20260201_1000%02d_%d%s", tick / 10, tick % 10, extension);
        return name;
    }

    static std::vector<uint8_t> ReadFile(const std::filesystem::path &path)
    {
        std::ifstream file(path, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    // The names of the files in `folder`, sorted.
    static std::vector<std::string> FilesIn(const std::filesystem::path &folder)
    {
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::unique_ptr<FakeCamera> m_fake;
    std::filesystem::path m_startDirectory;
    std::filesystem::path m_scratch;
    int m_clockTicks = 0;
};
