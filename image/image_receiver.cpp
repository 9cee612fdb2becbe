#include "image/image_receiver.h"

#include "background_task.h"
#include "image/exif_library.h"
#include "image/offscreen_picture.h"
#include "platform/local_time.h"
#include "platform/page_prefault.h"
#include "image/preview_geometry.h"
#include "res/resources.h"
#include "vrx4kapi.h"

#include <QFile>
#include <QWidget>

#include <exception>
#include <new>
#include <optional>

namespace {

// Closes a decoder handle when the preview step ends, however it ends.
class DecoderHandle {
public:
    DecoderHandle() = default;
    DecoderHandle(const DecoderHandle &) = delete;
    DecoderHandle &operator=(const DecoderHandle &) = delete;
    ~DecoderHandle()
    {
        if (m_handle != 0)
            g_pfnExifFileClose(m_handle);
    }
    uint32_t *Address() { return &m_handle; }
    uint32_t Get() const { return m_handle; }

private:
    uint32_t m_handle = 0;
};

// A kept buffer more than this many times too large is given back.
constexpr size_t kMostWastedFactor = 4;

} // namespace

void CImageReceiver::SetSaveFailureHandler(SaveFailureHandler handler)
{
    m_saveFailureHandler = std::move(handler);
}

void CImageReceiver::ReceiveImage(int32_t imageType, const uint8_t *bytes, uint32_t byteCount,
                                  const QWidget *previewControl, image::OffscreenPicture *offscreen,
                                  const std::optional<image::Announcement> &announcement)
{
    try {
        if (imageType == CAMERA_IMAGE_NONE || bytes == nullptr || byteCount == 0 || previewControl == nullptr ||
            offscreen == nullptr)
            return;
        if (!ExifLibraryBound())
            return;
        const bool jpeg = imageType == CAMERA_IMAGE_JPEG || imageType == CAMERA_IMAGE_JPEG_ALT;
        if (!jpeg && imageType != CAMERA_IMAGE_RAW)
            return;

        // The bytes go to disk while the preview is drawn. Whatever the preview
        // does, the picture is stored: a picture is never thrown away because
        // it cannot be shown.
        StagedImageFile staged;
        {
            const std::string extension = image::PictureExtension(imageType, announcement);
            const image::BackgroundTask staging([&staged, &extension, bytes, byteCount] {
                staged = StageSafely(extension, bytes, byteCount);
            });
            try {
                if (jpeg)
                    DrawJpegPreview(bytes, byteCount, previewControl, offscreen);
                else
                    DrawRawPreview(bytes, byteCount, previewControl, offscreen);
            } catch (...) {
                // A failed preview: the area was cleared before anything could fail.
            }
        } // joined here, also when anything above threw
        PublishImageFile(staged, imageType, bytes, byteCount, announcement);
    } catch (...) {
        // The caller learns nothing of what happened inside.
    }
}

int32_t CImageReceiver::DrawJpegPreview(const uint8_t *bytes, uint32_t byteCount, const QWidget *previewControl,
                                        image::OffscreenPicture *offscreen)
{
    if (previewControl == nullptr || offscreen == nullptr || !ExifLibraryBound())
        return 0;
    // The area in device pixels: what the picture is made of on this screen.
    const QSize area = image::DevicePixelSize(*previewControl);
    // Before anything can fail, so that a failed preview leaves the area black.
    offscreen->Clear();

    DecoderHandle handle;
    if (g_pfnExifMemOpen(bytes, byteCount, handle.Address()) != EXIF_STATUS_OK)
        return 0;
    ExifImageSize size{};
    if (g_pfnExifGetImageSizeType(handle.Get(), &size) != EXIF_STATUS_OK)
        return 0;
    const std::optional<uint32_t> capacity = DecodeBufferCapacity(size.Width, size.Height);
    if (!capacity)
        return 0;
    uint8_t *buffer = DecodeBuffer(*capacity);
    if (buffer == nullptr)
        return 0;
    if (g_pfnExifReadImage(handle.Get(), buffer, *capacity) != EXIF_STATUS_OK)
        return 0;

    // The header goes on to the stretch: it must describe the announced picture.
    const std::optional<image::DibLayout> layout = image::ReadDibLayout(buffer, *capacity);
    if (!layout || layout->width != size.Width || layout->height != size.Height)
        return 0;

    const PreviewPlacement placement = FitToHeight(area.width(), area.height(), size.Width, size.Height);
    offscreen->StretchDib(buffer, *capacity, {placement.x, 0, placement.width, area.height()});
    return 1;
}

int32_t CImageReceiver::DrawRawPreview(const uint8_t * /*bytes*/, uint32_t /*byteCount*/,
                                       const QWidget * /*previewControl*/, image::OffscreenPicture *offscreen)
{
    if (offscreen == nullptr)
        return 0;
    // Loaded afresh each time and dropped at once: nothing grows over a long run.
    QFile file(QString::fromLatin1(res::kRawPlaceholder));
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray dib = file.readAll();
        offscreen->DrawUnscaled(
            image::ImageFromDib(reinterpret_cast<const uint8_t *>(dib.constData()), size_t(dib.size())));
    }
    return 1;
}

SaveResult CImageReceiver::SaveImageFile(int32_t imageType, const uint8_t *bytes, uint32_t byteCount,
                                         const std::optional<image::Announcement> &announcement)
{
    StagedImageFile staged = StageSafely(image::PictureExtension(imageType, announcement), bytes, byteCount);
    return PublishImageFile(staged, imageType, bytes, byteCount, announcement);
}

StagedImageFile CImageReceiver::StageSafely(const std::string &extension, const uint8_t *bytes,
                                            uint32_t byteCount) noexcept
{
    try {
        // The temporary file is named after the system clock's time now: the
        // program's clock is read once, for the picture's name, after the preview.
        return StageImageBytes(FormatTimeStamp(platform::ReadLocalTime()), extension, bytes, byteCount);
    } catch (...) {
        // Out of memory for a name or a message: publishing reports it.
        return StagedImageFile();
    }
}

SaveResult CImageReceiver::PublishImageFile(StagedImageFile &staged, int32_t imageType, const uint8_t *bytes,
                                            uint32_t byteCount,
                                            const std::optional<image::Announcement> &announcement)
{
    // The one clock reading for this picture, taken once its preview is done.
    const image::PictureName name =
        m_naming.NameFor(FormatTimeStamp(platform::CurrentLocalTime()), imageType, announcement);
    SaveResult result;
    try {
        result = PublishStagedImage(staged, name, bytes, byteCount);
    } catch (const std::bad_alloc &) {
        result = SaveResult{};
        result.error = "There was not enough memory to store the picture.";
    } catch (const std::exception &error) {
        result = SaveResult{};
        result.error = std::string("The picture could not be stored: ") + error.what();
    }
    m_naming.Received(result.saved ? result.name : name, announcement);
    if (!result.saved && m_saveFailureHandler)
        m_saveFailureHandler(
            FailedSave{imageType, bytes, byteCount, name.timeStamp, result.error, name.extension, name.number});
    return result;
}

void CImageReceiver::ReleaseDecodeBuffer()
{
    m_decodeBuffer.reset();
    m_decodeBufferSize = 0;
}

std::unique_ptr<uint8_t[]> CImageReceiver::AllocateDecodeBuffer(size_t size)
{
    // Not zeroed: the decoder writes the header and every row. Its pages are
    // mapped in now, shared over the cores, rather than one by one inside the
    // decode's bands, which they would hold up unevenly.
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size]);
    if (buffer)
        platform::PrefaultForWriting(buffer.get(), size);
    return buffer;
}

uint8_t *CImageReceiver::DecodeBuffer(size_t size)
{
    if (m_decodeBuffer && m_decodeBufferSize >= size && m_decodeBufferSize / kMostWastedFactor <= size)
        return m_decodeBuffer.get();
    // The old buffer goes first, so that no more than one is ever held.
    ReleaseDecodeBuffer();
    m_decodeBuffer = AllocateDecodeBuffer(size);
    if (m_decodeBuffer)
        m_decodeBufferSize = size;
    return m_decodeBuffer.get();
}
