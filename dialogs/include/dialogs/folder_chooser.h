#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;

// The folder dialog's title.
inline constexpr char kFolderChooserTitle[] = "Please choose a destination of a photography image.";

// Asks for a destination folder with a modal folder dialog over `owner`. The
// dialog starts at `lastFolder` when that is still a folder, otherwise at the
// current directory, and is shown again for as long as it returns anything
// but an existing folder. Returns the folder's absolute path, or nothing when
// the user cancelled. Runs a nested event loop.
std::optional<QString> ChooseFolder(QWidget *owner, const QString &lastFolder);

// One showing of the folder dialog: the picked path, or nothing on cancel.
using FolderDialogHook =
    std::function<std::optional<QString>(QWidget *owner, const QString &title, const QString &startFolder)>;

// Tests replace the dialog; an empty function restores the real one.
void SetFolderDialogHook(FolderDialogHook hook);
