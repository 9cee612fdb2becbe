#include "dialogs/camera_select_dlg.h"

#include "camera/camera_library.h"
#include "camera/camera_records.h"
#include "dialogs/camera_text.h"
#include "app/dialog_units.h"
#include "app/message_box.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>

#include <algorithm>
#include <cstring>

namespace {

using ui::MessageIcon;
using ui::ShowMessageBox;

// One line of the list: " %2d.  %s | %s" of the 1-based number, Name, Detail.
QString FormatCameraLine(int number, const CameraDeviceInfo &info)
{
    return QStringLiteral(" %1.  %2 | %3")
        .arg(number, 2)
        .arg(DecodeCameraText(DeviceName(info)), DecodeCameraText(DeviceDetail(info)));
}

} // namespace

CCameraSelectDlg::CCameraSelectDlg(QWidget *parent) : QDialog(parent)
{
    CreateControls();
}

void CCameraSelectDlg::CreateControls()
{
    setWindowTitle(QStringLiteral("TAVREN"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFont(ui::DialogFont());
    const ui::DialogBaseUnits base = ui::BaseUnitsOf(font());
    const auto place = [base](QWidget *control, int x, int y, int width, int height) {
        control->setGeometry(ui::DialogUnitsToPixels(QRect(x, y, width, height), base));
    };

    // Created in template order, which is also the tab order.
    m_btnOk = new QPushButton(QStringLiteral("OK"), this);
    m_btnOk->setDefault(true);
    place(m_btnOk, 98, 65, 50, 14);

    m_btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    place(m_btnCancel, 155, 65, 50, 14);

    m_listCameras = new QListWidget(this);
    m_listCameras->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listCameras->setSortingEnabled(true);
    place(m_listCameras, 13, 21, 192, 40);

    auto *label = new QLabel(QStringLiteral("Select camera"), this);
    place(label, 20, 7, 113, 8);

    setTabOrder(m_btnOk, m_btnCancel);
    setTabOrder(m_btnCancel, m_listCameras);
    setFixedSize(ui::DialogUnitsToPixels(QSize(218, 97), base));

    connect(m_btnOk, &QPushButton::clicked, this, &CCameraSelectDlg::accept);
    connect(m_btnCancel, &QPushButton::clicked, this, &CCameraSelectDlg::reject);
}

int32_t CCameraSelectDlg::EnumerateCameras()
{
    CCameraLibrary *library = GetCameraLibrary();
    if (!library || library->Detect(0, &m_nCameraCount) != 0) {
        m_nCameraCount = 0;
        ShowMessageBox(nullptr, QStringLiteral("ERROR GetCameraCount()"), MessageIcon::Error);
        return 0;
    }
    if (m_nCameraCount == 0) {
        ShowMessageBox(nullptr, QStringLiteral("A camera is not connected."), MessageIcon::Error);
        return 0;
    }
    m_nCameraCount = std::min(m_nCameraCount, MAX_CAMERAS);

    for (int32_t i = 0; i < m_nCameraCount; ++i) {
        CameraDeviceInfo &info = m_cameraInfo[static_cast<size_t>(i)];
        std::memset(&info, 0, sizeof info);
        uint32_t handle = 0;
        // Probed without a callback, so these cameras send no events.
        if (library->Open(i, &handle, nullptr, 0) != 0) {
            ShowMessageBox(nullptr, QStringLiteral("ERROR Open()"), MessageIcon::Error);
            continue;
        }
        library->GetDeviceInfo(handle, &info);
        library->Close(handle);
    }
    return m_nCameraCount;
}

QString CCameraSelectDlg::GetCameraName() const
{
    return m_strCameraName;
}

void CCameraSelectDlg::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        OnInitDialog();
    QDialog::showEvent(event);
}

void CCameraSelectDlg::OnInitDialog()
{
    m_listCameras->clear();
    const int32_t listed = std::clamp(m_nCameraCount, 0, MAX_CAMERAS);
    for (int32_t i = 0; i < listed; ++i)
        m_listCameras->addItem(FormatCameraLine(i + 1, m_cameraInfo[static_cast<size_t>(i)]));
    m_listCameras->setCurrentRow(0);
    // Enter at once chooses the first camera.
    m_btnOk->setFocus();
}

void CCameraSelectDlg::accept()
{
    // The selection itself, not the current row: Ctrl+click clears it while
    // the current row stays.
    const QList<QListWidgetItem *> selected = m_listCameras->selectedItems();
    const int row = selected.isEmpty() ? -1 : m_listCameras->row(selected.first());
    if (row < 0 || row >= std::clamp(m_nCameraCount, 0, MAX_CAMERAS)) {
        m_strCameraName.clear();
        m_nSelectedCamera = -1;
        ShowMessageBox(this, QStringLiteral("A camera is not chosen."), MessageIcon::Error);
        // Without a window manager nothing hands the keyboard back after the box.
        activateWindow();
        return;
    }
    // Lines sort in camera order, so a line's position is its camera index.
    m_strCameraName = DecodeCameraText(DeviceName(m_cameraInfo[static_cast<size_t>(row)]));
    m_nSelectedCamera = row;
    QDialog::accept();
}
