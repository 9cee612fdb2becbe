#pragma once

#include "image/image_file.h"
#include "image/pending_pictures.h"
#include "image/picture_naming.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QWidget;
namespace image {
class OffscreenPicture;
}

// Previews a downloaded picture into the off-screen picture and stores it,
// whether or not the preview could be drawn. Every failure stays inside; a
// failed save is handed to the save-failure handler so the window can keep
// the picture. Between pictures it keeps only the decode buffer, so that the
// next picture of a similar size reuses memory that is already mapped.
// Called on one thread (the GUI thread); its own helper threads never outlive
// a call and never touch the decoder or the window.
class CImageReceiver {
public:
    using FailedSave = ::FailedSave;
    using SaveFailureHandler = std::function<void(const FailedSave &)>;

    CImageReceiver() = default;
    CImageReceiver(const CImageReceiver &) = delete;
    CImageReceiver &operator=(const CImageReceiver &) = delete;
    virtual ~CImageReceiver() = default;

    void SetSaveFailureHandler(SaveFailureHandler handler);

    // Refuses, silently and in this order: type CAMERA_IMAGE_NONE, no bytes, a
    // count of 0, no preview control, no off-screen picture, a decoder entry
    // point unbound (for every type), a type other than raw or JPEG. Then
    // previews and stores the bytes: the file is written on a helper thread
    // while the preview is drawn, and named from one clock reading once the
    // preview is done. A preview that fails (the area is then black) still
    // stores the picture. Everything is joined before it returns; the
    // save-failure handler runs on the calling thread. Nothing escapes, not
    // even a failed allocation.
    // previewControl: only its size and device pixel ratio are used.
    // offscreen: where the preview goes, made at that size in device pixels.
    // announcement: what the camera library announced (picture_naming.h).
    void ReceiveImage(int32_t imageType, const uint8_t *bytes, uint32_t byteCount,
                      const QWidget *previewControl, image::OffscreenPicture *offscreen,
                      const std::optional<image::Announcement> &announcement = std::nullopt);

    // Clears the off-screen picture, decodes the JPEG through the decoder's
    // entry points and draws it fitted to the control's height, centred.
    // 1 when drawn; 0 when the decoder failed, the picture is empty or too big
    // for a 32-bit buffer, the buffer cannot be had, or the decoded header does
    // not describe the announced picture (the off-screen picture is then black).
    int32_t DrawJpegPreview(const uint8_t *bytes, uint32_t byteCount, const QWidget *previewControl,
                            image::OffscreenPicture *offscreen);
    // Makes the raw placeholder the off-screen picture's content (top-left,
    // unscaled, black beyond it). 1, also when the placeholder cannot be
    // loaded (the picture then keeps its content); 0 without an off-screen picture.
    int32_t DrawRawPreview(const uint8_t *bytes, uint32_t byteCount, const QWidget *previewControl,
                           image::OffscreenPicture *offscreen);
    // Stores the bytes under the time stamp of this moment (one clock reading),
    // or under the name of the picture before when the announcement says
    // both are of one shot. A failure goes to the save-failure handler as
    // well as into the result.
    SaveResult SaveImageFile(int32_t imageType, const uint8_t *bytes, uint32_t byteCount,
                             const std::optional<image::Announcement> &announcement = std::nullopt);

    // Bytes of the kept decode buffer, 0 when none.
    size_t DecodeBufferSize() const { return m_decodeBufferSize; }
    void ReleaseDecodeBuffer();

protected:
    // A buffer of `size` bytes for the decoder, or nullptr when there is no memory.
    virtual std::unique_ptr<uint8_t[]> AllocateDecodeBuffer(size_t size);

private:
    static StagedImageFile StageSafely(const std::string &extension, const uint8_t *bytes,
                                       uint32_t byteCount) noexcept;
    // Names the staged file from this moment's clock reading and the
    // announcement; a failure goes to the save-failure handler as well as
    // into the result.
    SaveResult PublishImageFile(StagedImageFile &staged, int32_t imageType, const uint8_t *bytes,
                                uint32_t byteCount, const std::optional<image::Announcement> &announcement);
    // The kept buffer when it fits `size` without wasting most of it, else a new one.
    uint8_t *DecodeBuffer(size_t size);

    SaveFailureHandler m_saveFailureHandler;
    image::PictureNaming m_naming;
    std::unique_ptr<uint8_t[]> m_decodeBuffer;
    size_t m_decodeBufferSize = 0;
};
