#pragma once

#include <QWidget>

namespace image {
class OffscreenPicture;
}

// The preview area (IDC_PREVIEW): paints by copying the window's off-screen
// picture from its top-left corner; it never decodes. GUI thread only.
class CPreviewControl : public QWidget {
    Q_OBJECT

public:
    explicit CPreviewControl(QWidget *parent);
    // The picture stays owned by the window; null paints nothing.
    void SetPicture(const image::OffscreenPicture *picture);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const image::OffscreenPicture *m_picture = nullptr;
};
