#pragma once

#include "image_file.h"

#include <cstdint>
#include <functional>

class QWidget;
namespace platform {
class OffscreenPicture;
}

// Previews a downloaded picture into the off-screen picture and, only when the
// preview succeeded, stores it. Every failure stays inside; a failed save is
// handed to the save-failure handler so the window can keep the picture.
// GUI thread only.
class CImageReceiver {
public:
    // A picture the saver could not store: its bytes are lent for the call only.
    struct FailedSave {
        int32_t imageType;
        const uint8_t *bytes;
        uint32_t byteCount;
        std::string timeStamp; // from the picture's arrival
        std::string error;
    };
    using SaveFailureHandler = std::function<void(const FailedSave &)>;

    CImageReceiver() = default;
    virtual ~CImageReceiver() = default;

    void SetSaveFailureHandler(SaveFailureHandler handler);

    // previewControl: only its size is used. offscreen: where the preview goes.
    void ReceiveImage(int32_t imageType, const uint8_t *bytes, uint32_t byteCount,
                      const QWidget *previewControl, platform::OffscreenPicture *offscreen);

    // 1 when drawn, 0 when it failed (the off-screen picture is then black).
    int32_t DrawJpegPreview(const uint8_t *bytes, uint32_t byteCount, const QWidget *previewControl,
                            platform::OffscreenPicture *offscreen);
    // Shows the raw placeholder's top-left part; 1, or 0 without an off-screen picture.
    int32_t DrawRawPreview(const uint8_t *bytes, uint32_t byteCount, const QWidget *previewControl,
                           platform::OffscreenPicture *offscreen);
    // Stores the bytes under the time stamp of this moment.
    SaveResult SaveImageFile(int32_t imageType, const uint8_t *bytes, uint32_t byteCount);

private:
    SaveFailureHandler m_saveFailureHandler;
};
