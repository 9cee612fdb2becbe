#include "app/camera_events.h"
#include "app/tether_dlg.h"
#include "camera_fixture.h"
#include "dialogs/camera_select_dlg.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

namespace {

using ui::MessageIcon;

// The main window before any camera is connected.
void ExpectNotConnected(const CTetherDlg &window)
{
    EXPECT_EQ(window.CameraNameEdit()->text(), "");
    EXPECT_FALSE(window.CameraNameEdit()->isEnabled());
    EXPECT_TRUE(window.SelectCameraButton()->isEnabled());
    EXPECT_FALSE(window.ShootButton()->isEnabled());
    EXPECT_EQ(window.CameraHandle(), 0u);
}

class SelectCameraTest : public FakeCameraTest {
protected:
    void SetUp() override
    {
        FakeCameraTest::SetUp();
        window.show();
    }
    void TearDown() override
    {
        g_hEventWnd.Clear(&window);
        FakeCameraTest::TearDown();
    }

    // Presses Select; the selection dialog, if one is shown, is handed to `choose`.
    std::vector<QPointer<QDialog>> ClickSelect(std::function<void(CCameraSelectDlg &)> choose)
    {
        ModalDriver driver([&](QDialog *shown) {
            auto *dialog = qobject_cast<CCameraSelectDlg *>(shown);
            ASSERT_NE(dialog, nullptr);
            choose(*dialog);
        });
        window.SelectCameraButton()->setFocus();
        QTest::keyClick(window.SelectCameraButton(), Qt::Key_Space);
        return driver.Seen();
    }

    static void ChooseRow(CCameraSelectDlg &dialog, int row)
    {
        dialog.CameraList()->setCurrentRow(row);
        QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    }

    CTetherDlg window;
};

TEST_F(SelectCameraTest, ConnectsTheChosenCameraWithTheCallback)
{
    fake->SetDetectCount(3);
    fake->SetOpenHandle(1, 0x7777);
    QObject *targetWhileChoosing = nullptr;
    QWidget *dialogOwner = nullptr;

    const auto seen = ClickSelect([&](CCameraSelectDlg &dialog) {
        targetWhileChoosing = g_hEventWnd.Target();
        dialogOwner = dialog.parentWidget();
        fake->ClearCalls();
        ChooseRow(dialog, 1);
    });

    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(targetWhileChoosing, &window) << "the event target is set before the camera is opened";
    EXPECT_EQ(dialogOwner, &window);

    const std::vector<FakeCameraCall> calls = fake.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].entry, FAKE_CAMERA_OPEN);
    EXPECT_EQ(calls[0].value, 1);
    EXPECT_EQ(calls[0].callback, &CameraEventCallback);
    EXPECT_EQ(calls[0].value2, 0);

    EXPECT_EQ(window.CameraNameEdit()->text(), "Fake Camera 2");
    EXPECT_TRUE(window.CameraNameEdit()->isEnabled());
    EXPECT_FALSE(window.SelectCameraButton()->isEnabled());
    EXPECT_TRUE(window.ShootButton()->isEnabled());
    EXPECT_EQ(window.CameraHandle(), 0x7777u);
    EXPECT_EQ(window.focusWidget(), window.ShootButton()) << "the keyboard user goes on to Shoot";
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(SelectCameraTest, EventsOfTheConnectedCameraReachTheWindow)
{
    ClickSelect([&](CCameraSelectDlg &dialog) { ChooseRow(dialog, 0); });
    ASSERT_EQ(window.CameraHandle(), 0x1001u);

    // A property event from the library's own thread ends in the window's handler.
    const uint32_t codes[] = {CAMERA_PROPERTY_2004};
    const uint32_t values[] = {42};
    fake->SetChangedProperties(1, codes, values);
    int32_t result = 0;
    ASSERT_EQ(fake->FireEvent(0, CAMERA_EVENT_PROPERTY_CHANGED, FAKE_CAMERA_DELIVER_THREAD, &result), 1);
    EXPECT_EQ(result, 1);
    QCoreApplication::sendPostedEvents(&window);
    EXPECT_EQ(window.Property2004(), 42);
}

TEST_F(SelectCameraTest, FailedConnectionKeepsTheNameAndLetsTheUserRetry)
{
    fake->SetDetectCount(2);
    fake->SetWriteOnFailure(1);

    ClickSelect([&](CCameraSelectDlg &dialog) {
        fake->SetOpenResult(0, -1); // probing is over: the connection fails
        ChooseRow(dialog, 0);
    });

    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].text, "I cannot be connected to a camera.");
    EXPECT_EQ(recorder.boxes[0].owner, &window);
    EXPECT_EQ(recorder.boxes[0].icon, MessageIcon::Error);
    EXPECT_EQ(window.CameraHandle(), 0u) << "a handle written by a failed Open is dropped";
    EXPECT_EQ(window.CameraNameEdit()->text(), "Fake Camera 1");
    EXPECT_TRUE(window.CameraNameEdit()->isEnabled());
    EXPECT_TRUE(window.SelectCameraButton()->isEnabled());
    EXPECT_FALSE(window.ShootButton()->isEnabled());

    // Second try, another camera, and it works.
    fake->SetOpenResult(0, 0);
    const auto seen = ClickSelect([&](CCameraSelectDlg &dialog) { ChooseRow(dialog, 1); });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(window.CameraNameEdit()->text(), "Fake Camera 2");
    EXPECT_EQ(window.CameraHandle(), 0x1002u);
    EXPECT_FALSE(window.SelectCameraButton()->isEnabled());
    EXPECT_TRUE(window.ShootButton()->isEnabled());
}

TEST_F(SelectCameraTest, ChoosingACameraThatFailedItsProbeConnectsItsIndex)
{
    fake->SetDetectCount(2);
    fake->SetOpenResult(1, -1);

    ClickSelect([&](CCameraSelectDlg &dialog) {
        fake->SetOpenResult(1, 0);
        fake->ClearCalls();
        ChooseRow(dialog, 1);
    });

    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].text, "ERROR Open()");
    const auto opens = CallsOf(FAKE_CAMERA_OPEN);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].value, 1);
    EXPECT_EQ(window.CameraNameEdit()->text(), "");
    EXPECT_TRUE(window.CameraNameEdit()->isEnabled());
    EXPECT_EQ(window.CameraHandle(), 0x1002u);
}

TEST_F(SelectCameraTest, NoDialogWhenCountingFindsNothingUsable)
{
    struct Case {
        const char *name;
        int32_t detectResult;
        int32_t count;
        size_t boxes;
    };
    for (const Case &c : {Case{"count fails", -1, 1, 1}, Case{"no camera", 0, 0, 1}, Case{"negative", 0, -1, 0}}) {
        SCOPED_TRACE(c.name);
        fake->Reset();
        fake->SetResult(FAKE_CAMERA_DETECT, c.detectResult);
        fake->SetDetectCount(c.count);
        recorder.boxes.clear();
        g_hEventWnd.Clear(&window);
        QObject *targetAtBox = nullptr;
        // The box takes the keyboard, as a real one does.
        QWidget box;
        recorder.onBox = [&](const RecordedBox &) {
            targetAtBox = g_hEventWnd.Target();
            box.show();
            box.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&box));
        };
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

        const auto seen = ClickSelect([](CCameraSelectDlg &) {});

        EXPECT_TRUE(seen.empty());
        EXPECT_EQ(recorder.boxes.size(), c.boxes);
        if (c.boxes != 0) {
            EXPECT_EQ(targetAtBox, &window) << "the event target is set first, on every click";
        }
        EXPECT_EQ(g_hEventWnd.Target(), &window);
        EXPECT_EQ(fake->CountCalls(FAKE_CAMERA_OPEN), 0u);
        ExpectNotConnected(window);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window)) << "the keyboard comes back to the main window";
    }
}

TEST_F(SelectCameraTest, CancelEscapeAndTheCloseBoxOpenNoCamera)
{
    fake->SetDetectCount(2);
    for (const char *how : {"Cancel", "Escape", "close box"}) {
        SCOPED_TRACE(how);
        const std::string way = how;
        const auto seen = ClickSelect([&](CCameraSelectDlg &dialog) {
            fake->ClearCalls();
            if (way == "Cancel")
                QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
            else if (way == "Escape")
                QTest::keyClick(dialog.focusWidget(), Qt::Key_Escape);
            else
                dialog.close();
        });
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(fake->CallCount(), 0u);
        ExpectNotConnected(window);
    }
    EXPECT_TRUE(recorder.boxes.empty());
}

} // namespace
