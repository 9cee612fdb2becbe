#include "app/camera_events.h"
#include "app/tether_dlg.h"
#include "camera/camera_library.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>
#include <vector>

namespace {

// Counts the wake-ups it receives.
class EventProbe : public QObject {
public:
    int wakeUps = 0;

protected:
    bool event(QEvent *event) override
    {
        if (event->type() == WM_CAMERA_EVENTS_WAITING)
            ++wakeUps;
        return QObject::event(event);
    }
};

class CameraEventsTest : public ::testing::Test {
protected:
    void TearDown() override { g_hEventWnd.Set(nullptr); }
};

TEST_F(CameraEventsTest, QueuesOneEventForCodesOneAndTwoAndNothingElse)
{
    EventProbe probe;
    g_hEventWnd.Set(&probe);
    for (const int32_t code : {0, 3, -1, 1125, 1126, 1127, 65535}) {
        EXPECT_EQ(CameraEventCallback(0, code), 1) << code;
        QCoreApplication::sendPostedEvents(&probe);
        EXPECT_EQ(probe.wakeUps, 0) << code;
        EXPECT_EQ(g_hEventWnd.Waiting(&probe), 0u) << code;
    }
    EXPECT_EQ(CameraEventCallback(0, 1), 1);
    QCoreApplication::sendPostedEvents(&probe);
    EXPECT_EQ(probe.wakeUps, 1);
    EXPECT_EQ(g_hEventWnd.Next(&probe), WM_CAMERA_IMAGE_READY);
    EXPECT_EQ(g_hEventWnd.Waiting(&probe), 1u);
    EXPECT_EQ(g_hEventWnd.Take(&probe), WM_CAMERA_IMAGE_READY);
    EXPECT_EQ(CameraEventCallback(77, 2), 1);
    QCoreApplication::sendPostedEvents(&probe);
    EXPECT_EQ(probe.wakeUps, 2);
    EXPECT_EQ(g_hEventWnd.Take(&probe), WM_CAMERA_PROPERTY_CHANGED);
    EXPECT_EQ(g_hEventWnd.Take(&probe), std::nullopt);
    EXPECT_EQ(g_hEventWnd.Next(&probe), std::nullopt);
}

TEST_F(CameraEventsTest, EventsFromForeignThreadsWaitInTheirOrderBehindOneWakeUpAtATime)
{
    EventProbe probe;
    g_hEventWnd.Set(&probe);
    std::thread library([] {
        for (int i = 0; i < 50; ++i)
            CameraEventCallback(0, i % 2 == 0 ? 1 : 2);
    });
    library.join();
    QCoreApplication::sendPostedEvents(&probe);
    EXPECT_EQ(probe.wakeUps, 1);
    ASSERT_EQ(g_hEventWnd.Waiting(&probe), 50u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(g_hEventWnd.Take(&probe), i % 2 == 0 ? WM_CAMERA_IMAGE_READY : WM_CAMERA_PROPERTY_CHANGED) << i;
        // Taking one wakes the window again while more wait.
        QCoreApplication::sendPostedEvents(&probe);
        EXPECT_EQ(probe.wakeUps, i < 49 ? i + 2 : 50) << i;
    }
    EXPECT_EQ(g_hEventWnd.Waiting(&probe), 0u);
}

TEST_F(CameraEventsTest, HeldEventsWaitUntilResumed)
{
    EventProbe probe;
    g_hEventWnd.Set(&probe);
    CameraEventCallback(0, 1);
    CameraEventCallback(0, 1);
    QCoreApplication::sendPostedEvents(&probe);
    g_hEventWnd.Hold(&probe);
    CameraEventCallback(0, 2); // no second wake-up: one is due from Resume
    QCoreApplication::sendPostedEvents(&probe);
    EXPECT_EQ(probe.wakeUps, 1);
    EXPECT_EQ(g_hEventWnd.Waiting(&probe), 3u);
    g_hEventWnd.Resume(&probe);
    g_hEventWnd.Resume(&probe);
    QCoreApplication::sendPostedEvents(&probe);
    EXPECT_EQ(probe.wakeUps, 2);
    EXPECT_EQ(g_hEventWnd.Take(&probe), WM_CAMERA_IMAGE_READY);
}

TEST_F(CameraEventsTest, NothingIsQueuedWithoutATarget)
{
    EventProbe probe;
    g_hEventWnd.Set(&probe);
    g_hEventWnd.Clear(&probe);
    EXPECT_EQ(CameraEventCallback(0, 1), 1);
    QCoreApplication::sendPostedEvents(&probe);
    EXPECT_EQ(probe.wakeUps, 0);
    EXPECT_EQ(g_hEventWnd.Take(&probe), std::nullopt);

    // Clearing on behalf of another object leaves the target alone; a new
    // target does not inherit what waited for the old one.
    EventProbe other;
    g_hEventWnd.Set(&probe);
    g_hEventWnd.Clear(&other);
    EXPECT_EQ(g_hEventWnd.Target(), &probe);
    CameraEventCallback(0, 1);
    EXPECT_EQ(g_hEventWnd.Take(&other), std::nullopt);
    g_hEventWnd.Set(&other);
    EXPECT_EQ(g_hEventWnd.Waiting(&other), 0u);
    EXPECT_EQ(g_hEventWnd.Take(&probe), std::nullopt);
    QCoreApplication::sendPostedEvents();
}

TEST_F(CameraEventsTest, CallbacksAfterTheWindowIsGoneAreHarmless)
{
    auto *window = new CTetherDlg;
    g_hEventWnd.Set(window);
    CameraEventCallback(0, 1); // queued for the window, then discarded with it
    delete window;
    EXPECT_EQ(g_hEventWnd.Target(), nullptr);

    // A library thread still calling back while and after the window goes.
    std::atomic<bool> stop = false;
    std::atomic<int> results = 0;
    window = new CTetherDlg;
    g_hEventWnd.Set(window);
    std::thread library([&] {
        while (!stop)
            results += CameraEventCallback(0, 2) == 1 ? 1 : 0;
        results += CameraEventCallback(0, 1) == 1 ? 1 : 0;
    });
    while (results < 100)
        std::this_thread::yield();
    delete window;
    stop = true;
    library.join();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(g_hEventWnd.Target(), nullptr);
}

} // namespace
