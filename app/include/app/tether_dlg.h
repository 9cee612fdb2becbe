#pragma once

#include "image/image_receiver.h"
#include "image/pending_pictures.h"

#include <QDialog>
#include <QEvent>
#include <QIcon>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLineEdit;
class QPushButton;
class CPreviewControl;
namespace image {
class OffscreenPicture;
}

// The main window (template IDD_TETHER_DIALOG). Everything here runs on the GUI
// thread; camera events wait for it in g_hEventWnd's queue and are taken one
// per turn of the event loop.
class CTetherDlg : public QDialog {
    Q_OBJECT

public:
    // Closing first handles the camera events already queued, then those that
    // arrive until no picture has been announced for kCloseQuietTime and the
    // latest shot has announced one, waiting for new ones kCloseLongestWait at
    // most. Pictures announced while its boxes are open are handled after them.
    static constexpr std::chrono::milliseconds kCloseQuietTime{500};
    static constexpr std::chrono::milliseconds kCloseLongestWait{10'000};

    explicit CTetherDlg(QWidget *parent = nullptr);
    ~CTetherDlg() override;

    // Runs the window modally; camera events arriving after the loop has
    // ended are dropped.
    int exec() override;

    // Button handlers. OnSelectCamera and OnBrowseFolder live in dialogs/.
    void OnSelectCamera();
    void OnShoot();
    void OnBrowseFolder();

    // Camera event handlers.
    void OnCameraImageReady();
    void OnCameraPropertyChanged();

    // Tries again to store the pictures that could not be stored; called after
    // every new folder pick and after each picture that was stored. Returns
    // how many remain.
    std::size_t RetryPendingPictures();

    // Read-only views of the window's state.
    QLineEdit *SaveFolderEdit() const { return m_editSaveFolder; }
    QLineEdit *CameraNameEdit() const { return m_editCameraName; }
    QPushButton *SelectCameraButton() const { return m_btnSelectCamera; }
    QPushButton *ShootButton() const { return m_btnShoot; }
    QPushButton *BrowseFolderButton() const { return m_btnBrowseFolder; }
    QPushButton *CloseButton() const { return m_btnClose; }
    QWidget *PreviewControl() const;
    const image::OffscreenPicture &PreviewPicture() const { return *m_picPreview; }
    uint32_t CameraHandle() const { return m_hCamera; }
    const QString &SaveFolder() const { return m_strSaveFolder; }
    int32_t Property2008() const { return m_nProperty2008; }
    int32_t Property2004() const { return m_nProperty2004; }
    int32_t Property2202() const { return m_nProperty2202; }
    std::size_t PendingPictureCount() const { return m_pendingPictures.Count(); }
    // True from Close until the window has ended or stays open after all.
    bool IsClosing() const { return m_closing != Closing::No; }

public slots:
    void accept() override; // OnOK: Close, Enter
    void reject() override; // OnCancel: Escape, the window's close button

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

    // The download buffer of one picture, exactly `size` bytes, or null when
    // there is no memory for it.
    virtual std::unique_ptr<uint8_t[]> AllocateDownloadBuffer(uint32_t size);

private:
    using Clock = std::chrono::steady_clock;
    enum class Closing {
        No,
        Draining, // handling the camera's last events; no box opens
        Asking,   // reporting and asking; camera events wait
    };

    void CreateControls();
    void OnInitDialog();
    void HandleCameraEvent(QEvent::Type type);
    void BeginClosing(int result);
    void ContinueClosing();
    void FinishClosing();
    void EndClosing();
    // Select, Shoot and "...", in the order of m_enabledBeforeClosing.
    std::array<QPushButton *, 3> ButtonsClosingDisables() const;
    void KeepUnsavedPicture(const CImageReceiver::FailedSave &failed);
    void ReportSaveProblems();
    bool MayClose();

    QLineEdit *m_editSaveFolder = nullptr;
    QLineEdit *m_editCameraName = nullptr;
    QPushButton *m_btnSelectCamera = nullptr;
    QPushButton *m_btnShoot = nullptr;
    QIcon m_hIcon;
    uint32_t m_hCamera = 0;
    QString m_strSaveFolder;
    CImageReceiver m_imageReceiver;
    int32_t m_nProperty2008 = 0;
    int32_t m_nProperty2004 = 0;
    int32_t m_nProperty2202 = 0;
    std::unique_ptr<image::OffscreenPicture> m_picPreview;

    QPushButton *m_btnClose = nullptr;
    QPushButton *m_btnBrowseFolder = nullptr;
    CPreviewControl *m_preview = nullptr;

    // False once the modal loop has ended: camera events are then dropped.
    bool m_handleCameraEvents = true;

    image::PendingPictures m_pendingPictures;
    // Set by the save-failure handler while a picture is being received.
    bool m_lastSaveFailed = false;
    // Save problems not yet shown, and whether a report box is open now
    // (camera events keep arriving inside its loop).
    std::vector<QString> m_unreportedProblems;
    bool m_reportOpen = false;

    // Closing (accept or reject) and what it still waits for.
    Closing m_closing = Closing::No;
    int m_closeResult = Rejected;
    // Events queued when Close was pressed that are not handled yet.
    std::size_t m_closeFirst = 0;
    // When the wait for new events began, once the first ones were handled.
    std::optional<Clock::time_point> m_closeWaitStart;
    // After the longest wait: how many of the events then queued remain.
    std::optional<std::size_t> m_closeLast;
    std::chrono::milliseconds m_closeLongestWait = kCloseLongestWait;
    // When the latest shot was asked for, if any was.
    std::optional<Clock::time_point> m_lastShot;
    QTimer m_closeTimer;
    // Enabled states of ButtonsClosingDisables() before closing disabled them.
    std::array<bool, 3> m_enabledBeforeClosing = {};
    QPointer<QWidget> m_focusBeforeClosing;

    friend class CTetherDlgTestAccess;
};
