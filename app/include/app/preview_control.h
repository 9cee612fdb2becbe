#pragma once

#include <QWidget>

#include <functional>

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
    // Called before painting when the picture was made for another device
    // pixel ratio (the window went to another screen); returns the picture
    // made anew for this one.
    void SetRemakePicture(std::function<const image::OffscreenPicture *()> remake);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const image::OffscreenPicture *m_picture = nullptr;
    std::function<const image::OffscreenPicture *()> m_remakePicture;
};
