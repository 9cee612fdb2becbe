#include "app/tether_dlg.h"
#include "camera_fixture.h"
#include "dialogs/camera_select_dlg.h"
#include "dialogs/folder_chooser.h"
#include "image/exif_library.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

// Pictures from a connected (fake) camera while the destination changes.
class PicturesAndFolderTest : public FakeCameraTest {
protected:
    void SetUp() override
    {
        FakeCameraTest::SetUp();
        // The receiver stores nothing without a bound decoder, raw pictures included.
        ASSERT_EQ(LoadExifLibrary(), 1);
        ASSERT_TRUE(root.isValid());
        for (const char *name : {"start", "picked"})
            ASSERT_TRUE(QDir(root.path()).mkpath(name));
        startDirectory = fs::current_path();
        fs::current_path(Folder("start").toStdString());
        window = std::make_unique<CTetherDlg>();
        window->show();

        ModalDriver driver([](QDialog *shown) {
            auto *dialog = qobject_cast<CCameraSelectDlg *>(shown);
            ASSERT_NE(dialog, nullptr);
            QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
        });
        window->OnSelectCamera();
        ASSERT_NE(window->CameraHandle(), 0u);
    }
    void TearDown() override
    {
        window.reset();
        SetFolderDialogHook({});
        fs::current_path(startDirectory);
        UnloadExifLibrary();
        FakeCameraTest::TearDown();
    }

    QString Folder(const QString &name) const { return QDir(root.path()).absoluteFilePath(name); }

    // A raw picture arrives and is handled, as in any event loop.
    void DeliverRawPicture(const QByteArray &bytes)
    {
        fake->QueueImage(CAMERA_IMAGE_RAW, static_cast<uint32_t>(bytes.size()), bytes.constData(),
                         static_cast<size_t>(bytes.size()));
        ASSERT_EQ(fake->FireEvent(0, CAMERA_EVENT_IMAGE_READY, FAKE_CAMERA_DELIVER_SYNC, nullptr), 1);
        QCoreApplication::sendPostedEvents(window.get());
    }

    // The contents of the raw picture files in `folder`.
    static QList<QByteArray> StoredPictures(const QString &folder)
    {
        QList<QByteArray> contents;
        for (const QString &name : QDir(folder).entryList({"*.RWQ"}, QDir::Files, QDir::Name)) {
            QFile file(QDir(folder).filePath(name));
            if (file.open(QIODevice::ReadOnly))
                contents << file.readAll();
        }
        return contents;
    }

    QTemporaryDir root;
    fs::path startDirectory;
    std::unique_ptr<CTetherDlg> window;
};

TEST_F(PicturesAndFolderTest, PictureDuringTheChoiceGoesToTheOldFolderAndTheNextToThePickedOne)
{
    SetFolderDialogHook([this](QWidget *, const QString &, const QString &) {
        DeliverRawPicture("while choosing");
        return std::optional<QString>(Folder("picked"));
    });

    window->OnBrowseFolder();
    DeliverRawPicture("after the pick");

    EXPECT_EQ(StoredPictures(Folder("start")), QList<QByteArray>{"while choosing"});
    EXPECT_EQ(StoredPictures(Folder("picked")), QList<QByteArray>{"after the pick"});
}

TEST_F(PicturesAndFolderTest, PicturesKeptAfterAFailedSaveAreStoredInTheNewFolder)
{
    // The destination disappears: the picture cannot be stored and is kept.
    ASSERT_TRUE(QDir(Folder("start")).removeRecursively());
    DeliverRawPicture("kept");
    ASSERT_EQ(window->PendingPictureCount(), 1u);

    SetFolderDialogHook([this](QWidget *, const QString &, const QString &) {
        return std::optional<QString>(Folder("picked"));
    });
    window->OnBrowseFolder();

    EXPECT_EQ(window->PendingPictureCount(), 0u);
    EXPECT_EQ(StoredPictures(Folder("picked")), QList<QByteArray>{"kept"});
}

} // namespace
