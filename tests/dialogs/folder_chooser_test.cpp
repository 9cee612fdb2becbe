#include "dialog_test_support.h"
#include "dialogs/folder_chooser.h"

#include <QDir>
#include <QFileDialog>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

// The real folder dialog, driven from inside its own loop.
class FolderChooserTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        ASSERT_TRUE(QDir(root.path()).mkpath("current"));
        ASSERT_TRUE(QDir(root.path()).mkpath("last"));
        ASSERT_TRUE(QDir(root.path()).mkpath("other"));
        startDirectory = fs::current_path();
        fs::current_path(Folder("current").toStdString());
        owner.show();
    }
    void TearDown() override { fs::current_path(startDirectory); }

    QString Folder(const QString &name) const { return QDir(root.path()).absoluteFilePath(name); }

    QTemporaryDir root;
    fs::path startDirectory;
    QWidget owner;
};

TEST_F(FolderChooserTest, ShowsAModalFolderDialogAtTheLastPick)
{
    QString title;
    QString directory;
    QWidget *parent = nullptr;
    bool foldersOnly = false;
    ModalDriver driver([&](QDialog *shown) {
        auto *dialog = qobject_cast<QFileDialog *>(shown);
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        directory = dialog->directory().absolutePath();
        parent = dialog->parentWidget();
        foldersOnly = dialog->fileMode() == QFileDialog::Directory && dialog->testOption(QFileDialog::ShowDirsOnly);
        dialog->selectFile(Folder("other"));
        shown->accept(); // QFileDialog::accept, through the public base
    });

    const std::optional<QString> picked = ChooseFolder(&owner, Folder("last"));

    ASSERT_EQ(driver.Seen().size(), 1u);
    EXPECT_EQ(title, "Please choose a destination of a photography image.");
    EXPECT_EQ(directory, Folder("last"));
    EXPECT_EQ(parent, &owner);
    EXPECT_TRUE(foldersOnly);
    ASSERT_TRUE(picked.has_value());
    EXPECT_EQ(*picked, Folder("other"));
    EXPECT_EQ(QDir::currentPath(), Folder("current")) << "choosing alone changes no directory";
}

TEST_F(FolderChooserTest, CancelReturnsNothingAndAMissingLastPickStartsAtTheCurrentDirectory)
{
    QString directory;
    ModalDriver driver([&](QDialog *shown) {
        directory = qobject_cast<QFileDialog *>(shown)->directory().absolutePath();
        shown->reject();
    });

    EXPECT_FALSE(ChooseFolder(&owner, Folder("gone")).has_value());
    EXPECT_EQ(directory, Folder("current"));

    EXPECT_FALSE(ChooseFolder(&owner, QString()).has_value());
    EXPECT_EQ(directory, Folder("current"));
    EXPECT_EQ(driver.Seen().size(), 2u);
}

} // namespace
