#include "camera_fixture.h"
#include "dialogs/camera_select_dlg.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <cstring>
#include <string>

namespace {

using ui::MessageIcon;

QStringList ListedLines(const CCameraSelectDlg &dialog)
{
    QStringList lines;
    for (int row = 0; row < dialog.CameraList()->count(); ++row)
        lines << dialog.CameraList()->item(row)->text();
    return lines;
}

QPoint CentreOfRow(const QListWidget &list, int row)
{
    return list.visualItemRect(list.item(row)).center();
}

class CameraSelectDlgTest : public FakeCameraTest {};

TEST_F(CameraSelectDlgTest, ProbesAndListsAtMostFourOfSixCameras)
{
    fake->SetDetectCount(6);
    CCameraSelectDlg dialog;

    EXPECT_EQ(dialog.EnumerateCameras(), 4);

    const std::vector<FakeCameraCall> calls = fake.Calls();
    ASSERT_EQ(calls.size(), 1u + 4u * 3u);
    EXPECT_EQ(calls[0].entry, FAKE_CAMERA_DETECT);
    EXPECT_EQ(calls[0].value, 0);
    for (int i = 0; i < 4; ++i) {
        const FakeCameraCall &open = calls[1 + 3 * i];
        const FakeCameraCall &info = calls[2 + 3 * i];
        const FakeCameraCall &close = calls[3 + 3 * i];
        SCOPED_TRACE(i);
        ASSERT_EQ(open.entry, FAKE_CAMERA_OPEN);
        EXPECT_EQ(open.value, i);
        EXPECT_EQ(open.callback, nullptr) << "probing registers no callback";
        EXPECT_EQ(open.value2, 0);
        ASSERT_EQ(info.entry, FAKE_CAMERA_GET_DEVICE_INFO);
        EXPECT_EQ(info.handle, 0x1001u + static_cast<uint32_t>(i));
        ASSERT_EQ(close.entry, FAKE_CAMERA_CLOSE);
        EXPECT_EQ(close.handle, 0x1001u + static_cast<uint32_t>(i));
    }
    EXPECT_TRUE(recorder.boxes.empty());

    dialog.show();
    EXPECT_EQ(ListedLines(dialog), QStringList({"  1.  Fake Camera 1 | FAKE-1", "  2.  Fake Camera 2 | FAKE-2",
                                                "  3.  Fake Camera 3 | FAKE-3", "  4.  Fake Camera 4 | FAKE-4"}));
}

TEST_F(CameraSelectDlgTest, CameraThatCannotBeOpenedIsListedWithEmptyTexts)
{
    fake->SetDetectCount(3);
    CCameraSelectDlg dialog;
    // A first round fills every record; the second must not keep camera 2's.
    ASSERT_EQ(dialog.EnumerateCameras(), 3);
    fake->ClearCalls();
    fake->SetOpenResult(1, -1);

    EXPECT_EQ(dialog.EnumerateCameras(), 3);

    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].text, "ERROR Open()");
    EXPECT_EQ(recorder.boxes[0].owner, nullptr);
    EXPECT_EQ(recorder.boxes[0].icon, MessageIcon::Error);
    EXPECT_EQ(fake->CountCalls(FAKE_CAMERA_OPEN), 3u) << "the camera after the failure is still probed";
    EXPECT_EQ(fake->CountCalls(FAKE_CAMERA_GET_DEVICE_INFO), 2u);
    EXPECT_EQ(fake->CountCalls(FAKE_CAMERA_CLOSE), 2u);

    dialog.show();
    EXPECT_EQ(ListedLines(dialog),
              QStringList({"  1.  Fake Camera 1 | FAKE-1", "  2.   | ", "  3.  Fake Camera 3 | FAKE-3"}));

    // Choosing it gives an empty name and index 1.
    dialog.CameraList()->setCurrentRow(1);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_nSelectedCamera, 1);
    EXPECT_EQ(dialog.GetCameraName(), "");
}

TEST_F(CameraSelectDlgTest, CountFailureAndNoCameraEachShowOneBoxAndProbeNothing)
{
    struct Case {
        const char *name;
        int32_t detectResult;
        int32_t count;
        const char *text;
    };
    for (const Case &c : {Case{"count fails", -1, 2, "ERROR GetCameraCount()"},
                          Case{"no camera", 0, 0, "A camera is not connected."}}) {
        SCOPED_TRACE(c.name);
        fake->Reset();
        fake->SetResult(FAKE_CAMERA_DETECT, c.detectResult);
        fake->SetWriteOnFailure(1);
        fake->SetDetectCount(c.count);
        recorder.boxes.clear();
        CCameraSelectDlg dialog;

        EXPECT_EQ(dialog.EnumerateCameras(), 0);

        ASSERT_EQ(recorder.boxes.size(), 1u);
        EXPECT_EQ(recorder.boxes[0].text, c.text);
        EXPECT_EQ(recorder.boxes[0].owner, nullptr);
        EXPECT_EQ(recorder.boxes[0].icon, MessageIcon::Error);
        EXPECT_EQ(fake->CountCalls(FAKE_CAMERA_OPEN), 0u);
        dialog.show();
        EXPECT_EQ(dialog.CameraList()->count(), 0) << "a count written by a failed Detect is not used";
    }
}

TEST_F(CameraSelectDlgTest, NegativeCountIsReturnedWithoutBoxOrProbe)
{
    fake->SetDetectCount(-3);
    CCameraSelectDlg dialog;

    EXPECT_EQ(dialog.EnumerateCameras(), -3);

    EXPECT_TRUE(recorder.boxes.empty());
    EXPECT_EQ(fake->CountCalls(FAKE_CAMERA_OPEN), 0u);
}

TEST_F(CameraSelectDlgTest, LinesShowEightBitTextsAsUtf8OrLatin1WithinTheirFields)
{
    fake->SetDetectCount(4);
    fake->SetDeviceTexts(0, "Caf\xC3\xA9 \xE2\x82\xAC", "\xCE\xB1-1");  // valid UTF-8
    fake->SetDeviceTexts(1, "Caf\xE9 \xB5", "D\xFC");                   // Latin-1 bytes
    fake->SetDeviceTexts(2, "100% %1 %2", "%3");                         // no formatting inside texts

    // Name and Detail filling their whole fields with no NUL in either.
    CameraDeviceInfo full;
    std::memset(&full, 0, sizeof full);
    std::memset(full.Name, 'N', sizeof full.Name);
    std::memset(full.Detail, 'd', sizeof full.Detail);
    fake->SetDeviceInfo(3, &full, sizeof full);

    CCameraSelectDlg dialog;
    ASSERT_EQ(dialog.EnumerateCameras(), 4);
    dialog.show();

    const QStringList lines = ListedLines(dialog);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], QString::fromUtf8("  1.  Caf\u00e9 \u20ac | \u03b1-1"));
    EXPECT_EQ(lines[1], QString::fromUtf8("  2.  Caf\u00e9 \u00b5 | D\u00fc"));
    EXPECT_EQ(lines[2], "  3.  100% %1 %2 | %3");
    EXPECT_EQ(lines[3], "  4.  " + QString(513, 'N') + " | " + QString(32, 'd'));

    dialog.CameraList()->setCurrentRow(3);
    dialog.accept();
    EXPECT_EQ(dialog.GetCameraName(), QString(513, 'N'));
}

TEST_F(CameraSelectDlgTest, EnterAtOnceChoosesTheFirstCamera)
{
    fake->SetDetectCount(3);
    CCameraSelectDlg dialog;
    ASSERT_EQ(dialog.EnumerateCameras(), 3);

    QWidget *focusAtStart = nullptr;
    ModalDriver driver([&](QDialog *shown) {
        focusAtStart = shown->focusWidget();
        QTest::keyClick(shown->focusWidget(), Qt::Key_Return);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);

    EXPECT_EQ(focusAtStart, dialog.OkButton());
    EXPECT_EQ(dialog.m_nSelectedCamera, 0);
    EXPECT_EQ(dialog.GetCameraName(), "Fake Camera 1");
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(CameraSelectDlgTest, EnterInTheListChoosesTheSelectedLine)
{
    fake->SetDetectCount(3);
    CCameraSelectDlg dialog;
    ASSERT_EQ(dialog.EnumerateCameras(), 3);

    ModalDriver driver([&](QDialog *) {
        dialog.CameraList()->setFocus();
        QTest::keyClick(dialog.CameraList(), Qt::Key_Down);
        QTest::keyClick(dialog.CameraList(), Qt::Key_Down);
        QTest::keyClick(dialog.CameraList(), Qt::Key_Return);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_nSelectedCamera, 2);
    EXPECT_EQ(dialog.GetCameraName(), "Fake Camera 3");
}

TEST_F(CameraSelectDlgTest, OkWithTheSelectionClearedKeepsTheDialogOpen)
{
    fake->SetDetectCount(3);
    CCameraSelectDlg dialog;
    ASSERT_EQ(dialog.EnumerateCameras(), 3);
    dialog.show();
    QListWidget &list = *dialog.CameraList();
    ASSERT_EQ(list.selectedItems().size(), 1);

    // Ctrl+click on the selected line clears the selection; the current row stays.
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier, CentreOfRow(list, 0));
    ASSERT_TRUE(list.selectedItems().isEmpty());
    ASSERT_EQ(list.currentRow(), 0);

    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);

    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].text, "A camera is not chosen.");
    EXPECT_EQ(recorder.boxes[0].owner, &dialog);
    EXPECT_EQ(recorder.boxes[0].icon, MessageIcon::Error);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.m_nSelectedCamera, -1);
    EXPECT_EQ(dialog.GetCameraName(), "");

    // A line chosen afterwards is taken.
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, CentreOfRow(list, 2));
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_nSelectedCamera, 2);
    EXPECT_EQ(dialog.GetCameraName(), "Fake Camera 3");
}

TEST_F(CameraSelectDlgTest, ListKeepsExactlyOneLineAndDoubleClickDoesNotEndTheDialog)
{
    fake->SetDetectCount(4);
    CCameraSelectDlg dialog;
    ASSERT_EQ(dialog.EnumerateCameras(), 4);
    dialog.show();
    QListWidget &list = *dialog.CameraList();

    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ShiftModifier, CentreOfRow(list, 3));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier, CentreOfRow(list, 1));
    ASSERT_EQ(list.selectedItems().size(), 1);
    EXPECT_EQ(list.row(list.selectedItems().first()), 1);

    QTest::mouseDClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, CentreOfRow(list, 2));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.m_nSelectedCamera, -1);
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(CameraSelectDlgTest, ControlsFollowTheTemplate)
{
    CCameraSelectDlg dialog;
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "TAVREN");
    EXPECT_TRUE(dialog.OkButton()->isDefault());
    EXPECT_FALSE(dialog.CancelButton()->isDefault());

    // Tab order: OK, Cancel, the list, and round again.
    EXPECT_EQ(dialog.OkButton()->nextInFocusChain(), dialog.CancelButton());
    QWidget *afterCancel = dialog.CancelButton()->nextInFocusChain();
    EXPECT_EQ(afterCancel, dialog.CameraList());

    // Buttons side by side under the list, everything inside the dialog.
    const QRect ok = dialog.OkButton()->geometry();
    const QRect cancel = dialog.CancelButton()->geometry();
    const QRect list = dialog.CameraList()->geometry();
    EXPECT_LT(ok.right(), cancel.left());
    EXPECT_EQ(ok.top(), cancel.top());
    EXPECT_LT(list.bottom(), ok.top());
    for (const QRect &control : {ok, cancel, list})
        EXPECT_TRUE(dialog.rect().contains(control)) << control.x() << "," << control.y();
}

} // namespace
