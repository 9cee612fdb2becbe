#pragma once

#include "camera_model.h"
#include "photo_folder.h"
#include "sim_config.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vrx4ksim {

// One picture as the camera holds it until it is read.
struct Picture {
    int32_t type = 2;
    std::vector<uint8_t> bytes;
    uint32_t size = 0; // reported ImageSize; equals bytes.size()
    uint32_t shot = 0;
    uint32_t part = 1;
    uint32_t width = 0;
    uint32_t height = 0;
    int64_t timeMs = 0; // capture time, ms since 1970 (UTC)
    uint32_t iso = 100;
    bool failInfo = false;
    bool failRead = false;
    std::string sha256; // of bytes, only while the call log is on
};

struct ShotRequest {
    ShotAction action; // never Default or ShootFail
    uint32_t shot = 1;
    int cameraIndex = 0;
    const CameraModel *model = nullptr;
    int64_t timeMs = 0;
    uint32_t iso = 100;
};

// The ISO an automatic camera picks for the light of a shot's scene.
uint32_t AutoIso(uint32_t shot);

// Makes the pictures of one shot, on the library's event thread.
class PictureFactory {
public:
    PictureFactory(const Config &config, bool withChecksums);

    // The pictures of one shot in delivery order (raw before JPEG), or an
    // empty list when cancel became true or encoding failed.
    std::vector<Picture> Make(const ShotRequest &request, const std::atomic<bool> &cancel);

private:
    struct Scene {
        std::vector<uint8_t> rgb;
        std::vector<uint8_t> jpeg; // the photo's own bytes when it came from the folder
        int width = 0;
        int height = 0;
    };
    bool MakeScene(const ShotRequest &request, bool needRgb, const std::atomic<bool> &cancel, Scene &scene);
    Picture NewPicture(const ShotRequest &request, int32_t type, uint32_t part, const Scene &scene) const;
    void Finish(Picture &picture) const;

    Config m_config;
    bool m_withChecksums;
    std::unique_ptr<PhotoFolder> m_photos;
};

} // namespace vrx4ksim
