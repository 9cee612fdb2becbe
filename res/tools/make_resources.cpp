// Draws the program's picture resources and writes them into a folder:
//   raw_placeholder.dib   the raw-picture placeholder, a packed 24-bit DIB
//   app_icon_32.png, app_icon_16.png   the application icon, 16 colours
// Run once when a picture changes, and commit what it writes:
//   QT_QPA_PLATFORM=offscreen tavren_make_resources res/

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <vector>

namespace {

void PutU32(std::vector<char> &bytes, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + size_t(i)] = char(value >> (8 * i));
}

// A BITMAPINFOHEADER with exactly the fields a Windows resource compiler keeps,
// followed by bottom-up BGR rows.
QByteArray PackedDib(const QImage &picture)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    const uint32_t width = uint32_t(rgb.width());
    const uint32_t height = uint32_t(rgb.height());
    const uint32_t stride = (width * 3 + 3) & ~3u;
    std::vector<char> bytes(40 + size_t(stride) * height, 0);
    PutU32(bytes, 0, 40);               // header size
    PutU32(bytes, 4, width);            // width
    PutU32(bytes, 8, height);           // height: positive, rows bottom-up
    bytes[12] = 1;                      // planes
    bytes[14] = 24;                     // bits per pixel
    PutU32(bytes, 16, 0);               // BI_RGB
    PutU32(bytes, 20, stride * height); // image size
    PutU32(bytes, 24, 3780);            // pixels per metre, across
    PutU32(bytes, 28, 3780);            // pixels per metre, down
    for (uint32_t y = 0; y < height; ++y) {
        char *out = bytes.data() + 40 + size_t(height - 1 - y) * stride;
        const QRgb *in = reinterpret_cast<const QRgb *>(rgb.constScanLine(int(y)));
        for (uint32_t x = 0; x < width; ++x) {
            out[3 * x] = char(qBlue(in[x]));
            out[3 * x + 1] = char(qGreen(in[x]));
            out[3 * x + 2] = char(qRed(in[x]));
        }
    }
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

// Dark grey, a sensor frame with corner marks, "RAW" and "no preview".
QImage Placeholder()
{
    QImage image(488, 261, QImage::Format_RGB32);
    image.fill(QColor(48, 48, 48));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    const QRectF frame(64.5, 40.5, 359, 180);
    painter.setPen(QPen(QColor(120, 120, 120), 2));
    painter.setBrush(QColor(32, 32, 32));
    painter.drawRoundedRect(frame, 10, 10);
    // Film perforations above and below the frame.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(90, 90, 90));
    for (int x = 72; x < 420; x += 22) {
        painter.drawRoundedRect(QRectF(x, 16, 12, 14), 2, 2);
        painter.drawRoundedRect(QRectF(x, 231, 12, 14), 2, 2);
    }
    // Focus-frame corners.
    painter.setPen(QPen(QColor(200, 200, 200), 3, Qt::SolidLine, Qt::SquareCap));
    const QRectF inner = frame.adjusted(22, 18, -22, -18);
    const qreal arm = 18;
    painter.drawLine(inner.topLeft(), inner.topLeft() + QPointF(arm, 0));
    painter.drawLine(inner.topLeft(), inner.topLeft() + QPointF(0, arm));
    painter.drawLine(inner.topRight(), inner.topRight() - QPointF(arm, 0));
    painter.drawLine(inner.topRight(), inner.topRight() + QPointF(0, arm));
    painter.drawLine(inner.bottomLeft(), inner.bottomLeft() + QPointF(arm, 0));
    painter.drawLine(inner.bottomLeft(), inner.bottomLeft() - QPointF(0, arm));
    painter.drawLine(inner.bottomRight(), inner.bottomRight() - QPointF(arm, 0));
    painter.drawLine(inner.bottomRight(), inner.bottomRight() - QPointF(0, arm));

    QFont big(QStringLiteral("DejaVu Sans"));
    big.setPixelSize(64);
    big.setBold(true);
    painter.setFont(big);
    painter.setPen(QColor(235, 235, 235));
    painter.drawText(QRectF(frame.left(), frame.top() + 30, frame.width(), 80), Qt::AlignCenter, QStringLiteral("RAW"));
    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPixelSize(22);
    painter.setFont(small);
    painter.setPen(QColor(170, 170, 170));
    painter.drawText(QRectF(frame.left(), frame.top() + 112, frame.width(), 34), Qt::AlignCenter,
                     QStringLiteral("no preview"));
    return image;
}

// The 16 colours of the classic Windows palette.
QVector<QRgb> SixteenColours()
{
    return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
            qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
            qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
            qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
}

// A camera body with a lens and a flash, drawn on a 32-unit grid without
// anti-aliasing so that it keeps to the palette.
QImage CameraIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.scale(size / 32.0, size / 32.0);
    QPen outline(QColor(0, 0, 0), 1);
    outline.setCosmetic(true); // one device pixel at either size
    painter.setPen(outline);
    painter.setBrush(QColor(128, 128, 128));
    painter.drawRect(10, 5, 10, 5);   // prism housing
    painter.setBrush(QColor(192, 192, 192));
    painter.drawRect(2, 9, 27, 18);   // body
    painter.setBrush(QColor(255, 0, 0));
    painter.drawRect(23, 6, 4, 3);    // shutter button
    painter.setBrush(QColor(0, 0, 0));
    painter.drawEllipse(QPointF(15.5, 18), 7.5, 7.5); // lens barrel
    painter.setBrush(QColor(0, 0, 128));
    painter.drawEllipse(QPointF(15.5, 18), 4.5, 4.5); // glass
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255));
    painter.drawRect(13, 15, 2, 2); // reflection
    painter.end();

    // Pixels snap to the nearest palette colour; transparent ones take the
    // place of dark magenta, which the glyph does not use.
    QVector<QRgb> palette = SixteenColours();
    constexpr int kTransparent = 5;
    palette[kTransparent] = qRgba(0, 0, 0, 0);
    QImage indexed(size, size, QImage::Format_Indexed8);
    indexed.setColorTable(palette);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const QRgb pixel = image.pixel(x, y);
            int best = kTransparent;
            if (qAlpha(pixel) >= 128) {
                int bestDistance = 1 << 30;
                for (int i = 0; i < 16; ++i) {
                    if (i == kTransparent)
                        continue;
                    const int dr = qRed(pixel) - qRed(palette[i]);
                    const int dg = qGreen(pixel) - qGreen(palette[i]);
                    const int db = qBlue(pixel) - qBlue(palette[i]);
                    const int distance = dr * dr + dg * dg + db * db;
                    if (distance < bestDistance) {
                        bestDistance = distance;
                        best = i;
                    }
                }
            }
            indexed.setPixel(x, y, uint(best));
        }
    }
    return indexed;
}

uint32_t Crc32(const QByteArray &bytes)
{
    uint32_t crc = 0xffffffffu;
    for (const char byte : bytes) {
        crc ^= uint8_t(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void AppendU32BigEndian(QByteArray &bytes, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(char(value >> shift));
}

void AppendChunk(QByteArray &png, const char *type, const QByteArray &data)
{
    AppendU32BigEndian(png, uint32_t(data.size()));
    const QByteArray typed = QByteArray(type) + data;
    png.append(typed);
    AppendU32BigEndian(png, Crc32(typed));
}

// Qt writes palette pictures with 8 bits per pixel; a 16-colour icon is
// stored with 4, so the PNG is put together here.
QByteArray FourBitPng(const QImage &indexed)
{
    QByteArray header;
    AppendU32BigEndian(header, uint32_t(indexed.width()));
    AppendU32BigEndian(header, uint32_t(indexed.height()));
    header.append(char(4)); // bits per pixel
    header.append(char(3)); // palette colours
    header.append(3, char(0)); // deflate, adaptive filtering, no interlace

    QByteArray palette, alpha;
    for (const QRgb colour : indexed.colorTable()) {
        palette.append(char(qRed(colour))).append(char(qGreen(colour))).append(char(qBlue(colour)));
        alpha.append(char(qAlpha(colour)));
    }
    QByteArray rows;
    for (int y = 0; y < indexed.height(); ++y) {
        rows.append(char(0)); // no filter
        const uchar *line = indexed.constScanLine(y);
        for (int x = 0; x < indexed.width(); x += 2)
            rows.append(char(line[x] << 4 | (x + 1 < indexed.width() ? line[x + 1] : 0)));
    }
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    AppendChunk(png, "IHDR", header);
    AppendChunk(png, "PLTE", palette);
    AppendChunk(png, "tRNS", alpha);
    AppendChunk(png, "IDAT", qCompress(rows, 9).mid(4)); // qCompress puts the length first
    AppendChunk(png, "IEND", QByteArray());
    return png;
}

bool Write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
    bool ok = Write(folder + QStringLiteral("raw_placeholder.dib"), PackedDib(Placeholder()));
    for (const int size : {32, 16}) {
        const QString path = folder + QStringLiteral("app_icon_%1.png").arg(size);
        ok = Write(path, FourBitPng(CameraIcon(size))) && ok;
    }
    return ok ? 0 : 1;
}
