#include "app/camera_events.h"
#include "app/tether_dlg.h"
#include "camera/camera_library.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// Records the types of the events it receives.
class EventProbe : public QObject {
public:
    std::vector<int> types;

protected:
    bool event(QEvent *event) override
    {
        if (event->type() >= QEvent::User)
            types.push_back(event->type());
        return QObject::event(event);
    }
};

class CameraEventsTest : public ::testing::Test {
protected:
    void TearDown() override { g_hEventWnd.Set(nullptr); }
};

TEST_F(CameraEventsTest, PostsOneEventForCodesOneAndTwoAndNothingElse)
{
    EventProbe probe;
    g_hEventWnd.Set(&probe);
    for (const int32_t code : {0, 3, -1, 1125, 1126, 65535}) {
        EXPECT_EQ(CameraEventCallback(0, code), 1) << code;
        QCoreApplication::sendPostedEvents(&probe);
        EXPECT_TRUE(probe.types.empty()) << code;
    }
    EXPECT_EQ(CameraEventCallback(0, 1), 1);
    QCoreApplication::sendPostedEvents(&probe);
    EXPECT_EQ(probe.types, std::vector<int>{1125});
    probe.types.clear();
    EXPECT_EQ(CameraEventCallback(77, 2), 1);
    QCoreApplication::sendPostedEvents(&probe);
    EXPECT_EQ(probe.types, std::vector<int>{1126});
}

TEST_F(CameraEventsTest, EventsFromForeignThreadsArriveInTheirOrder)
{
    EventProbe probe;
    g_hEventWnd.Set(&probe);
    std::thread library([] {
        for (int i = 0; i < 50; ++i)
            CameraEventCallback(0, i % 2 == 0 ? 1 : 2);
    });
    library.join();
    QCoreApplication::sendPostedEvents(&probe);
    ASSERT_EQ(probe.types.size(), 50u);
    for (size_t i = 0; i < probe.types.size(); ++i)
        EXPECT_EQ(probe.types[i], i % 2 == 0 ? 1125 : 1126) << i;
}

TEST_F(CameraEventsTest, NothingIsPostedWithoutATarget)
{
    EventProbe probe;
    g_hEventWnd.Set(&probe);
    g_hEventWnd.Clear(&probe);
    EXPECT_EQ(CameraEventCallback(0, 1), 1);
    QCoreApplication::sendPostedEvents(&probe);
    EXPECT_TRUE(probe.types.empty());

    // Clearing on behalf of another object leaves the target alone.
    EventProbe other;
    g_hEventWnd.Set(&probe);
    g_hEventWnd.Clear(&other);
    EXPECT_EQ(g_hEventWnd.Target(), &probe);
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
