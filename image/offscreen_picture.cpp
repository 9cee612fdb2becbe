#include "image/offscreen_picture.h"

#include "background_task.h"

#include <QWidget>

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace image {

namespace {

__extension__ typedef unsigned __int128 uint128;

constexpr size_t kDibHeaderSize = 40;
constexpr uint32_t kBiRgb = 0;
constexpr QRgb kBlack = 0xff000000u;

uint32_t ReadU32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t ReadU16(const uint8_t *p)
{
    return uint16_t(p[0] | p[1] << 8);
}

// The source pixels under one destination pixel along one axis. Destination
// pixel j covers [j*n, (j+1)*n) and source pixel i covers [i*d, (i+1)*d), for
// n source and d destination pixels, so every weight is an exact integer and
// the weights under one destination pixel add up to n.
struct Span {
    uint64_t first = 0;       // first source pixel
    uint64_t last = 0;        // last source pixel, inclusive
    uint64_t firstWeight = 0; // the whole n when first == last
    uint64_t lastWeight = 0;  // pixels strictly between weigh d each
};

Span SpanOf(uint64_t j, uint64_t n, uint64_t d)
{
    const uint128 start = uint128(j) * n;
    const uint128 end = start + n;
    Span span;
    span.first = uint64_t(start / d);
    span.last = uint64_t((end - 1) / d);
    if (span.first == span.last) {
        span.firstWeight = n;
    } else {
        span.firstWeight = uint64_t(uint128(span.first + 1) * d - start);
        span.lastWeight = uint64_t(end - uint128(span.last) * d);
    }
    return span;
}

// Where one destination row's source rows lie, top-down.
struct RowSource {
    const uint8_t *pixels; // first needed sample of the first row in memory
    size_t stride;
    uint64_t height;
    bool bottomUp;
    const uint8_t *Row(uint64_t topDownRow) const
    {
        const uint64_t row = bottomUp ? height - 1 - topDownRow : topDownRow;
        return pixels + row * stride;
    }
};

// Rows of bytes add up in 16-bit sums for at most this many rows.
constexpr uint64_t kRowsPer16BitSum = 65535 / 255;

// The vertical sums of one destination row for pictures of at most 65,535
// rows on both sides, at most kRowsPer16BitSum rows strictly inside: 16-bit
// weights and sums, 32-bit results. This is the loop that reads the whole
// picture, so the rows strictly inside are added in registers, block by block.
void SumRowsNarrow(const RowSource &source, const Span &rows, uint32_t interiorWeight, size_t count,
                   std::vector<const uint8_t *> &interior, uint32_t *sums)
{
    const uint8_t *top = source.Row(rows.first);
    const uint8_t *bottom = rows.last > rows.first ? source.Row(rows.last) : top;
    const uint32_t topWeight = uint32_t(rows.firstWeight);
    const uint32_t bottomWeight = uint32_t(rows.lastWeight);
    interior.clear();
    for (uint64_t row = rows.first + 1; row < rows.last; ++row)
        interior.push_back(source.Row(row));

    size_t k = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i wTop = _mm_set1_epi16(int16_t(topWeight));
    const __m128i wInterior = _mm_set1_epi16(int16_t(interiorWeight));
    const __m128i wBottom = _mm_set1_epi16(int16_t(bottomWeight));
    // 8 unsigned 16-bit lanes times a 16-bit weight, as two vectors of 32-bit products.
    auto multiply = [](__m128i lanes, __m128i weight, __m128i &low, __m128i &high) {
        const __m128i productLow = _mm_mullo_epi16(lanes, weight);
        const __m128i productHigh = _mm_mulhi_epu16(lanes, weight);
        low = _mm_unpacklo_epi16(productLow, productHigh);
        high = _mm_unpackhi_epi16(productLow, productHigh);
    };
    for (; k + 16 <= count; k += 16) {
        __m128i lowHalf = zero, highHalf = zero;
        for (const uint8_t *row : interior) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + k));
            lowHalf = _mm_add_epi16(lowHalf, _mm_unpacklo_epi8(bytes, zero));
            highHalf = _mm_add_epi16(highHalf, _mm_unpackhi_epi8(bytes, zero));
        }
        const __m128i topBytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(top + k));
        const __m128i bottomBytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bottom + k));
        __m128i result[4], part[4];
        multiply(lowHalf, wInterior, result[0], result[1]);
        multiply(highHalf, wInterior, result[2], result[3]);
        multiply(_mm_unpacklo_epi8(topBytes, zero), wTop, part[0], part[1]);
        multiply(_mm_unpackhi_epi8(topBytes, zero), wTop, part[2], part[3]);
        for (int i = 0; i < 4; ++i)
            result[i] = _mm_add_epi32(result[i], part[i]);
        multiply(_mm_unpacklo_epi8(bottomBytes, zero), wBottom, part[0], part[1]);
        multiply(_mm_unpackhi_epi8(bottomBytes, zero), wBottom, part[2], part[3]);
        for (int i = 0; i < 4; ++i)
            _mm_storeu_si128(reinterpret_cast<__m128i *>(sums + k + 4 * size_t(i)),
                             _mm_add_epi32(result[i], part[i]));
    }
#endif
    for (; k < count; ++k) {
        uint32_t inner = 0;
        for (const uint8_t *row : interior)
            inner += row[k];
        sums[k] = interiorWeight * inner + topWeight * top[k] + bottomWeight * bottom[k];
    }
}

// The vertical sums of one destination row, any sizes.
void SumRowsWide(const RowSource &source, const Span &rows, uint64_t interiorWeight, size_t count,
                 std::vector<uint16_t> &interiorSums, uint64_t *sums)
{
    const uint8_t *top = source.Row(rows.first);
    for (size_t k = 0; k < count; ++k)
        sums[k] = rows.firstWeight * top[k];
    if (rows.last > rows.first) {
        const uint8_t *bottom = source.Row(rows.last);
        for (size_t k = 0; k < count; ++k)
            sums[k] += rows.lastWeight * bottom[k];
    }
    for (uint64_t row = rows.first + 1; row < rows.last;) {
        const uint64_t batchEnd = std::min(rows.last, row + kRowsPer16BitSum);
        std::fill(interiorSums.begin(), interiorSums.end(), uint16_t(0));
        for (; row < batchEnd; ++row) {
            const uint8_t *bytes = source.Row(row);
            for (size_t k = 0; k < count; ++k)
                interiorSums[k] = uint16_t(interiorSums[k] + bytes[k]);
        }
        for (size_t k = 0; k < count; ++k)
            sums[k] += interiorWeight * interiorSums[k];
    }
}

// Adds up the BGR triples in [from, to).
void AddTriples(const uint64_t *from, const uint64_t *to, uint64_t inner[3])
{
    for (const uint64_t *sample = from; sample < to; sample += 3) {
        inner[0] += sample[0];
        inner[1] += sample[1];
        inner[2] += sample[2];
    }
}

// The same for sums whose total cannot overflow 32 bits. Four lanes at a time:
// the fourth is the next triple's blue and is dropped, so the sums need one
// spare element after their last triple.
void AddTriples(const uint32_t *from, const uint32_t *to, uint64_t inner[3])
{
#if defined(__SSE2__)
    __m128i lanes = _mm_setzero_si128();
    for (const uint32_t *sample = from; sample < to; sample += 3)
        lanes = _mm_add_epi32(lanes, _mm_loadu_si128(reinterpret_cast<const __m128i *>(sample)));
    uint32_t total[4];
    _mm_storeu_si128(reinterpret_cast<__m128i *>(total), lanes);
    for (int c = 0; c < 3; ++c)
        inner[c] += total[c];
#else
    for (const uint32_t *sample = from; sample < to; sample += 3) {
        inner[0] += sample[0];
        inner[1] += sample[1];
        inner[2] += sample[2];
    }
#endif
}

// The horizontal pass over one destination row's vertical sums (BGR triples).
// Every pixel's weights add up to `total`.
template <typename Sum>
void ScaleRow(const Sum *sums, const std::vector<Span> &columns, uint64_t interiorWeight, double total, QRgb *out)
{
    const double scale = 1.0 / total;
    for (const Span &column : columns) {
        const Sum *first = sums + column.first * 3;
        uint64_t sum[3] = {column.firstWeight * first[0], column.firstWeight * first[1],
                           column.firstWeight * first[2]};
        if (column.last > column.first) {
            uint64_t inner[3] = {0, 0, 0};
            const Sum *last = sums + column.last * 3;
            AddTriples(first + 3, last, inner);
            for (int c = 0; c < 3; ++c)
                sum[c] += inner[c] * interiorWeight + column.lastWeight * last[c];
        }
        const uint32_t blue = uint32_t(double(sum[0]) * scale + 0.5);
        const uint32_t green = uint32_t(double(sum[1]) * scale + 0.5);
        const uint32_t red = uint32_t(double(sum[2]) * scale + 0.5);
        *out++ = kBlack | red << 16 | green << 8 | blue;
    }
}

// At most this many threads share one stretch.
constexpr unsigned kMostParts = 4;
// Below this many source pixels read, a thread costs more than it saves.
constexpr uint64_t kPixelsPerExtraPart = 1'000'000;

unsigned PartsFor(uint64_t sourcePixels)
{
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return unsigned(std::min<uint64_t>({cores, kMostParts, 1 + sourcePixels / kPixelsPerExtraPart}));
}

} // namespace

std::optional<DibLayout> ReadDibLayout(const uint8_t *dib, size_t capacity)
{
    if (dib == nullptr || capacity < kDibHeaderSize)
        return std::nullopt;
    const uint32_t headerSize = ReadU32(dib);
    const int32_t width = int32_t(ReadU32(dib + 4));
    const int32_t height = int32_t(ReadU32(dib + 8));
    const uint16_t planes = ReadU16(dib + 12);
    const uint16_t bitCount = ReadU16(dib + 14);
    const uint32_t compression = ReadU32(dib + 16);
    const uint32_t coloursUsed = ReadU32(dib + 32);
    if (headerSize != kDibHeaderSize || width <= 0 || height == 0 || planes != 1 || bitCount != 24 ||
        compression != kBiRgb || coloursUsed != 0)
        return std::nullopt;

    DibLayout layout;
    layout.width = uint32_t(width);
    layout.bottomUp = height > 0;
    layout.height = height > 0 ? uint32_t(height) : uint32_t(-int64_t(height));
    layout.stride = size_t((uint64_t(layout.width) * 3 + 3) & ~uint64_t(3));
    const uint128 needed = uint128(layout.stride) * layout.height + kDibHeaderSize;
    if (needed > capacity)
        return std::nullopt;
    return layout;
}

OffscreenPicture::OffscreenPicture(QSize size, qreal devicePixelRatio)
    : m_image(size, QImage::Format_RGB32)
{
    m_image.setDevicePixelRatio(devicePixelRatio > 0 ? devicePixelRatio : 1.0);
    Clear();
}

OffscreenPicture OffscreenPicture::ForWidget(const QWidget &area)
{
    return OffscreenPicture(DevicePixelSize(area), area.devicePixelRatioF());
}

QSize DevicePixelSize(const QWidget &area)
{
    const qreal ratio = area.devicePixelRatioF();
    return QSize(qRound(area.width() * ratio), qRound(area.height() * ratio));
}

void OffscreenPicture::Clear()
{
    m_image.fill(kBlack);
}

bool OffscreenPicture::StretchDib(const uint8_t *dib, size_t capacity, const DibDestination &destination,
                                  unsigned parts)
{
    const std::optional<DibLayout> layout = ReadDibLayout(dib, capacity);
    if (!layout)
        return false;
    if (destination.width <= 0 || destination.height <= 0)
        return true;

    // Destination pixels that fall within the picture, relative to the destination.
    const int64_t pictureWidth = m_image.width();
    const int64_t pictureHeight = m_image.height();
    const int64_t columnBegin = std::max<int64_t>(0, -destination.x);
    const int64_t columnEnd = std::min<int64_t>(destination.width, pictureWidth - destination.x);
    const int64_t rowBegin = std::max<int64_t>(0, -destination.y);
    const int64_t rowEnd = std::min<int64_t>(destination.height, pictureHeight - destination.y);
    if (columnBegin >= columnEnd || rowBegin >= rowEnd)
        return true;

    const uint64_t sourceWidth = layout->width;
    const uint64_t sourceHeight = layout->height;
    const uint64_t destinationWidth = uint64_t(destination.width);
    const uint64_t destinationHeight = uint64_t(destination.height);

    std::vector<Span> columns(size_t(columnEnd - columnBegin));
    for (int64_t j = columnBegin; j < columnEnd; ++j)
        columns[size_t(j - columnBegin)] = SpanOf(uint64_t(j), sourceWidth, destinationWidth);
    // Only the source columns under visible destination columns are read.
    const uint64_t firstColumn = columns.front().first;
    const size_t sampleCount = size_t(columns.back().last - firstColumn + 1) * 3;
    for (Span &column : columns) {
        column.first -= firstColumn;
        column.last -= firstColumn;
    }

    const RowSource source{dib + kDibHeaderSize + firstColumn * 3, layout->stride, sourceHeight, layout->bottomUp};
    const double total = double(sourceWidth) * double(sourceHeight);
    // 32-bit sums when no vertical sum passes 255 * 65,535 and no destination
    // pixel spans more than 256 columns.
    const bool narrow = sourceHeight <= 65535 && destinationHeight <= 65535 &&
                        sourceHeight / destinationHeight <= kRowsPer16BitSum &&
                        sourceWidth / destinationWidth <= 256;
    // Taken once here: QImage's non-const accessors are not for several threads.
    uchar *const bits = m_image.bits();
    const size_t bytesPerLine = size_t(m_image.bytesPerLine());

    // Each destination row depends only on the source, so rows can be shared
    // out freely and every pixel comes out as from one pass.
    const auto drawRows = [&](int64_t from, int64_t to) {
        std::vector<uint32_t> narrowSums(narrow ? sampleCount + 1 : 0);
        std::vector<const uint8_t *> interiorRows;
        std::vector<uint64_t> wideSums(narrow ? 0 : sampleCount);
        std::vector<uint16_t> interiorSums(narrow ? 0 : sampleCount);
        for (int64_t r = from; r < to; ++r) {
            const Span rows = SpanOf(uint64_t(r), sourceHeight, destinationHeight);
            QRgb *out = reinterpret_cast<QRgb *>(bits + size_t(destination.y + r) * bytesPerLine) +
                        (destination.x + columnBegin);
            if (narrow) {
                SumRowsNarrow(source, rows, uint32_t(destinationHeight), sampleCount, interiorRows, narrowSums.data());
                ScaleRow(narrowSums.data(), columns, destinationWidth, total, out);
            } else {
                SumRowsWide(source, rows, destinationHeight, sampleCount, interiorSums, wideSums.data());
                ScaleRow(wideSums.data(), columns, destinationWidth, total, out);
            }
        }
    };

    const int64_t rowCount = rowEnd - rowBegin;
    if (parts == 0)
        parts = PartsFor(uint64_t(sampleCount / 3) * sourceHeight);
    parts = unsigned(std::min<int64_t>({int64_t(parts), int64_t(kMostParts), rowCount}));
    if (parts <= 1) {
        drawRows(rowBegin, rowEnd);
        return true;
    }
    // The caller takes the first share; the others go to helper threads,
    // joined before this returns, also when the caller's share throws.
    std::exception_ptr failures[kMostParts];
    std::optional<BackgroundTask> helpers[kMostParts];
    const auto shareStart = [&](unsigned part) { return rowBegin + rowCount * int64_t(part) / int64_t(parts); };
    for (unsigned part = 1; part < parts; ++part) {
        helpers[part].emplace([&, part] {
            try {
                drawRows(shareStart(part), shareStart(part + 1));
            } catch (...) {
                failures[part] = std::current_exception();
            }
        });
    }
    drawRows(shareStart(0), shareStart(1));
    for (unsigned part = 1; part < parts; ++part) {
        helpers[part].reset();
        if (failures[part])
            std::rethrow_exception(failures[part]);
    }
    return true;
}

void OffscreenPicture::DrawUnscaled(const QImage &bitmap)
{
    if (bitmap.isNull())
        return;
    const qreal ratio = m_image.devicePixelRatio();
    QImage source = bitmap.convertToFormat(QImage::Format_RGB32);
    if (ratio != 1.0) {
        source = source.scaled(qRound(source.width() * ratio), qRound(source.height() * ratio),
                               Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (source.isNull())
            return;
    }
    Clear();
    const int width = std::min(source.width(), m_image.width());
    const int height = std::min(source.height(), m_image.height());
    for (int y = 0; y < height; ++y)
        std::memcpy(m_image.scanLine(y), source.constScanLine(y), size_t(width) * sizeof(QRgb));
}

QImage ImageFromDib(const uint8_t *dib, size_t capacity)
{
    const std::optional<DibLayout> layout = ReadDibLayout(dib, capacity);
    if (!layout || layout->height > uint32_t(std::numeric_limits<int>::max()))
        return QImage();
    QImage image(int(layout->width), int(layout->height), QImage::Format_RGB32);
    if (image.isNull())
        return image;
    for (uint32_t y = 0; y < layout->height; ++y) {
        const uint32_t row = layout->bottomUp ? layout->height - 1 - y : y;
        const uint8_t *bgr = dib + kDibHeaderSize + row * layout->stride;
        QRgb *out = reinterpret_cast<QRgb *>(image.scanLine(int(y)));
        for (uint32_t x = 0; x < layout->width; ++x, bgr += 3)
            out[x] = qRgb(bgr[2], bgr[1], bgr[0]);
    }
    return image;
}

} // namespace image
