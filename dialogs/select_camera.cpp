#include "app/camera_events.h"
#include "app/tether_dlg.h"
#include "camera/camera_library.h"
#include "dialogs/camera_select_dlg.h"
#include "dialogs/focus_return.h"
#include "app/message_box.h"

#include <QLineEdit>
#include <QPushButton>

void CTetherDlg::OnSelectCamera()
{
    // Before any camera is opened with the callback, so that an event the
    // library delivers at once finds its window.
    g_hEventWnd.Set(this);
    const FocusReturn focusReturn(this);

    // Parented to the main window: modal over it and centred on it.
    CCameraSelectDlg dialog(this);
    if (dialog.EnumerateCameras() <= 0)
        return;
    if (dialog.exec() != QDialog::Accepted)
        return;

    m_editCameraName->setText(dialog.GetCameraName());
    m_editCameraName->setEnabled(true);

    CCameraLibrary *library = GetCameraLibrary();
    if (!library || library->Open(dialog.m_nSelectedCamera, &m_hCamera, CameraEventCallback, 0) != 0) {
        m_hCamera = 0;
        ui::ShowMessageBox(this, QStringLiteral("I cannot be connected to a camera."), ui::MessageIcon::Error);
        return;
    }

    // Disabling the focused Select would move the focus to "..."; the next
    // step for a keyboard user is Shoot.
    const bool selectHadFocus = focusWidget() == m_btnSelectCamera;
    m_btnSelectCamera->setEnabled(false);
    m_btnShoot->setEnabled(true);
    if (selectHadFocus)
        m_btnShoot->setFocus();
}
