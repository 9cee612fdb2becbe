// libExif.so: the decoder library's four entry points over libjpeg-turbo.

#pragma GCC visibility push(default)
#include "exif.h"
#pragma GCC visibility pop

#include "banded_decode.h"
#include "exif_status.h"
#include "jpeg_outline.h"

#include <turbojpeg.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace {

constexpr uint32_t kPixelsPerMetre = 3780; // 96 DPI; nothing reads it
constexpr int kSubsamplingNotRead = -2;
constexpr int kSubsamplingUnknown = -1; // reported as 0xFFFFFFFF
// Top-down rows: TJFLAG_BOTTOMUP costs about 2.5% of the decode time.
constexpr int kDecodeFlags = TJFLAG_LIMITSCANS;

// One picture open for decoding. The bytes are the caller's, lent until close.
struct OpenPicture {
    const uint8_t *bytes = nullptr;
    uint32_t byteCount = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    int subsampling = 0;
    uint32_t scans = 0;
    uint64_t rowStride = 0;
    uint64_t pictureSize = 0; // header plus rows

    // A TurboJPEG handle is not safe for two threads at once; two threads
    // decoding the same picture take turns.
    std::mutex decodeMutex;
    tjhandle decoder = nullptr;

    OpenPicture() = default;
    OpenPicture(const OpenPicture &) = delete;
    OpenPicture &operator=(const OpenPicture &) = delete;
    ~OpenPicture()
    {
        if (decoder != nullptr)
            tjDestroy(decoder);
    }
};

// Handles count up and skip 0 and any value still open, so a closed handle
// stays unknown for the next four billion opens.
class HandleTable {
public:
    uint32_t Add(std::shared_ptr<OpenPicture> picture)
    {
        std::lock_guard lock(m_mutex);
        uint32_t handle;
        do {
            handle = m_next++;
        } while (handle == 0 || m_pictures.count(handle) != 0);
        m_pictures.emplace(handle, std::move(picture));
        return handle;
    }

    // Shared so that a close on another thread cannot free a picture mid-decode.
    std::shared_ptr<OpenPicture> Find(uint32_t handle)
    {
        std::lock_guard lock(m_mutex);
        auto found = m_pictures.find(handle);
        return found == m_pictures.end() ? nullptr : found->second;
    }

    std::shared_ptr<OpenPicture> Remove(uint32_t handle)
    {
        std::lock_guard lock(m_mutex);
        auto found = m_pictures.find(handle);
        if (found == m_pictures.end())
            return nullptr;
        std::shared_ptr<OpenPicture> picture = std::move(found->second);
        m_pictures.erase(found);
        return picture;
    }

private:
    std::mutex m_mutex;
    uint32_t m_next = 1;
    std::unordered_map<uint32_t, std::shared_ptr<OpenPicture>> m_pictures;
};

HandleTable &Handles()
{
    static HandleTable table;
    return table;
}

void PutLittleEndian32(uint8_t *at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
    at[2] = static_cast<uint8_t>(value >> 16);
    at[3] = static_cast<uint8_t>(value >> 24);
}

void PutLittleEndian16(uint8_t *at, uint16_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

// BITMAPINFOHEADER for top-down 24-bit BGR rows.
void WriteBitmapHeader(uint8_t *buffer, const OpenPicture &picture)
{
    PutLittleEndian32(buffer + 0, EXIF_DIB_HEADER_SIZE);                                // biSize
    PutLittleEndian32(buffer + 4, picture.width);                                       // biWidth
    PutLittleEndian32(buffer + 8, static_cast<uint32_t>(-static_cast<int32_t>(picture.height))); // biHeight < 0: top-down
    PutLittleEndian16(buffer + 12, 1);                                                  // biPlanes
    PutLittleEndian16(buffer + 14, 24);                                                 // biBitCount
    PutLittleEndian32(buffer + 16, 0);                                                  // biCompression: BI_RGB
    PutLittleEndian32(buffer + 20, static_cast<uint32_t>(picture.rowStride * picture.height)); // biSizeImage
    PutLittleEndian32(buffer + 24, kPixelsPerMetre);                                    // biXPelsPerMeter
    PutLittleEndian32(buffer + 28, kPixelsPerMetre);                                    // biYPelsPerMeter
    PutLittleEndian32(buffer + 32, 0);                                                  // biClrUsed
    PutLittleEndian32(buffer + 36, 0);                                                  // biClrImportant
}

// Pictures whose decode would hold the caller for seconds or reserve
// gigabytes are refused; kExifOk otherwise.
uint16_t CheckWork(uint64_t width, uint64_t height, uint64_t scans)
{
    const uint64_t pixels = width * height;
    if (pixels > kExifMaxPixels)
        return kExifTooManyPixels;
    if (scans > kExifMaxScans)
        return kExifTooManyScans;
    if (pixels * scans > kExifMaxScannedPixels)
        return kExifTooManyScannedPixels;
    return kExifOk;
}

uint16_t OpenPictureFromBytes(const uint8_t *data, uint32_t size, uint32_t *handle)
{
    if (data == nullptr || size == 0)
        return kExifBadArgument;

    // Before anything is allocated: the bytes alone tell the work a decode takes.
    const exif::JpegOutline outline = exif::OutlineJpeg(data, size);
    if (const uint16_t refused = CheckWork(outline.width, outline.height, outline.scans); refused != kExifOk)
        return refused;

    auto picture = std::make_shared<OpenPicture>();
    picture->decoder = tjInitDecompress();
    if (picture->decoder == nullptr)
        return kExifOutOfMemory;

    int width = 0, height = 0, subsampling = kSubsamplingNotRead, colourspace = -1;
    if (tjDecompressHeader3(picture->decoder, data, size, &width, &height, &subsampling, &colourspace)
        != 0) {
        // TurboJPEG 2.x reads the whole header and then refuses sampling
        // factors it has no name for, although it decodes them; only that
        // refusal leaves every output set and the subsampling at -1.
        if (subsampling != -1 || colourspace < 0)
            return kExifNotJpeg;
        subsampling = kSubsamplingUnknown;
    }
    if (width <= 0 || height <= 0)
        return kExifNotJpeg;
    // libjpeg-turbo cannot turn CMYK or YCCK into BGR.
    if (colourspace == TJCS_CMYK || colourspace == TJCS_YCCK)
        return kExifUnsupported;
    // The same limits on the size TurboJPEG read, should the two ever differ.
    if (const uint16_t refused = CheckWork(uint32_t(width), uint32_t(height), outline.scans); refused != kExifOk)
        return refused;

    picture->bytes = data;
    picture->byteCount = size;
    picture->width = static_cast<uint32_t>(width);
    picture->height = static_cast<uint32_t>(height);
    picture->subsampling = subsampling;
    picture->scans = outline.scans;
    picture->rowStride = (3 * static_cast<uint64_t>(width) + 3) & ~uint64_t{3};
    picture->pictureSize = EXIF_DIB_HEADER_SIZE + picture->rowStride * picture->height;
    // The caller sizes the buffer in 32-bit arithmetic.
    if (picture->pictureSize > UINT32_MAX)
        return kExifUnsupported;

    *handle = Handles().Add(std::move(picture));
    return kExifOk;
}

uint16_t DecodeInto(OpenPicture &picture, uint8_t *buffer, uint32_t capacity)
{
    if (capacity < picture.pictureSize)
        return kExifBufferTooSmall;

    uint8_t *rows = buffer + EXIF_DIB_HEADER_SIZE;
    const int stride = static_cast<int>(picture.rowStride);
    {
        std::lock_guard lock(picture.decodeMutex);
        // One scan: bands of rows on several cores. Several scans need the
        // whole picture's coefficients first, so they decode in one piece.
        const exif::BandedResult banded =
            picture.scans == 1
                ? exif::DecodeInBands(picture.bytes, picture.byteCount, picture.width, picture.height, rows,
                                      picture.rowStride)
                : exif::BandedResult::NotBanded;
        if (banded == exif::BandedResult::Failed)
            return kExifDecodeFailed;
        if (banded == exif::BandedResult::NotBanded
            && tjDecompress2(picture.decoder, picture.bytes, picture.byteCount, rows,
                          static_cast<int>(picture.width), stride, static_cast<int>(picture.height),
                          TJPF_BGR, kDecodeFlags)
            != 0) {
            // A warning (damaged or truncated entropy data) still leaves every
            // row written, damaged areas grey: the picture is kept. Only a
            // fatal error fails.
            if (tjGetErrorCode(picture.decoder) != TJERR_WARNING)
                return kExifDecodeFailed;
        }
    }

    const uint64_t rowBytes = 3 * static_cast<uint64_t>(picture.width);
    if (rowBytes != picture.rowStride) {
        for (uint32_t row = 0; row < picture.height; ++row)
            std::memset(rows + row * picture.rowStride + rowBytes, 0, picture.rowStride - rowBytes);
    }
    WriteBitmapHeader(buffer, picture);
    return kExifOk;
}

} // namespace

extern "C" {

uint16_t ExifMemOpen(const uint8_t *data, uint32_t size, uint32_t *handle)
{
    if (handle == nullptr)
        return kExifBadArgument;
    *handle = 0;
    try {
        return OpenPictureFromBytes(data, size, handle);
    } catch (...) {
        return kExifOutOfMemory;
    }
}

uint16_t ExifGetImageSizeType(uint32_t handle, ExifImageSize *size)
{
    if (size == nullptr)
        return kExifBadArgument;
    try {
        std::shared_ptr<OpenPicture> picture = Handles().Find(handle);
        if (!picture)
            return kExifUnknownHandle;
        size->Width = picture->width;
        size->Height = picture->height;
        size->Extra = static_cast<uint32_t>(picture->subsampling);
        return kExifOk;
    } catch (...) {
        return kExifOutOfMemory;
    }
}

uint16_t ExifReadImage(uint32_t handle, uint8_t *buffer, uint32_t capacity)
{
    if (buffer == nullptr)
        return kExifBadArgument;
    try {
        std::shared_ptr<OpenPicture> picture = Handles().Find(handle);
        if (!picture)
            return kExifUnknownHandle;
        return DecodeInto(*picture, buffer, capacity);
    } catch (...) {
        return kExifOutOfMemory;
    }
}

uint16_t ExifFileClose(uint32_t handle)
{
    try {
        return Handles().Remove(handle) ? kExifOk : kExifUnknownHandle;
    } catch (...) {
        return kExifOutOfMemory;
    }
}

} // extern "C"
