// The program's start-up and shutdown. Each case runs in a process of its own
// (see CMakeLists.txt), because which libraries the loader finds is fixed by
// LD_LIBRARY_PATH when the process starts.
#include "app/tether_app.h"
#include "library_resident.h"
#include "app/tether_dlg.h"
#include "camera/camera_library.h"
#include "fake_camera.h"
#include "image/exif_library.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <functional>
#include <memory>

namespace {

// Notes every top-level window that is shown.
class WindowWatcher : public QObject {
public:
    WindowWatcher() { qApp->installEventFilter(this); }
    ~WindowWatcher() override { qApp->removeEventFilter(this); }
    int shown = 0;

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::Show && object->isWidgetType() && static_cast<QWidget *>(object)->isWindow())
            ++shown;
        return false;
    }
};

// Runs start-up and shutdown; `whileShown` runs once the main window is up.
struct ProgramOutcome {
    int windowsShown = 0;
    bool decoderBoundAfterStartUp = false;
    bool decoderLoadedAfterStartUp = false;
    bool bindingLeft = true;
    int exitCode = -1;
};

ProgramOutcome RunProgram(const std::function<void(CTetherDlg &)> &whileShown = {})
{
    ProgramOutcome run;
    WindowWatcher watcher;
    CTetherApp app;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        CTetherDlg *window = app.MainWindow();
        if (window && window->isVisible()) {
            poll.stop();
            if (whileShown)
                whileShown(*window);
            else
                window->reject(); // not expected to be shown: end rather than hang
        }
    });
    poll.start();
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(app.MainWindow(), nullptr);
    run.windowsShown = watcher.shown;
    run.decoderBoundAfterStartUp = ExifLibraryBound();
    run.decoderLoadedAfterStartUp = LibraryResident("libExif.so");
    run.bindingLeft = GetCameraLibrary() != nullptr;
    run.exitCode = app.ExitInstance();
    EXPECT_FALSE(ExifLibraryBound());
    EXPECT_FALSE(LibraryResident("libExif.so"));
    return run;
}

// ------------------------------------------------ a normal run (fake camera)

TEST(ProgramRun, EveryWayOfClosingExitsUnloadsAndDestroysInOrder)
{
    const std::vector<std::pair<const char *, std::function<void(CTetherDlg &)>>> ways{
        {"Close", [](CTetherDlg &window) { window.CloseButton()->click(); }},
        {"Enter", [](CTetherDlg &window) { QTest::keyClick(window.SaveFolderEdit(), Qt::Key_Return); }},
        {"Escape", [](CTetherDlg &window) { QTest::keyClick(window.CloseButton(), Qt::Key_Escape); }},
        {"close box", [](CTetherDlg &window) { window.close(); }},
    };
    for (const auto &[name, close] : ways) {
        std::vector<int32_t> callsWhileShown;
        ProgramOutcome run;
        {
            FakeCamera fake;
            ASSERT_TRUE(fake.IsLoaded()) << "the fake camera library must come first on LD_LIBRARY_PATH";
            fake->Reset();
            run = RunProgram([&](CTetherDlg &window) {
                callsWhileShown = fake.Entries();
                close(window);
            });
            EXPECT_EQ(callsWhileShown, std::vector<int32_t>{FAKE_CAMERA_INIT}) << name;
            const auto calls = fake.Calls();
            ASSERT_EQ(calls.size(), 2u) << name;
            EXPECT_EQ(calls[0].entry, FAKE_CAMERA_INIT);
            EXPECT_EQ(calls[0].value, 0);
            EXPECT_EQ(calls[1].entry, FAKE_CAMERA_EXIT) << name;
        }
        EXPECT_EQ(run.windowsShown, 1) << name;
        EXPECT_TRUE(run.decoderBoundAfterStartUp) << name;
        EXPECT_FALSE(run.bindingLeft) << name;
        EXPECT_EQ(run.exitCode, 0);
        // The binding released its reference: with ours gone the library is out.
        EXPECT_FALSE(LibraryResident("libVRX4KAPI.so")) << name;
    }
}

TEST(ProgramRun, InitFailingEndsWithoutAWindowAndUnloadsTheCameraLibrary)
{
    ProgramOutcome run;
    {
        FakeCamera fake;
        ASSERT_TRUE(fake.IsLoaded());
        fake->Reset();
        fake->SetResult(FAKE_CAMERA_INIT, -1);
        run = RunProgram();
        EXPECT_EQ(fake.Entries(), std::vector<int32_t>{FAKE_CAMERA_INIT});
    }
    EXPECT_EQ(run.windowsShown, 0);
    EXPECT_FALSE(run.bindingLeft);
    EXPECT_FALSE(LibraryResident("libVRX4KAPI.so"));
}

// -------------------------------- start-up failures, one environment each

TEST(StartUpFailure, WithoutTheDecoderLibrary)
{
    ASSERT_FALSE(LibraryResident("libVRX4KAPI.so"));
    const ProgramOutcome run = RunProgram();
    EXPECT_EQ(run.windowsShown, 0);
    EXPECT_FALSE(run.decoderBoundAfterStartUp);
    EXPECT_FALSE(run.decoderLoadedAfterStartUp);
    EXPECT_FALSE(run.bindingLeft);
    // The camera library was never loaded.
    EXPECT_FALSE(LibraryResident("libVRX4KAPI.so"));
}

TEST(StartUpFailure, WithAPartDecoderLibrary)
{
    const ProgramOutcome run = RunProgram();
    EXPECT_EQ(run.windowsShown, 0);
    EXPECT_FALSE(run.decoderBoundAfterStartUp);
    EXPECT_TRUE(run.decoderLoadedAfterStartUp); // found, but not all of it
    EXPECT_FALSE(run.bindingLeft);
    EXPECT_FALSE(LibraryResident("libVRX4KAPI.so"));
}

// The library the loader finds by the camera library's name, or null.
void *FindCameraLibrary()
{
    return dlopen("libVRX4KAPI.so", RTLD_NOW | RTLD_LOCAL);
}

TEST(StartUpFailure, WithoutTheCameraLibrary)
{
    ASSERT_EQ(FindCameraLibrary(), nullptr);
    const ProgramOutcome run = RunProgram();
    EXPECT_EQ(run.windowsShown, 0);
    EXPECT_TRUE(run.decoderBoundAfterStartUp);
    EXPECT_FALSE(run.bindingLeft);
}

TEST(StartUpFailure, WithAPartCameraLibrary)
{
    const ProgramOutcome run = RunProgram();
    EXPECT_EQ(run.windowsShown, 0);
    EXPECT_TRUE(run.decoderBoundAfterStartUp);
    EXPECT_FALSE(run.bindingLeft);
    // The partly bound library does not stay loaded.
    EXPECT_FALSE(LibraryResident("libVRX4KAPI.so"));

    void *library = FindCameraLibrary();
    ASSERT_NE(library, nullptr);
    EXPECT_NE(dlsym(library, "VRX4K_Init"), nullptr);
    EXPECT_EQ(dlsym(library, "VRX4K_ReadImage"), nullptr);
    dlclose(library);
}

} // namespace
