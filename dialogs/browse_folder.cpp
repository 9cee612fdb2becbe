#include "app/tether_dlg.h"
#include "dialogs/focus_return.h"
#include "dialogs/folder_chooser.h"
#include "app/message_box.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>

#include <filesystem>
#include <optional>
#include <system_error>

void CTetherDlg::OnBrowseFolder()
{
    const FocusReturn focusReturn(this);
    // Camera events are handled while the chooser is open; their pictures go
    // to the current directory of that moment.
    const std::optional<QString> picked = ChooseFolder(this, m_strSaveFolder);
    if (!picked)
        return;

    // The folder may have gone, or be closed to us, since it was picked:
    // keep the old destination rather than show a folder pictures never reach.
    std::error_code error;
    std::filesystem::current_path(std::filesystem::path(QFile::encodeName(*picked).toStdString()), error);
    if (error) {
        ui::ShowMessageBox(this,
                           QStringLiteral("The folder %1 cannot be used: %2.")
                               .arg(QDir::toNativeSeparators(*picked), QString::fromStdString(error.message())),
                           ui::MessageIcon::Error);
        return;
    }

    m_strSaveFolder = *picked;
    m_editSaveFolder->setText(m_strSaveFolder);
    RetryPendingPictures();
}
