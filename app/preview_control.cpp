#include "app/preview_control.h"

#include "image/offscreen_picture.h"

#include <QPainter>

CPreviewControl::CPreviewControl(QWidget *parent)
    : QWidget(parent)
{
    // Every pixel is painted from the picture, so Qt need not erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CPreviewControl::SetPicture(const image::OffscreenPicture *picture)
{
    m_picture = picture;
    update();
}

void CPreviewControl::SetRemakePicture(std::function<const image::OffscreenPicture *()> remake)
{
    m_remakePicture = std::move(remake);
}

void CPreviewControl::paintEvent(QPaintEvent *)
{
    if (m_picture && m_remakePicture && m_picture->DevicePixelRatio() != devicePixelRatioF())
        m_picture = m_remakePicture();
    if (!m_picture)
        return;
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), m_picture->Image());
}
