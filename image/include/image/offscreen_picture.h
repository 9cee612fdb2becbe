#pragma once

#include <QImage>
#include <QSize>

class QWidget;

#include <cstddef>
#include <cstdint>
#include <optional>

namespace image {

// What a packed DIB's 40-byte BITMAPINFOHEADER says about its pixels, once
// checked against the buffer that holds it.
struct DibLayout {
    uint32_t width = 0;
    uint32_t height = 0;    // rows, whatever their order
    bool bottomUp = false;  // positive height in the header
    size_t stride = 0;      // bytes per row, a multiple of 4
};

// Reads and checks the header of a packed DIB of `capacity` bytes: header size
// 40, positive width, non-zero height, one plane, 24 bits, BI_RGB, no colour
// table, and all rows within the buffer. nullopt when any of that fails.
std::optional<DibLayout> ReadDibLayout(const uint8_t *dib, size_t capacity);

// Where a scaled picture goes. 64-bit, because fitting a very wide picture to
// the height can give a width far beyond any int.
struct DibDestination {
    int64_t x = 0;
    int64_t y = 0;
    int64_t width = 0;
    int64_t height = 0;
};

// The main window's off-screen preview picture: a fixed-size RGB32 image that
// the image receiver draws into and the window's painting copies to the screen.
// It is made in device pixels: on a screen of device pixel ratio r a preview
// area of w x h logical pixels has round(w r) x round(h r) of them, and the
// image carries r, so painting it at the area's top-left covers the area pixel
// for pixel. Every size here is in device pixels. GUI thread only.
class OffscreenPicture {
public:
    // size: device pixels. Black.
    explicit OffscreenPicture(QSize size, qreal devicePixelRatio = 1.0);
    // Made for `area` at its present device pixel ratio.
    static OffscreenPicture ForWidget(const QWidget &area);
    QSize Size() const { return m_image.size(); }
    qreal DevicePixelRatio() const { return m_image.devicePixelRatio(); }
    const QImage &Image() const { return m_image; }

    // Fills the whole picture with black.
    void Clear();

    // Scales a packed DIB of `capacity` bytes so that its whole picture covers
    // `destination`, and draws the part that falls within this picture. Each
    // destination pixel is the area average of the source pixels under it
    // (HALFTONE quality), reducing or enlarging. Only visible pixels are
    // computed, so a huge destination costs no more than the picture's size.
    // Large pictures are shared out by rows over the cores (`parts` threads;
    // 0: by the picture's size), with the same result to the bit; all joined
    // before it returns. Returns false, drawing nothing, when ReadDibLayout
    // refuses the header.
    bool StretchDib(const uint8_t *dib, size_t capacity, const DibDestination &destination, unsigned parts = 0);

    // Makes `bitmap` the picture's content: its top-left corner at the
    // top-left corner, clipped; black where it does not reach. Unscaled at a
    // device pixel ratio of 1; otherwise enlarged (smooth) by the ratio, so
    // that it keeps its size in logical pixels. A null bitmap changes nothing.
    void DrawUnscaled(const QImage &bitmap);

private:
    QImage m_image;
};

// The size of `area` in device pixels at its present device pixel ratio.
QSize DevicePixelSize(const QWidget &area);

// Converts a packed DIB (see ReadDibLayout) to an RGB32 image; a null image
// when the header is refused.
QImage ImageFromDib(const uint8_t *dib, size_t capacity);

} // namespace image
