#include "window_fixture.h"

#include "app/camera_events.h"
#include "app/dialog_units.h"
#include "app/preview_control.h"
#include "image/offscreen_picture.h"

#include <QBuffer>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include <sys/syscall.h>

namespace {

bool AllPixelsAre(const QImage &image, QRgb colour)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) != (colour & 0xFFFFFF))
                return false;
    return true;
}

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> values)
{
    return std::vector<uint8_t>(values);
}

std::vector<uint8_t> JpegOf(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "JPEG", 95));
    return std::vector<uint8_t>(data.begin(), data.end());
}

// ---------------------------------------------------------------- start state

TEST_F(WindowTest, StartsEmptyBlackAndWithTheFocusOnClose)
{
    CTetherDlg window;
    window.show();
    Settle();
    window.activateWindow();
    Settle();

    EXPECT_EQ(window.SaveFolderEdit()->text().toStdString(), m_scratch.string());
    EXPECT_TRUE(window.SaveFolder().isEmpty());
    EXPECT_TRUE(window.CameraNameEdit()->text().isEmpty());
    EXPECT_FALSE(window.CameraNameEdit()->isEnabled());
    EXPECT_TRUE(window.SelectCameraButton()->isEnabled());
    EXPECT_FALSE(window.ShootButton()->isEnabled());
    EXPECT_TRUE(window.BrowseFolderButton()->isEnabled());
    EXPECT_EQ(window.CameraHandle(), 0u);
    EXPECT_EQ(window.focusWidget(), window.CloseButton());

    EXPECT_EQ(window.PreviewPicture().Size(), window.PreviewControl()->size());
    EXPECT_TRUE(AllPixelsAre(window.PreviewPicture().Image(), qRgb(0, 0, 0)));
    // What the preview area shows on screen: the picture, copied.
    EXPECT_TRUE(AllPixelsAre(window.PreviewControl()->grab().toImage(), qRgb(0, 0, 0)));

    // Nothing was asked of the camera library.
    EXPECT_EQ(fake()->CallCount(), 0u);
}

TEST_F(WindowTest, APreviewPictureOfAnotherPixelRatioIsRemadeWhenPainted)
{
    auto window = ShowWindow();
    auto *control = static_cast<CPreviewControl *>(window->PreviewControl());
    const image::OffscreenPicture *made = &window->PreviewPicture();
    // As if the window had come from a screen of twice the ratio.
    const image::OffscreenPicture other(control->size() * 2, 2.0);
    control->SetPicture(&other);
    control->grab();
    EXPECT_NE(&window->PreviewPicture(), made);
    EXPECT_EQ(window->PreviewPicture().DevicePixelRatio(), control->devicePixelRatioF());
    EXPECT_EQ(window->PreviewPicture().Size(), control->size() * control->devicePixelRatioF());
}

TEST_F(WindowTest, FollowsTheTemplate)
{
    CTetherDlg window;
    EXPECT_EQ(window.windowTitle(), QStringLiteral("TAVREN"));
    EXPECT_FALSE(window.windowIcon().isNull());
    EXPECT_FALSE(window.windowIcon().pixmap(QSize(32, 32)).isNull());

    // Keeps its size: no sizing, no minimise or maximise box.
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window.windowFlags() & Qt::WindowCloseButtonHint);

    const ui::DialogBaseUnits units = ui::BaseUnitsOf(window.font());
    const auto pixels = [&](int x, int y, int w, int h) {
        return ui::DialogUnitsToPixels(QRect(x, y, w, h), units);
    };
    EXPECT_EQ(window.size(), ui::DialogUnitsToPixels(QSize(490, 266), units));
    EXPECT_EQ(window.CloseButton()->geometry(), pixels(433, 245, 50, 14));
    EXPECT_EQ(window.CameraNameEdit()->geometry(), pixels(21, 28, 145, 14));
    EXPECT_EQ(window.SelectCameraButton()->geometry(), pixels(116, 49, 50, 14));
    EXPECT_EQ(window.PreviewControl()->geometry(), pixels(192, 28, 279, 174));
    EXPECT_EQ(window.BrowseFolderButton()->geometry(), pixels(383, 211, 12, 14));
    EXPECT_EQ(window.ShootButton()->geometry(), pixels(421, 211, 50, 14));
    EXPECT_EQ(window.SaveFolderEdit()->geometry(), pixels(220, 211, 160, 14));

    EXPECT_EQ(window.CloseButton()->text(), QStringLiteral("Close"));
    EXPECT_EQ(window.SelectCameraButton()->text(), QStringLiteral("Select"));
    EXPECT_EQ(window.ShootButton()->text(), QStringLiteral("Shoot"));
    EXPECT_EQ(window.BrowseFolderButton()->text(), QStringLiteral("..."));

    // The groups and the label, and what each group frames.
    QStringList groupTitles;
    for (QGroupBox *group : window.findChildren<QGroupBox *>()) {
        groupTitles << group->title();
        const QWidget *framed = group->title() == QStringLiteral("Camera") ? window.SelectCameraButton()
                                                                             : window.ShootButton();
        EXPECT_TRUE(group->geometry().contains(framed->geometry())) << group->title().toStdString();
        // A group box must not take the clicks meant for the controls in it.
        EXPECT_TRUE(group->testAttribute(Qt::WA_TransparentForMouseEvents));
    }
    groupTitles.sort();
    EXPECT_EQ(groupTitles, (QStringList{QStringLiteral("CAPTURE"), QStringLiteral("Camera")}));
    const QList<QLabel *> labels = window.findChildren<QLabel *>();
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels.front()->text(), QStringLiteral("Save in:"));
    EXPECT_EQ(labels.front()->geometry(), pixels(191, 214, 27, 8));

    // No button is a default button, so Enter does not press one by surprise.
    for (QPushButton *button : window.findChildren<QPushButton *>()) {
        EXPECT_FALSE(button->isDefault()) << button->text().toStdString();
        EXPECT_FALSE(button->autoDefault()) << button->text().toStdString();
    }
}

TEST_F(WindowTest, TabsThroughTheControlsInTemplateOrder)
{
    auto window = ShowWindow();
    window->CameraNameEdit()->setEnabled(true);
    window->ShootButton()->setEnabled(true);
    const std::vector<QWidget *> expected{window->CloseButton(),        window->CameraNameEdit(),
                                          window->SelectCameraButton(), window->BrowseFolderButton(),
                                          window->ShootButton(),        window->SaveFolderEdit()};
    std::vector<QWidget *> order;
    QWidget *widget = window->CloseButton();
    do {
        if (widget->focusPolicy() & Qt::TabFocus)
            order.push_back(widget);
        widget = widget->nextInFocusChain();
    } while (widget != window->CloseButton() && order.size() < 20);
    EXPECT_EQ(order, expected);
}

// ----------------------------------------------------------- keys and closing

TEST_F(WindowTest, EnterInEitherEditFieldEndsAsClose)
{
    for (const bool inCameraName : {false, true}) {
        auto window = ShowWindow();
        window->CameraNameEdit()->setEnabled(true);
        QLineEdit *edit = inCameraName ? window->CameraNameEdit() : window->SaveFolderEdit();
        edit->setFocus();
        window->setResult(-1);
        QTest::keyClick(edit, Qt::Key_Return);
        EXPECT_EQ(window->result(), QDialog::Accepted) << inCameraName;
        EXPECT_FALSE(window->isVisible());

        window = ShowWindow();
        window->SaveFolderEdit()->setFocus();
        window->setResult(-1);
        QTest::keyClick(window->SaveFolderEdit(), Qt::Key_Enter, Qt::KeypadModifier);
        EXPECT_EQ(window->result(), QDialog::Accepted);
    }
    // Enter never pressed Select or "...".
    EXPECT_EQ(fake()->CallCount(), 0u);
}

TEST_F(WindowTest, EnterOnAFocusedButtonPressesThatButton)
{
    auto window = ShowWindow();
    window->ShootButton()->setEnabled(true);
    window->ShootButton()->setFocus();
    QTest::keyClick(window->ShootButton(), Qt::Key_Return);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(fake()->CountCalls(FAKE_CAMERA_SHOOT), 1u);

    window->CloseButton()->setFocus();
    QTest::keyClick(window->CloseButton(), Qt::Key_Return);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Accepted);
}

TEST_F(WindowTest, EscapeAndTheCloseBoxCancel)
{
    auto window = ShowWindow();
    window->SaveFolderEdit()->setFocus();
    window->setResult(-1);
    QTest::keyClick(window->SaveFolderEdit(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Rejected);

    window = ShowWindow();
    window->setResult(-1);
    EXPECT_TRUE(window->close());
    EXPECT_EQ(window->result(), QDialog::Rejected);
}

// -------------------------------------------------------- closing mid-burst

TEST_F(WindowTest, CloseFirstHandlesTheCameraEventsQueuedAndThoseArrivingUntilQuiet)
{
    auto window = ShowWindow();
    Connect(*window);
    window->ShootButton()->setEnabled(true);
    PaintCounter counter(window->PreviewControl());
    const std::vector<uint8_t> pictures[] = {Bytes({'R', 1}), Bytes({'R', 2, 2}), Bytes({'R', 3, 3, 3})};
    for (const auto &bytes : pictures)
        fake()->QueueImage(CAMERA_IMAGE_RAW, bytes.size(), bytes.data(), bytes.size());
    fake()->FireEvent(0, CAMERA_EVENT_IMAGE_READY, FAKE_CAMERA_DELIVER_SYNC, nullptr);
    fake()->FireEvent(0, CAMERA_EVENT_IMAGE_READY, FAKE_CAMERA_DELIVER_SYNC, nullptr);
    // The third picture is announced while the window is closing.
    QTimer::singleShot(200, [&] { fake()->FireEvent(0, CAMERA_EVENT_IMAGE_READY, FAKE_CAMERA_DELIVER_SYNC, nullptr); });

    window->setResult(-1);
    window->CloseButton()->click();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->IsClosing());
    EXPECT_FALSE(window->ShootButton()->isEnabled());
    EXPECT_FALSE(window->SelectCameraButton()->isEnabled());
    EXPECT_FALSE(window->BrowseFolderButton()->isEnabled());
    // A second Close, of any kind, is ignored.
    EXPECT_FALSE(window->close());
    QTest::keyClick(window->SaveFolderEdit(), Qt::Key_Escape);

    const auto closed = std::chrono::steady_clock::now();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 5000));
    const auto waited = std::chrono::steady_clock::now() - closed;
    EXPECT_EQ(window->result(), QDialog::Accepted);
    // Half a second of quiet after the last picture announced.
    EXPECT_GE(waited, std::chrono::milliseconds(200) + CTetherDlg::kCloseQuietTime);
    EXPECT_EQ(fake()->CountCalls(FAKE_CAMERA_READ_IMAGE), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(ReadFile(m_scratch / StampName(i, ".RWQ")), pictures[i]) << i;
    EXPECT_GT(counter.paints, 0) << "the preview stops painting while closing";
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(questions.empty());
    g_hEventWnd.Clear(window.get());
}

TEST_F(WindowTest, CloseWaitsForNewCameraEventsNoLongerThanItsLongestWait)
{
    auto window = ShowWindow();
    Connect(*window);
    CTetherDlgTestAccess::SetCloseLongestWait(*window, std::chrono::milliseconds(300));
    const std::vector<uint8_t> bytes = Bytes({'R', 'A', 'W'});
    // A camera that never stops: a picture every 50 ms.
    QTimer camera;
    int announced = 0;
    QObject::connect(&camera, &QTimer::timeout, [&] {
        fake()->QueueImage(CAMERA_IMAGE_RAW, bytes.size(), bytes.data(), bytes.size());
        fake()->FireEvent(0, CAMERA_EVENT_IMAGE_READY, FAKE_CAMERA_DELIVER_SYNC, nullptr);
        // The window ends at once when its wait is over, so visible means
        // announced before the end.
        announced += window->isVisible() ? 1 : 0;
    });
    camera.start(50);
    QTest::qWait(120);
    const int announcedBeforeClose = announced;
    const auto closed = std::chrono::steady_clock::now();
    window->reject();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 3000));
    const auto waited = std::chrono::steady_clock::now() - closed;
    QTest::qWait(150);
    camera.stop();
    const int announcedBeforeTheEnd = announced;
    EXPECT_EQ(window->result(), QDialog::Rejected);
    // It waited out its longest wait, handling the pictures meanwhile, then ended.
    EXPECT_GE(waited, std::chrono::milliseconds(300));
    EXPECT_GT(announcedBeforeTheEnd, announcedBeforeClose);
    // Every picture announced before the window ended was stored; none after.
    EXPECT_EQ(int(fake()->CountCalls(FAKE_CAMERA_READ_IMAGE)), announcedBeforeTheEnd);
    EXPECT_EQ(int(FilesIn(m_scratch).size()), announcedBeforeTheEnd);
    g_hEventWnd.Clear(window.get());
}

TEST_F(WindowTest, CloseWaitsForThePictureOfAShotNotYetAnnounced)
{
    auto window = ShowWindow();
    Connect(*window);
    window->ShootButton()->setEnabled(true);
    const std::vector<uint8_t> bytes = Bytes({'R', 'A', 'W'});
    window->ShootButton()->click();
    // The camera announces the picture longer after the shot than the quiet time.
    QTimer::singleShot(CTetherDlg::kCloseQuietTime + std::chrono::milliseconds(300), [&] {
        fake()->QueueImage(CAMERA_IMAGE_RAW, bytes.size(), bytes.data(), bytes.size());
        fake()->FireEvent(0, CAMERA_EVENT_IMAGE_READY, FAKE_CAMERA_DELIVER_SYNC, nullptr);
    });
    window->CloseButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 5000));
    EXPECT_EQ(fake()->CountCalls(FAKE_CAMERA_READ_IMAGE), 1u);
    EXPECT_EQ(ReadFile(m_scratch / StampName(0, ".RWQ")), bytes);
    g_hEventWnd.Clear(window.get());
}

// ------------------------------------------------------------------- shooting

TEST_F(WindowTest, ShootsTheConnectedCamera)
{
    auto window = ShowWindow(0x1234);
    window->OnShoot();
    const auto shots = m_fake->Calls(FAKE_CAMERA_SHOOT);
    ASSERT_EQ(shots.size(), 1u);
    EXPECT_EQ(shots[0].handle, 0x1234u);
    EXPECT_NE(shots[0].pointer1, nullptr);
    EXPECT_NE(shots[0].pointer2, nullptr);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(WindowTest, ShootWithoutACameraDoesNothing)
{
    auto window = ShowWindow(0);
    window->OnShoot();
    EXPECT_EQ(fake()->CallCount(), 0u);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(WindowTest, AFailedShotWarnsAndShootStaysUsable)
{
    auto window = ShowWindow();
    window->ShootButton()->setEnabled(true);
    fake()->SetResult(FAKE_CAMERA_SHOOT, -1);
    fake()->SetErrorNumber(0x2019);
    window->ShootButton()->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, QStringLiteral("Photography failed."));
    EXPECT_EQ(boxes[0].icon, ui::MessageIcon::Warning);
    EXPECT_EQ(boxes[0].owner, window.get());
    EXPECT_TRUE(window->ShootButton()->isEnabled());
    EXPECT_TRUE(window->isVisible());

    window->ShootButton()->click();
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_EQ(fake()->CountCalls(FAKE_CAMERA_SHOOT), 2u);
}

// --------------------------------------------------------------------- images

TEST_F(WindowTest, NoPictureOrAnEmptyOneDownloadsNothingAndDoesNotRepaint)
{
    auto window = ShowWindow();
    PaintCounter counter(window->PreviewControl());
    const std::vector<uint8_t> bytes = Bytes({1, 2, 3, 4});
    fake()->QueueImage(CAMERA_IMAGE_NONE, 4, bytes.data(), bytes.size());
    fake()->QueueImage(CAMERA_IMAGE_JPEG, 0, bytes.data(), bytes.size());
    fake()->QueueImage(CAMERA_IMAGE_RAW, 4, bytes.data(), bytes.size());
    fake()->QueueResult(FAKE_CAMERA_READ_IMAGE_INFO, -1); // the third fails to describe itself
    for (int i = 0; i < 3; ++i) {
        Announce(*window, WM_CAMERA_IMAGE_READY);
        SettleAndPaint();
    }
    EXPECT_EQ(fake()->CountCalls(FAKE_CAMERA_READ_IMAGE_INFO), 3u);
    EXPECT_EQ(fake()->CountCalls(FAKE_CAMERA_READ_IMAGE), 0u);
    EXPECT_EQ(counter.paints, 0);
    EXPECT_TRUE(FilesIn(m_scratch).empty());
    EXPECT_TRUE(boxes.empty());

    // The same window does repaint for a picture that arrives.
    fake()->QueueImage(CAMERA_IMAGE_RAW, 4, bytes.data(), bytes.size());
    Announce(*window, WM_CAMERA_IMAGE_READY);
    SettleAndPaint();
    EXPECT_GT(counter.paints, 0);
}

TEST_F(WindowTest, AFailedDownloadStoresNothingAndDoesNotRepaint)
{
    auto window = ShowWindow();
    PaintCounter counter(window->PreviewControl());
    const std::vector<uint8_t> bytes(1000, 0x5A);
    fake()->QueueImage(CAMERA_IMAGE_RAW, 1000, bytes.data(), bytes.size());
    fake()->QueueResult(FAKE_CAMERA_READ_IMAGE, -1);
    Announce(*window, WM_CAMERA_IMAGE_READY);
    SettleAndPaint();
    const auto reads = m_fake->Calls(FAKE_CAMERA_READ_IMAGE);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].value, 1000); // a buffer of exactly the reported size
    EXPECT_EQ(reads[0].handle, 0x1001u);
    EXPECT_EQ(counter.paints, 0);
    EXPECT_TRUE(FilesIn(m_scratch).empty());
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(AllPixelsAre(window->PreviewPicture().Image(), qRgb(0, 0, 0)));
}

// A window whose download buffers cannot be had, for a while.
class OutOfMemoryWindow : public CTetherDlg {
public:
    bool outOfMemory = true;
    std::vector<uint32_t> requested;

protected:
    std::unique_ptr<uint8_t[]> AllocateDownloadBuffer(uint32_t size) override
    {
        requested.push_back(size);
        return outOfMemory ? nullptr : CTetherDlg::AllocateDownloadBuffer(size);
    }
};

TEST_F(WindowTest, APictureWithoutMemoryForItsDownloadIsAbandoned)
{
    OutOfMemoryWindow window;
    CTetherDlgTestAccess::SetCamera(window, 0x1001);
    window.show();
    SettleAndPaint();
    PaintCounter counter(window.PreviewControl());
    const std::vector<uint8_t> bytes(300, 0x11);
    fake()->QueueImage(CAMERA_IMAGE_RAW, 300, bytes.data(), bytes.size());
    Announce(window, WM_CAMERA_IMAGE_READY);
    SettleAndPaint();
    EXPECT_EQ(window.requested, std::vector<uint32_t>{300});
    EXPECT_EQ(fake()->CountCalls(FAKE_CAMERA_READ_IMAGE), 0u);
    EXPECT_EQ(counter.paints, 0);
    EXPECT_TRUE(FilesIn(m_scratch).empty());
    EXPECT_TRUE(boxes.empty());

    // Memory again: the next picture is downloaded and stored as usual.
    window.outOfMemory = false;
    fake()->QueueImage(CAMERA_IMAGE_RAW, 300, bytes.data(), bytes.size());
    Announce(window, WM_CAMERA_IMAGE_READY);
    SettleAndPaint();
    EXPECT_EQ(fake()->CountCalls(FAKE_CAMERA_READ_IMAGE), 1u);
    EXPECT_EQ(FilesIn(m_scratch).size(), 1u);
    EXPECT_GT(counter.paints, 0);
}

TEST_F(WindowTest, TwoPicturesAreHandledInTheirOrder)
{
    auto window = ShowWindow();
    Connect(*window);
    const std::vector<uint8_t> first = Bytes({'R', 'A', 'W', 1});
    const std::vector<uint8_t> second = Bytes({'R', 'A', 'W', 2, 2});
    fake()->QueueImage(CAMERA_IMAGE_RAW, first.size(), first.data(), first.size());
    fake()->QueueImage(CAMERA_IMAGE_RAW, second.size(), second.data(), second.size());
    fake()->FireEvent(0, CAMERA_EVENT_IMAGE_READY, FAKE_CAMERA_DELIVER_SYNC, nullptr);
    fake()->FireEvent(0, CAMERA_EVENT_IMAGE_READY, FAKE_CAMERA_DELIVER_SYNC, nullptr);
    Settle();

    EXPECT_EQ(m_fake->Entries(), (std::vector<int32_t>{FAKE_CAMERA_READ_IMAGE_INFO, FAKE_CAMERA_READ_IMAGE,
                                                       FAKE_CAMERA_READ_IMAGE_INFO, FAKE_CAMERA_READ_IMAGE}));
    const auto reads = m_fake->Calls(FAKE_CAMERA_READ_IMAGE);
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[0].value, 4);
    EXPECT_EQ(reads[1].value, 5);
    EXPECT_EQ(ReadFile(m_scratch / StampName(0, ".RWQ")), first);
    EXPECT_EQ(ReadFile(m_scratch / StampName(1, ".RWQ")), second);
    EXPECT_TRUE(boxes.empty());
    g_hEventWnd.Clear(window.get());
}

// Calls `onPaint` at every paint event of a widget.
class PaintWatcher : public QObject {
public:
    PaintWatcher(QWidget *widget, std::function<void()> onPaint) : m_onPaint(std::move(onPaint))
    {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            m_onPaint();
        return false;
    }

private:
    std::function<void()> m_onPaint;
};

TEST_F(WindowTest, EventsQueuedAtOnceAreTakenOnePerTurnAndEachPictureIsPaintedBeforeTheNext)
{
    auto window = ShowWindow();
    Connect(*window);
    SettleAndPaint();
    std::vector<size_t> picturesAtPaint;
    PaintWatcher watcher(window->PreviewControl(),
                         [&] { picturesAtPaint.push_back(fake()->CountCalls(FAKE_CAMERA_READ_IMAGE)); });
    const std::vector<uint8_t> jpegs[] = {JpegOf(QSize(64, 48), Qt::red), JpegOf(QSize(64, 48), Qt::green),
                                          JpegOf(QSize(64, 48), Qt::blue)};
    for (const auto &jpeg : jpegs)
        fake()->QueueImage(CAMERA_IMAGE_JPEG, jpeg.size(), jpeg.data(), jpeg.size());
    const uint32_t codes[] = {8200};
    const uint32_t values[] = {41};
    fake()->SetChangedProperties(1, codes, values);
    for (const int32_t event : {1, 1, 2, 1})
        fake()->FireEvent(0, event, FAKE_CAMERA_DELIVER_SYNC, nullptr);
    EXPECT_EQ(g_hEventWnd.Waiting(window.get()), 4u);

    // One pass over the posted events takes one camera event.
    QApplication::sendPostedEvents();
    EXPECT_EQ(fake()->CountCalls(FAKE_CAMERA_READ_IMAGE), 1u);
    EXPECT_EQ(g_hEventWnd.Waiting(window.get()), 3u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake()->CountCalls(FAKE_CAMERA_READ_IMAGE) == 3; }, 5000));
    SettleAndPaint();

    // In their order: picture, picture, properties, picture.
    EXPECT_EQ(m_fake->Entries(),
              (std::vector<int32_t>{FAKE_CAMERA_READ_IMAGE_INFO, FAKE_CAMERA_READ_IMAGE, FAKE_CAMERA_READ_IMAGE_INFO,
                                    FAKE_CAMERA_READ_IMAGE, FAKE_CAMERA_GET_CHANGED_PROPERTY,
                                    FAKE_CAMERA_READ_IMAGE_INFO, FAKE_CAMERA_READ_IMAGE}));
    EXPECT_EQ(window->Property2008(), 41);
    // Every picture's preview reached the screen before the next was taken.
    for (size_t picture = 1; picture <= 3; ++picture)
        EXPECT_NE(std::find(picturesAtPaint.begin(), picturesAtPaint.end(), picture), picturesAtPaint.end())
            << "picture " << picture << " was never painted";
    g_hEventWnd.Clear(window.get());
}

TEST_F(WindowTest, AFolderTypedIntoSaveInChangesNothing)
{
    auto window = ShowWindow();
    const std::filesystem::path typed = m_scratch / "typed";
    std::filesystem::create_directories(typed);
    window->SaveFolderEdit()->setFocus();
    window->SaveFolderEdit()->selectAll();
    QTest::keyClicks(window->SaveFolderEdit(), QString::fromStdString(typed.string()));
    const std::vector<uint8_t> bytes = Bytes({4, 5, 6});
    fake()->QueueImage(CAMERA_IMAGE_RAW, 3, bytes.data(), bytes.size());
    Announce(*window, WM_CAMERA_IMAGE_READY);
    Settle();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(std::filesystem::is_empty(typed));
    EXPECT_EQ(ReadFile(m_scratch / StampName(0, ".RWQ")), bytes);
    EXPECT_TRUE(window->SaveFolder().isEmpty());
}

TEST_F(WindowTest, AJpegPictureIsPreviewedAndStored)
{
    auto window = ShowWindow();
    const std::vector<uint8_t> jpeg = JpegOf(QSize(300, 200), QColor(220, 30, 30));
    fake()->QueueImage(CAMERA_IMAGE_JPEG_ALT, jpeg.size(), jpeg.data(), jpeg.size());
    Announce(*window, WM_CAMERA_IMAGE_READY);
    Settle();

    EXPECT_EQ(ReadFile(m_scratch / StampName(0, ".JPG")), jpeg);
    const QImage shown = window->PreviewControl()->grab().toImage();
    const QColor centre = shown.pixelColor(shown.width() / 2, shown.height() / 2);
    EXPECT_GT(centre.red(), 180);
    EXPECT_LT(centre.green(), 80);
}

// What TAVREN's own camera libraries write before ImageType.
std::array<uint8_t, 32> Announcement(const char *marker, std::string_view extension, uint32_t shot)
{
    std::array<uint8_t, 32> bytes{};
    std::memcpy(bytes.data(), marker, 4);
    std::memcpy(bytes.data() + 4, extension.data(), std::min<size_t>(extension.size(), 8));
    for (int i = 0; i < 4; ++i)
        bytes[12 + i] = static_cast<uint8_t>(shot >> (8 * i));
    return bytes;
}

TEST_F(WindowTest, AnnouncedRawFilesKeepTheirExtensionAndShareTheirShotsName)
{
    auto window = ShowWindow();
    const std::vector<uint8_t> raw = Bytes({'C', 'R', '3'});
    const std::vector<uint8_t> jpeg = JpegOf(QSize(64, 48), Qt::green);
    const std::vector<uint8_t> nef = Bytes({'N', 'E', 'F'});
    const auto deliver = [&](int32_t type, const std::array<uint8_t, 32> &leading, const std::vector<uint8_t> &bytes) {
        fake()->QueueImageWithLeadingBytes(type, bytes.size(), leading.data(), bytes.data(), bytes.size());
        Announce(*window, WM_CAMERA_IMAGE_READY);
        Settle();
    };
    deliver(CAMERA_IMAGE_RAW, Announcement("TVRN", "cr3", 41), raw);
    deliver(CAMERA_IMAGE_JPEG, Announcement("TVRN", "JPG", 41), jpeg);
    deliver(CAMERA_IMAGE_RAW, Announcement("TVRN", "NEF", 42), nef);
    EXPECT_EQ(ReadFile(m_scratch / StampName(0, ".CR3")), raw);
    EXPECT_EQ(ReadFile(m_scratch / StampName(0, ".JPG")), jpeg) << "the JPEG of the shot takes the raw file's name";
    EXPECT_EQ(ReadFile(m_scratch / StampName(2, ".NEF")), nef);
    EXPECT_EQ(FilesIn(m_scratch).size(), 3u);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(WindowTest, InvalidAnnouncementsChangeNothing)
{
    auto window = ShowWindow();
    std::vector<std::array<uint8_t, 32>> invalid = {
        Announcement("TVRX", "CR3", 7), Announcement("TVRN", "C-3", 7), Announcement("TVRN", std::string_view("C\0R3", 4), 7),
        Announcement("TVRN", "CR3", 7)};
    invalid.back()[20] = 1; // a reserved byte
    // Each raw picture comes with an invalid announcement of shot 7, right
    // after a valid one of shot 7: stored as .RWQ under a time stamp of its own.
    int tick = 0;
    for (const auto &leading : invalid) {
        const std::vector<uint8_t> valid = Bytes({'A', static_cast<uint8_t>(tick)});
        fake()->QueueImageWithLeadingBytes(CAMERA_IMAGE_RAW, valid.size(), Announcement("TVRN", "ARW", 7).data(),
                                           valid.data(), valid.size());
        const std::vector<uint8_t> bytes = Bytes({'B', static_cast<uint8_t>(tick)});
        fake()->QueueImageWithLeadingBytes(CAMERA_IMAGE_RAW, bytes.size(), leading.data(), bytes.data(), bytes.size());
        Announce(*window, WM_CAMERA_IMAGE_READY);
        Announce(*window, WM_CAMERA_IMAGE_READY);
        Settle();
        EXPECT_EQ(ReadFile(m_scratch / StampName(tick, ".ARW")), valid) << tick;
        EXPECT_EQ(ReadFile(m_scratch / StampName(tick + 1, ".RWQ")), bytes) << tick;
        tick += 2;
    }
    EXPECT_EQ(FilesIn(m_scratch).size(), 8u);
}

TEST_F(WindowTest, EventsFromTheLibrarysThreadAreHandledOnTheWindowsThread)
{
    auto window = ShowWindow();
    Connect(*window);
    const std::vector<uint8_t> bytes = Bytes({9, 8, 7});
    fake()->QueueImage(CAMERA_IMAGE_RAW, 3, bytes.data(), bytes.size());
    fake()->FireEvent(0, CAMERA_EVENT_IMAGE_READY, FAKE_CAMERA_DELIVER_ASYNC, nullptr);
    fake()->JoinEventThreads();
    Settle();

    const uint64_t mainThread = static_cast<uint64_t>(::syscall(SYS_gettid));
    const auto events = m_fake->Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_NE(events[0].thread, mainThread);
    EXPECT_EQ(events[0].result, 1);
    const auto reads = m_fake->Calls(FAKE_CAMERA_READ_IMAGE);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].thread, mainThread);
    EXPECT_EQ(ReadFile(m_scratch / StampName(0, ".RWQ")), bytes);
    g_hEventWnd.Clear(window.get());
}

TEST_F(WindowTest, EventsAfterTheWindowsLoopHasEndedAreDropped)
{
    CTetherDlg window;
    CTetherDlgTestAccess::SetCamera(window, 0x1001);
    g_hEventWnd.Set(&window);
    const std::vector<uint8_t> bytes = Bytes({1});
    fake()->QueueImage(CAMERA_IMAGE_RAW, 1, bytes.data(), bytes.size());
    QTimer::singleShot(0, &window, [&window] { window.accept(); });
    window.exec();

    EXPECT_EQ(g_hEventWnd.Target(), nullptr);
    EXPECT_EQ(CameraEventCallback(0, CAMERA_EVENT_IMAGE_READY), 1);
    EXPECT_EQ(g_hEventWnd.Waiting(&window), 0u);
    // Even a wake-up that was already on its way finds nothing to handle.
    QApplication::postEvent(&window, new QEvent(WM_CAMERA_EVENTS_WAITING));
    Settle();
    EXPECT_EQ(fake()->CallCount(), 0u);
}

// ----------------------------------------------------------------- properties

TEST_F(WindowTest, ChangedPropertiesKeepTheLatestValueOfTheirCode)
{
    auto window = ShowWindow();
    const uint32_t firstCodes[] = {8706, 8196};
    const uint32_t firstValues[] = {5, 1};
    fake()->SetChangedProperties(2, firstCodes, firstValues);
    Announce(*window, WM_CAMERA_PROPERTY_CHANGED);
    Settle();
    EXPECT_EQ(window->Property2202(), 5);
    EXPECT_EQ(window->Property2004(), 1);

    const uint32_t codes[] = {8200, 8196, 8200, 1234};
    const uint32_t values[] = {7, 3, 9, 11};
    fake()->SetChangedProperties(4, codes, values);
    Announce(*window, WM_CAMERA_PROPERTY_CHANGED);
    Settle();
    EXPECT_EQ(window->Property2008(), 9);
    EXPECT_EQ(window->Property2004(), 3);
    EXPECT_EQ(window->Property2202(), 5);

    // A failed read changes nothing, even when the library wrote a list.
    const uint32_t laterCodes[] = {8200};
    const uint32_t laterValues[] = {42};
    fake()->SetChangedProperties(1, laterCodes, laterValues);
    fake()->SetWriteOnFailure(1);
    fake()->QueueResult(FAKE_CAMERA_GET_CHANGED_PROPERTY, -1);
    Announce(*window, WM_CAMERA_PROPERTY_CHANGED);
    Settle();
    EXPECT_EQ(window->Property2008(), 9);

    const auto reads = m_fake->Calls(FAKE_CAMERA_GET_CHANGED_PROPERTY);
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(reads[0].handle, 0x1001u);
}

TEST_F(WindowTest, AChangedPropertyListClaimingTooManyEntriesIsReadWithinItsBuffer)
{
    auto window = ShowWindow();
    std::vector<uint8_t> list(CHANGED_PROPERTY_LIST_SIZE, 0);
    list[0] = 0xFF; // count 65,535: far more than the 1,100 entries the buffer holds
    list[1] = 0xFF;
    const size_t last = 2 + (CHANGED_PROPERTY_MAX_ENTRIES - 1) * CHANGED_PROPERTY_ENTRY_SIZE;
    list[last] = 0x08; // code 0x2008
    list[last + 1] = 0x20;
    list[last + 4] = 77; // value 77
    fake()->SetChangedPropertyBytes(list.data(), list.size());
    Announce(*window, WM_CAMERA_PROPERTY_CHANGED);
    Settle();
    EXPECT_EQ(window->Property2008(), 77);
}

} // namespace
