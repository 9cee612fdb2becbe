#include "window_fixture.h"

#include "app/camera_events.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

// Pictures that cannot be stored: the working directory is removed under the
// window, the way a folder on a removed drive disappears.
class PendingPicturesTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        if (HasFatalFailure())
            return;
        m_gone = m_scratch / "gone";
        m_later = m_scratch / "later";
        std::filesystem::create_directories(m_gone);
        std::filesystem::create_directories(m_later);
        std::filesystem::current_path(m_gone);
        std::filesystem::remove(m_gone);
    }

    // Queues a raw picture and delivers its event to `window`.
    void Deliver(CTetherDlg &window, const std::vector<uint8_t> &bytes)
    {
        fake()->QueueImage(CAMERA_IMAGE_RAW, bytes.size(), bytes.data(), bytes.size());
        Announce(window, WM_CAMERA_IMAGE_READY);
        Settle();
    }

    std::filesystem::path m_gone;
    std::filesystem::path m_later;
};

const std::vector<uint8_t> kFirst{'f', 'i', 'r', 's', 't'};
const std::vector<uint8_t> kSecond{'s', 'e', 'c', 'o', 'n', 'd'};
const std::vector<uint8_t> kThird{'t', 'h', 'i', 'r', 'd', '!', '!'};

TEST_F(PendingPicturesTest, AnUnstoredPictureIsReportedKeptAndStoredInTheNextFolderPicked)
{
    auto window = ShowWindow();
    Deliver(*window, kFirst);

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, window.get());
    EXPECT_EQ(boxes[0].icon, ui::MessageIcon::Warning);
    EXPECT_TRUE(boxes[0].text.contains(QString::fromStdString(StampName(0, ".RWQ")))) << boxes[0].text.toStdString();
    EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("no longer exists"))) << boxes[0].text.toStdString();
    EXPECT_EQ(window->PendingPictureCount(), 1u);

    // Still no folder: the picture stays kept, and nothing more is shown.
    EXPECT_EQ(window->RetryPendingPictures(), 1u);
    EXPECT_EQ(boxes.size(), 1u);

    // The user picks another folder: the picture goes there under its own name.
    std::filesystem::current_path(m_later);
    EXPECT_EQ(window->RetryPendingPictures(), 0u);
    EXPECT_EQ(window->PendingPictureCount(), 0u);
    EXPECT_EQ(FilesIn(m_later), std::vector<std::string>{StampName(0, ".RWQ")});
    EXPECT_EQ(ReadFile(m_later / StampName(0, ".RWQ")), kFirst);
}

TEST_F(PendingPicturesTest, KeptPicturesAreStoredWithTheNextPictureThatCanBe)
{
    auto window = ShowWindow();
    Deliver(*window, kFirst);
    Deliver(*window, kSecond);
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_EQ(window->PendingPictureCount(), 2u);

    std::filesystem::current_path(m_later);
    Deliver(*window, kThird);
    EXPECT_EQ(window->PendingPictureCount(), 0u);
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_EQ(FilesIn(m_later),
              (std::vector<std::string>{StampName(0, ".RWQ"), StampName(1, ".RWQ"), StampName(2, ".RWQ")}));
    EXPECT_EQ(ReadFile(m_later / StampName(0, ".RWQ")), kFirst);
    EXPECT_EQ(ReadFile(m_later / StampName(1, ".RWQ")), kSecond);
    EXPECT_EQ(ReadFile(m_later / StampName(2, ".RWQ")), kThird);
}

TEST_F(PendingPicturesTest, ABurstOfFailuresOpensOneBoxAtATime)
{
    auto window = ShowWindow();
    int open = 0;
    int mostOpen = 0;
    bool delivered = false;
    // While the first box is open, two more pictures arrive in its loop.
    onBox = [&](const RecordedBox &) {
        ++open;
        mostOpen = std::max(mostOpen, open);
        if (!delivered) {
            delivered = true;
            Deliver(*window, kSecond);
            Deliver(*window, kThird);
        }
        --open;
    };
    Deliver(*window, kFirst);

    EXPECT_EQ(mostOpen, 1);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(boxes[0].text.contains(QString::fromStdString(StampName(0, ".RWQ"))));
    // The second box gathers what failed while the first was open.
    EXPECT_TRUE(boxes[1].text.startsWith(QStringLiteral("2 pictures could not be stored.")))
        << boxes[1].text.toStdString();
    EXPECT_TRUE(boxes[1].text.contains(QString::fromStdString(StampName(1, ".RWQ"))));
    EXPECT_TRUE(boxes[1].text.contains(QString::fromStdString(StampName(2, ".RWQ"))));
    EXPECT_EQ(window->PendingPictureCount(), 3u);
}

TEST_F(PendingPicturesTest, ClosingWithUnstoredPicturesAsksFirstEveryWay)
{
    auto window = ShowWindow();
    Deliver(*window, kFirst);
    Deliver(*window, kSecond);
    ASSERT_EQ(window->PendingPictureCount(), 2u);

    const std::vector<std::function<void()>> ways{
        [&] { window->CloseButton()->click(); },
        [&] { QTest::keyClick(window->SaveFolderEdit(), Qt::Key_Return); },
        [&] { QTest::keyClick(window->SaveFolderEdit(), Qt::Key_Escape); },
        [&] { window->close(); },
    };
    answer = false;
    for (size_t way = 0; way < ways.size(); ++way) {
        window->SaveFolderEdit()->setFocus();
        ways[way]();
        // The camera announced a picture just now: closing waits a moment
        // for more before it asks.
        ASSERT_TRUE(QTest::qWaitFor([&] { return questions.size() == way + 1; }, 3000)) << way;
        EXPECT_TRUE(window->isVisible()) << way;
        EXPECT_FALSE(window->IsClosing()) << way;
        EXPECT_TRUE(questions[way].contains(QStringLiteral("2 pictures"))) << questions[way].toStdString();
        EXPECT_TRUE(questions[way].contains(QStringLiteral("lost")));
    }
    EXPECT_EQ(window->PendingPictureCount(), 2u);

    answer = true;
    window->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 3000));
    EXPECT_EQ(questions.size(), ways.size() + 1);
}

TEST_F(PendingPicturesTest, ProblemsMetWhileClosingAreReportedTogetherAfterwardsThenTheQuestionIsAsked)
{
    auto window = ShowWindow();
    Connect(*window);
    window->ShootButton()->setEnabled(true);
    for (const auto *bytes : {&kFirst, &kSecond})
        fake()->QueueImage(CAMERA_IMAGE_RAW, bytes->size(), bytes->data(), bytes->size());
    fake()->FireEvent(0, CAMERA_EVENT_IMAGE_READY, FAKE_CAMERA_DELIVER_SYNC, nullptr);
    fake()->FireEvent(0, CAMERA_EVENT_IMAGE_READY, FAKE_CAMERA_DELIVER_SYNC, nullptr);
    std::vector<size_t> picturesAtBox;
    onBox = [&](const RecordedBox &) { picturesAtBox.push_back(fake()->CountCalls(FAKE_CAMERA_READ_IMAGE)); };

    answer = false;
    window->ShootButton()->setFocus();
    QTest::keyClick(window->ShootButton(), Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !questions.empty(); }, 5000));
    // No box while the pictures were handled: one box for both, afterwards.
    EXPECT_EQ(picturesAtBox, std::vector<size_t>{2});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.startsWith(QStringLiteral("2 pictures could not be stored."))) << boxes[0].text.toStdString();
    EXPECT_TRUE(questions[0].contains(QStringLiteral("2 pictures"))) << questions[0].toStdString();

    // Not closed after all: the window works on as before.
    Settle();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->IsClosing());
    EXPECT_TRUE(window->ShootButton()->isEnabled());
    EXPECT_TRUE(window->BrowseFolderButton()->isEnabled());
    EXPECT_EQ(window->focusWidget(), window->ShootButton());
    std::filesystem::current_path(m_later);
    fake()->QueueImage(CAMERA_IMAGE_RAW, kThird.size(), kThird.data(), kThird.size());
    fake()->FireEvent(0, CAMERA_EVENT_IMAGE_READY, FAKE_CAMERA_DELIVER_SYNC, nullptr);
    Settle();
    EXPECT_EQ(window->PendingPictureCount(), 0u);
    EXPECT_EQ(FilesIn(m_later).size(), 3u);
    g_hEventWnd.Clear(window.get());
}

TEST_F(PendingPicturesTest, PicturesAnnouncedWhileTheClosingReportIsOpenAreStoredBeforeTheWindowEnds)
{
    auto window = ShowWindow();
    Connect(*window);
    fake()->QueueImage(CAMERA_IMAGE_RAW, kFirst.size(), kFirst.data(), kFirst.size());
    fake()->FireEvent(0, CAMERA_EVENT_IMAGE_READY, FAKE_CAMERA_DELIVER_SYNC, nullptr);
    // While the report of the first picture is open, the folder comes back
    // and the camera announces another picture.
    onBox = [&](const RecordedBox &) {
        if (boxes.size() > 1)
            return;
        std::filesystem::current_path(m_later);
        fake()->QueueImage(CAMERA_IMAGE_RAW, kSecond.size(), kSecond.data(), kSecond.size());
        fake()->FireEvent(0, CAMERA_EVENT_IMAGE_READY, FAKE_CAMERA_DELIVER_SYNC, nullptr);
        QTest::qWait(50);
    };
    window->CloseButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 5000));
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(questions.empty());
    EXPECT_EQ(fake()->CountCalls(FAKE_CAMERA_READ_IMAGE), 2u);
    EXPECT_EQ(ReadFile(m_later / StampName(0, ".RWQ")), kFirst);
    EXPECT_EQ(ReadFile(m_later / StampName(1, ".RWQ")), kSecond);
    g_hEventWnd.Clear(window.get());
}

TEST_F(PendingPicturesTest, ClosingStoresKeptPicturesWithoutAskingWhenStoringWorksAgain)
{
    auto window = ShowWindow();
    Deliver(*window, kFirst);
    std::filesystem::current_path(m_later);
    window->CloseButton()->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 3000));
    EXPECT_TRUE(questions.empty());
    EXPECT_EQ(ReadFile(m_later / StampName(0, ".RWQ")), kFirst);
}

} // namespace
