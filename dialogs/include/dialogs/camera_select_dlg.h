#pragma once

#include "vrx4kapi.h"

#include <QDialog>
#include <QString>

#include <array>
#include <cstdint>

class QListWidget;
class QPushButton;
class QShowEvent;

// The most cameras the selection dialog lists.
inline constexpr int32_t MAX_CAMERAS = 4;

// The camera selection dialog (template IDD_CAMERA_SELECT): lists the connected
// cameras and returns the chosen one's index and name. GUI thread only.
class CCameraSelectDlg : public QDialog {
    Q_OBJECT

public:
    explicit CCameraSelectDlg(QWidget *parent = nullptr);

    // Counts the cameras through the camera binding and reads the description
    // of each (at most MAX_CAMERAS), with an error box for every failure.
    // Returns the number of cameras to list: 0 when counting failed or found
    // none, the library's own count when it is negative. Call before exec().
    int32_t EnumerateCameras();

    // The chosen camera's Name: empty until OK has been accepted.
    QString GetCameraName() const;

    QListWidget *CameraList() const { return m_listCameras; }
    QPushButton *OkButton() const { return m_btnOk; }
    QPushButton *CancelButton() const { return m_btnCancel; }

    // The chosen line's position, which is the camera index; -1 when none.
    int32_t m_nSelectedCamera = -1;

public slots:
    // OnOK: the OK button, Enter. Cancel, Escape and the close box end the
    // dialog through QDialog::reject and change no member.
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void CreateControls();
    void OnInitDialog();

    QPushButton *m_btnOk = nullptr;
    QPushButton *m_btnCancel = nullptr;
    QListWidget *m_listCameras = nullptr;
    std::array<CameraDeviceInfo, MAX_CAMERAS> m_cameraInfo{};
    int32_t m_nCameraCount = 0;
    QString m_strCameraName;
};
