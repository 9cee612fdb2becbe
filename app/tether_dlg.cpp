#include "app/tether_dlg.h"

#include "app/camera_events.h"
#include "app/preview_control.h"
#include "camera/camera_library.h"
#include "camera/camera_records.h"
#include "image/image_file.h"
#include "app/dialog_units.h"
#include "app/message_box.h"
#include "image/offscreen_picture.h"

#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <array>
#include <filesystem>
#include <new>
#include <system_error>

namespace {

// The template IDD_TETHER_DIALOG, in dialog units.
constexpr QSize kDialogSize(490, 266);
constexpr QRect kCloseRect(433, 245, 50, 14);
constexpr QRect kCameraNameRect(21, 28, 145, 14);
constexpr QRect kSelectCameraRect(116, 49, 50, 14);
constexpr QRect kCaptureGroupRect(185, 12, 292, 220);
constexpr QRect kPreviewRect(192, 28, 279, 174);
constexpr QRect kBrowseFolderRect(383, 211, 12, 14);
constexpr QRect kCameraGroupRect(13, 12, 160, 58);
constexpr QRect kShootRect(421, 211, 50, 14);
constexpr QRect kSaveFolderRect(220, 211, 160, 14);
constexpr QRect kSaveInLabelRect(191, 214, 27, 8);

QString CurrentDirectoryText()
{
    std::error_code error;
    const std::filesystem::path directory = std::filesystem::current_path(error);
    return error ? QString() : QFile::decodeName(directory.c_str());
}

} // namespace

CTetherDlg::CTetherDlg(QWidget *parent)
    : QDialog(parent)
{
    m_hIcon.addFile(QStringLiteral(":/tavren/app_icon_32.png"), QSize(32, 32));
    m_hIcon.addFile(QStringLiteral(":/tavren/app_icon_16.png"), QSize(16, 16));
    m_imageReceiver.SetSaveFailureHandler(
        [this](const CImageReceiver::FailedSave &failed) { KeepUnsavedPicture(failed); });
    CreateControls();
    OnInitDialog();
    m_closeTimer.setSingleShot(true);
    m_closeTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_closeTimer, &QTimer::timeout, this, &CTetherDlg::ContinueClosing);
}

CTetherDlg::~CTetherDlg()
{
    g_hEventWnd.Clear(this);
}

void CTetherDlg::CreateControls()
{
    setWindowTitle(QStringLiteral("TAVREN"));
    // A fixed-size dialog frame: caption and close box, no minimise,
    // maximise or sizing.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);
    setFont(ui::DialogFont());
    const ui::DialogBaseUnits units = ui::BaseUnitsOf(font());
    setFixedSize(ui::DialogUnitsToPixels(kDialogSize, units));

    const auto place = [&units](QWidget *control, const QRect &rect) {
        control->setGeometry(ui::DialogUnitsToPixels(rect, units));
    };
    const auto makeButton = [&](const QString &text, const QRect &rect) {
        auto *button = new QPushButton(text, this);
        // Enter is handled by the dialog itself (keyPressEvent), so no
        // button may become the default one.
        button->setAutoDefault(false);
        button->setDefault(false);
        place(button, rect);
        return button;
    };
    const auto makeGroup = [&](const QString &title, const QRect &rect) {
        auto *group = new QGroupBox(title, this);
        place(group, rect);
        // A group box only frames; clicks and focus go to the controls in it.
        group->setAttribute(Qt::WA_TransparentForMouseEvents);
        group->lower();
        return group;
    };

    // Template order, which is also the tab order.
    m_btnClose = makeButton(QStringLiteral("Close"), kCloseRect);
    m_btnClose->setObjectName(QStringLiteral("IDOK"));
    m_editCameraName = new QLineEdit(this);
    m_editCameraName->setObjectName(QStringLiteral("IDC_CAMERA_NAME"));
    place(m_editCameraName, kCameraNameRect);
    m_editCameraName->setEnabled(false);
    m_btnSelectCamera = makeButton(QStringLiteral("Select"), kSelectCameraRect);
    m_btnSelectCamera->setObjectName(QStringLiteral("IDC_SELECT_CAMERA"));
    makeGroup(QStringLiteral("CAPTURE"), kCaptureGroupRect);
    m_preview = new CPreviewControl(this);
    m_preview->setObjectName(QStringLiteral("IDC_PREVIEW"));
    place(m_preview, kPreviewRect);
    m_btnBrowseFolder = makeButton(QStringLiteral("..."), kBrowseFolderRect);
    m_btnBrowseFolder->setObjectName(QStringLiteral("IDC_BROWSE_FOLDER"));
    makeGroup(QStringLiteral("Camera"), kCameraGroupRect);
    m_btnShoot = makeButton(QStringLiteral("Shoot"), kShootRect);
    m_btnShoot->setObjectName(QStringLiteral("IDC_SHOOT"));
    m_editSaveFolder = new QLineEdit(this);
    m_editSaveFolder->setObjectName(QStringLiteral("IDC_SAVE_FOLDER"));
    place(m_editSaveFolder, kSaveFolderRect);
    auto *saveInLabel = new QLabel(QStringLiteral("Save in:"), this);
    place(saveInLabel, kSaveInLabelRect);

    setTabOrder(m_btnClose, m_editCameraName);
    setTabOrder(m_editCameraName, m_btnSelectCamera);
    setTabOrder(m_btnSelectCamera, m_btnBrowseFolder);
    setTabOrder(m_btnBrowseFolder, m_btnShoot);
    setTabOrder(m_btnShoot, m_editSaveFolder);

    connect(m_btnClose, &QPushButton::clicked, this, &CTetherDlg::accept);
    connect(m_btnSelectCamera, &QPushButton::clicked, this, &CTetherDlg::OnSelectCamera);
    connect(m_btnShoot, &QPushButton::clicked, this, &CTetherDlg::OnShoot);
    connect(m_btnBrowseFolder, &QPushButton::clicked, this, &CTetherDlg::OnBrowseFolder);
}

void CTetherDlg::OnInitDialog()
{
    setWindowIcon(m_hIcon);
    m_btnShoot->setEnabled(false);
    m_editSaveFolder->setText(CurrentDirectoryText());
    // Made at the preview area's size in device pixels, black until the first
    // picture; made anew, black, when the window goes to a screen of another ratio.
    m_picPreview = std::make_unique<image::OffscreenPicture>(image::OffscreenPicture::ForWidget(*m_preview));
    m_preview->SetPicture(m_picPreview.get());
    m_preview->SetRemakePicture([this] {
        m_picPreview = std::make_unique<image::OffscreenPicture>(image::OffscreenPicture::ForWidget(*m_preview));
        return m_picPreview.get();
    });
    m_btnClose->setFocus();
}

QWidget *CTetherDlg::PreviewControl() const
{
    return m_preview;
}

int CTetherDlg::exec()
{
    // Run again after a finished Close, showEvent gives the buttons back.
    m_handleCameraEvents = true;
    const int result = QDialog::exec();
    // The library may still call back; nothing may reach this window now.
    m_handleCameraEvents = false;
    g_hEventWnd.Clear(this);
    return result;
}

void CTetherDlg::accept()
{
    BeginClosing(Accepted);
}

void CTetherDlg::reject()
{
    BeginClosing(Rejected);
}

bool CTetherDlg::event(QEvent *event)
{
    if (event->type() == WM_CAMERA_EVENTS_WAITING) {
        if (!m_handleCameraEvents || m_closing == Closing::Asking) {
            g_hEventWnd.Hold(this);
        } else if (const std::optional<QEvent::Type> type = g_hEventWnd.Take(this)) {
            HandleCameraEvent(*type);
        }
    }
    return QDialog::event(event);
}

void CTetherDlg::HandleCameraEvent(QEvent::Type type)
{
    if (type == WM_CAMERA_IMAGE_READY)
        OnCameraImageReady();
    else if (type == WM_CAMERA_PROPERTY_CHANGED)
        OnCameraPropertyChanged();
    if (m_closing != Closing::Draining)
        return;
    if (m_closeFirst > 0)
        --m_closeFirst;
    if (m_closeLast && *m_closeLast > 0)
        --*m_closeLast;
    ContinueClosing();
}

void CTetherDlg::BeginClosing(int result)
{
    // A second Close while the first one is under way changes nothing.
    if (m_closing != Closing::No)
        return;
    m_closing = Closing::Draining;
    m_closeResult = result;
    m_closeFirst = g_hEventWnd.Waiting(this);
    m_closeWaitStart.reset();
    m_closeLast.reset();
    m_focusBeforeClosing = focusWidget();
    const auto buttons = ButtonsClosingDisables();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        m_enabledBeforeClosing[i] = buttons[i]->isEnabled();
        buttons[i]->setEnabled(false);
    }
    ContinueClosing();
}

void CTetherDlg::ContinueClosing()
{
    if (m_closing != Closing::Draining)
        return;
    const std::size_t waiting = g_hEventWnd.Waiting(this);
    // The events queued at Close are handled, however long they take.
    if (m_closeFirst > 0 && waiting > 0)
        return;
    m_closeFirst = 0;
    const Clock::time_point now = Clock::now();
    if (!m_closeWaitStart)
        m_closeWaitStart = now;
    // Without a camera to send them, no more events can come.
    const bool cameraMaySend = g_hEventWnd.Target() == this;
    const Clock::time_point waitEnd = *m_closeWaitStart + m_closeLongestWait;
    if (!m_closeLast && cameraMaySend && now >= waitEnd)
        m_closeLast = waiting; // those queued now still count; later ones do not
    if (m_closeLast) {
        if (*m_closeLast == 0 || waiting == 0)
            FinishClosing();
        return;
    }
    if (waiting > 0)
        return; // taken one per turn; each one comes back here
    const std::optional<Clock::time_point> lastPicture = g_hEventWnd.LastImageReady(this);
    // A shot that has announced nothing yet still has its picture to come.
    const bool shotPending = m_lastShot && (!lastPicture || *lastPicture < *m_lastShot);
    const Clock::time_point quietFrom =
        shotPending ? waitEnd : lastPicture ? *lastPicture + kCloseQuietTime : now;
    if (!cameraMaySend || now >= quietFrom) {
        FinishClosing();
        return;
    }
    const auto next = std::min(quietFrom, waitEnd) - now;
    m_closeTimer.start(std::chrono::ceil<std::chrono::milliseconds>(next) + std::chrono::milliseconds(1));
}

void CTetherDlg::FinishClosing()
{
    m_closeTimer.stop();
    m_closing = Closing::Asking;
    // What could not be stored meanwhile, in one box; then the question
    // about pictures still kept.
    ReportSaveProblems();
    if (MayClose()) {
        // Pictures announced while a box was open are handled, and their
        // problems reported, before the window ends.
        if (const std::size_t waiting = g_hEventWnd.Waiting(this); waiting > 0) {
            m_closing = Closing::Draining;
            m_closeFirst = waiting;
            m_closeLast.reset();
            g_hEventWnd.Resume(this);
            return;
        }
        QDialog::done(m_closeResult);
        return;
    }
    EndClosing();
    g_hEventWnd.Resume(this);
}

std::array<QPushButton *, 3> CTetherDlg::ButtonsClosingDisables() const
{
    return {m_btnSelectCamera, m_btnShoot, m_btnBrowseFolder};
}

void CTetherDlg::EndClosing()
{
    m_closing = Closing::No;
    const auto buttons = ButtonsClosingDisables();
    for (std::size_t i = 0; i < buttons.size(); ++i)
        buttons[i]->setEnabled(m_enabledBeforeClosing[i]);
    // Disabling a focused button moved the focus on; it goes back.
    if (m_focusBeforeClosing && m_focusBeforeClosing->isEnabled())
        m_focusBeforeClosing->setFocus();
}

void CTetherDlg::showEvent(QShowEvent *event)
{
    // Shown again after it ended: closing starts afresh.
    if (m_closing == Closing::Asking && !m_reportOpen)
        EndClosing();
    QDialog::showEvent(event);
}

void CTetherDlg::keyPressEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool enter = (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && modifiers == 0;
    if (!enter) {
        QDialog::keyPressEvent(event);
        return;
    }
    // Enter presses a focused button and otherwise ends the dialog as Close does.
    if (auto *button = qobject_cast<QPushButton *>(focusWidget()); button && button->isEnabled())
        button->click();
    else
        accept();
}

void CTetherDlg::OnShoot()
{
    if (m_hCamera == 0)
        return;
    CCameraLibrary *library = GetCameraLibrary();
    if (!library)
        return;
    int32_t out1 = 0;
    int32_t out2 = 0;
    // Taken before the call: a camera may announce the picture before it returns.
    const Clock::time_point asked = Clock::now();
    const int32_t error = library->Shoot(m_hCamera, &out1, &out2);
    if (error == 0)
        m_lastShot = asked;
    else
        ui::ShowMessageBox(this, QStringLiteral("Photography failed."), ui::MessageIcon::Warning);
}

void CTetherDlg::OnCameraImageReady()
{
    CCameraLibrary *library = GetCameraLibrary();
    if (!library)
        return;
    CameraImageInfo info{};
    if (library->ReadImageInfo(m_hCamera, &info) != 0)
        return;
    if (info.ImageType == CAMERA_IMAGE_NONE || info.ImageSize == 0)
        return;
    std::unique_ptr<uint8_t[]> buffer = AllocateDownloadBuffer(info.ImageSize);
    if (!buffer)
        return;
    if (library->ReadImage(m_hCamera, buffer.get(), info.ImageSize) != 0)
        return;

    m_lastSaveFailed = false;
    // The record was zeroed above, so a library that writes nothing before
    // ImageType announces nothing.
    m_imageReceiver.ReceiveImage(info.ImageType, buffer.get(), info.ImageSize, m_preview, m_picPreview.get(),
                                 image::ReadAnnouncement(info.Reserved, sizeof info.Reserved));
    const bool saveFailed = m_lastSaveFailed;
    buffer.reset();
    update();
    // The preview paints opaquely, so Qt leaves it out of its parent's repaint.
    m_preview->update();

    // Storing works again, or may: the pictures kept earlier follow this one.
    if (!saveFailed && !m_pendingPictures.Empty())
        RetryPendingPictures();
    // Last: the box runs its own loop, in which further camera events arrive.
    ReportSaveProblems();
}

std::unique_ptr<uint8_t[]> CTetherDlg::AllocateDownloadBuffer(uint32_t size)
{
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size]);
}

void CTetherDlg::OnCameraPropertyChanged()
{
    CCameraLibrary *library = GetCameraLibrary();
    if (!library)
        return;
    std::vector<uint8_t> list(CHANGED_PROPERTY_LIST_SIZE);
    if (library->GetChangedProperty(m_hCamera, list.data()) != 0)
        return;
    CameraProperties properties{m_nProperty2004, m_nProperty2008, m_nProperty2202};
    ApplyChangedProperties(ReadChangedProperties(list), properties);
    m_nProperty2004 = properties.property2004;
    m_nProperty2008 = properties.property2008;
    m_nProperty2202 = properties.property2202;
}

void CTetherDlg::KeepUnsavedPicture(const CImageReceiver::FailedSave &failed)
{
    m_lastSaveFailed = true;
    m_unreportedProblems.push_back(QString::fromStdString(m_pendingPictures.Keep(failed)));
}

std::size_t CTetherDlg::RetryPendingPictures()
{
    return m_pendingPictures.RetrySaving();
}

void CTetherDlg::ReportSaveProblems()
{
    // One box at a time: problems raised while it is open are shown together
    // once it has been dismissed.
    if (m_reportOpen || !m_handleCameraEvents || m_closing == Closing::Draining)
        return;
    m_reportOpen = true;
    while (!m_unreportedProblems.empty()) {
        QString text;
        if (m_unreportedProblems.size() == 1) {
            text = m_unreportedProblems.front();
        } else {
            constexpr std::size_t kListed = 5;
            text = QStringLiteral("%1 pictures could not be stored.").arg(m_unreportedProblems.size());
            for (std::size_t i = 0; i < m_unreportedProblems.size() && i < kListed; ++i)
                text += QStringLiteral("\n\n") + m_unreportedProblems[i];
            if (m_unreportedProblems.size() > kListed)
                text += QStringLiteral("\n\n... and %1 more.").arg(m_unreportedProblems.size() - kListed);
        }
        m_unreportedProblems.clear();
        ui::ShowMessageBox(this, text, ui::MessageIcon::Warning);
    }
    m_reportOpen = false;
}

bool CTetherDlg::MayClose()
{
    if (m_pendingPictures.Empty() || RetryPendingPictures() == 0)
        return true;
    const std::size_t count = m_pendingPictures.Count();
    const QString text =
        (count == 1 ? QStringLiteral("1 picture could not be stored and is still kept in memory. If you close "
                                     "TAVREN now, it will be lost.\n\nClose anyway?")
                    : QStringLiteral("%1 pictures could not be stored and are still kept in memory. If you close "
                                     "TAVREN now, they will be lost.\n\nClose anyway?")
                          .arg(count));
    return ui::AskYesNo(this, text);
}
