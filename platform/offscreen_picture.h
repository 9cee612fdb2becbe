#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

#include <cstddef>
#include <cstdint>

namespace platform {

// The main window's off-screen preview picture: a fixed-size RGB32 image that
// the image receiver draws into and the window's painting copies to the screen.
// GUI thread only.
class OffscreenPicture {
public:
    explicit OffscreenPicture(QSize size); // black
    QSize Size() const { return m_image.size(); }
    const QImage &Image() const { return m_image; }

    // Fills the whole picture with black.
    void Clear();

    // Scales a packed DIB (40-byte BITMAPINFOHEADER, 24-bit BGR rows padded to
    // 4 bytes, bottom-up or top-down as its height's sign says) of `capacity`
    // bytes so that its whole picture covers `destination`, clipped to this
    // picture, averaging source pixels when reducing (HALFTONE quality).
    // Returns false, drawing nothing, when the header does not describe a
    // picture that lies within the buffer.
    bool StretchDib(const uint8_t *dib, size_t capacity, QRect destination);

    // Puts `bitmap` at the top-left corner, unscaled, clipped to this picture.
    void DrawUnscaled(const QImage &bitmap);

private:
    QImage m_image;
};

} // namespace platform
