#include "app/tether_dlg.h"
#include "dialog_test_support.h"
#include "dialogs/folder_chooser.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using ui::MessageIcon;
namespace fs = std::filesystem;

QString CurrentDirectory()
{
    return QString::fromStdString(fs::current_path().string());
}

// One showing of the folder dialog, as the hook saw it.
struct DialogShown {
    QWidget *owner = nullptr;
    QString title;
    QString start;
};

class BrowseFolderTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        startDirectory = fs::current_path();
        ASSERT_TRUE(QDir(root.path()).mkpath("start"));
        ASSERT_TRUE(QDir(root.path()).mkpath("first"));
        ASSERT_TRUE(QDir(root.path()).mkpath("second"));
        fs::current_path(Folder("start").toStdString());
        SetFolderDialogHook([this](QWidget *owner, const QString &title, const QString &start) {
            shown.push_back({owner, title, start});
            if (answers.empty())
                return std::optional<QString>();
            const std::optional<QString> answer = std::move(answers.front());
            answers.pop_front();
            return answer;
        });
        // Made here, so that it starts in the test's current directory.
        window = std::make_unique<CTetherDlg>();
        window->show();
    }
    void TearDown() override
    {
        window.reset();
        SetFolderDialogHook({});
        fs::current_path(startDirectory);
    }

    QString Folder(const QString &name) const { return QDir(root.path()).absoluteFilePath(name); }

    // The folder shown, remembered and used for pictures.
    void ExpectDestination(const QString &folder)
    {
        EXPECT_EQ(window->SaveFolderEdit()->text(), folder);
        EXPECT_EQ(window->SaveFolder(), folder);
        EXPECT_EQ(CurrentDirectory(), folder);
    }

    QTemporaryDir root;
    fs::path startDirectory;
    std::vector<DialogShown> shown;
    std::deque<std::optional<QString>> answers; // nullopt: Cancel
    MessageBoxRecorder recorder;
    std::unique_ptr<CTetherDlg> window;
};

TEST_F(BrowseFolderTest, PickMakesTheFolderTheDestination)
{
    ASSERT_EQ(window->SaveFolderEdit()->text(), Folder("start"));
    answers = {Folder("first")};

    window->OnBrowseFolder();

    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].owner, window.get());
    EXPECT_EQ(shown[0].title, "Please choose a destination of a photography image.");
    EXPECT_EQ(shown[0].start, Folder("start")) << "first use starts where pictures go now";
    ExpectDestination(Folder("first"));
    EXPECT_TRUE(recorder.boxes.empty());

    // The second use starts at the folder picked before.
    answers = {Folder("second")};
    window->OnBrowseFolder();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].start, Folder("first"));
    ExpectDestination(Folder("second"));
}

TEST_F(BrowseFolderTest, CancelChangesNothing)
{
    answers = {Folder("first")};
    window->OnBrowseFolder();
    window->SaveFolderEdit()->setText("typed by hand");

    answers = {std::nullopt};
    window->OnBrowseFolder();

    EXPECT_EQ(shown.size(), 2u);
    EXPECT_EQ(window->SaveFolderEdit()->text(), "typed by hand");
    EXPECT_EQ(CurrentDirectory(), Folder("first"));
    EXPECT_EQ(window->SaveFolder(), Folder("first"));
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(BrowseFolderTest, StartsAtTheCurrentDirectoryWhenTheLastPickIsGone)
{
    answers = {Folder("first")};
    window->OnBrowseFolder();
    fs::current_path(Folder("second").toStdString());
    ASSERT_TRUE(QDir(Folder("first")).removeRecursively());

    answers = {std::nullopt};
    window->OnBrowseFolder();

    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].start, Folder("second"));
}

TEST_F(BrowseFolderTest, TextTypedIntoTheFieldIsNotTheDestination)
{
    window->SaveFolderEdit()->setText(Folder("second"));
    answers = {std::nullopt};

    window->OnBrowseFolder();

    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].start, Folder("start"));
    EXPECT_EQ(CurrentDirectory(), Folder("start"));
    EXPECT_EQ(window->SaveFolder(), "");
}

TEST_F(BrowseFolderTest, AsksAgainUntilAnExistingFolderIsPicked)
{
    QFile file(Folder("a file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    answers = {Folder("a file"), QString(), Folder("missing"), Folder("second") + "/../first/."};

    window->OnBrowseFolder();

    ASSERT_EQ(shown.size(), 4u);
    for (const DialogShown &showing : shown)
        EXPECT_EQ(showing.start, Folder("start")) << "every round starts the same way";
    ExpectDestination(Folder("first"));
}

// Runs `action` while the folder `path` is closed to the process (mode 0).
// Root enters any folder, so a root process gives up root rights meanwhile.
// Returns false when that cannot be arranged.
bool WithFolderClosed(const QString &path, const std::function<void()> &action)
{
    const QByteArray folder = QFile::encodeName(path);
    if (::chmod(folder.constData(), 0) != 0)
        return false;
    const bool root = ::geteuid() == 0;
    if (root && ::seteuid(65534) != 0) {
        ::chmod(folder.constData(), 0755);
        return false;
    }
    action();
    const bool restored = !root || ::seteuid(0) == 0;
    ::chmod(folder.constData(), 0755);
    return restored;
}

TEST_F(BrowseFolderTest, FolderThatCannotBecomeTheCurrentDirectoryIsRefused)
{
    answers = {Folder("first")};
    window->OnBrowseFolder();
    ASSERT_EQ(::chmod(QFile::encodeName(root.path()).constData(), 0755), 0);

    answers = {Folder("second")};
    if (!WithFolderClosed(Folder("second"), [this] { window->OnBrowseFolder(); }))
        GTEST_SKIP() << "a folder cannot be closed to this process";

    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].owner, window.get());
    EXPECT_EQ(recorder.boxes[0].icon, MessageIcon::Error);
    EXPECT_EQ(recorder.boxes[0].text, "The folder " + Folder("second") + " cannot be used: Permission denied.");
    ExpectDestination(Folder("first"));
}

} // namespace
