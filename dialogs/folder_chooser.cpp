#include "dialogs/folder_chooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace {

FolderDialogHook &CurrentFolderDialogHook()
{
    static FolderDialogHook hook;
    return hook;
}

std::optional<QString> ShowFolderDialog(QWidget *owner, const QString &title, const QString &startFolder)
{
    QFileDialog dialog(owner, title, startFolder);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList picked = dialog.selectedFiles();
    return picked.isEmpty() ? QString() : picked.first();
}

std::optional<QString> RunFolderDialog(QWidget *owner, const QString &title, const QString &startFolder)
{
    // A copy: the hook may replace itself while it runs.
    if (const FolderDialogHook hook = CurrentFolderDialogHook())
        return hook(owner, title, startFolder);
    return ShowFolderDialog(owner, title, startFolder);
}

} // namespace

std::optional<QString> ChooseFolder(QWidget *owner, const QString &lastFolder)
{
    const QString title = QString::fromUtf8(kFolderChooserTitle);
    for (;;) {
        // Worked out afresh each round: the last folder may vanish meanwhile.
        const bool lastStillThere = !lastFolder.isEmpty() && QFileInfo(lastFolder).isDir();
        const QString start = lastStillThere ? lastFolder : QDir::currentPath();

        const std::optional<QString> picked = RunFolderDialog(owner, title, start);
        if (!picked)
            return std::nullopt;
        if (picked->isEmpty())
            continue;
        const QFileInfo folder(*picked);
        if (folder.isDir())
            return QDir::cleanPath(folder.absoluteFilePath());
    }
}

void SetFolderDialogHook(FolderDialogHook hook)
{
    CurrentFolderDialogHook() = std::move(hook);
}
