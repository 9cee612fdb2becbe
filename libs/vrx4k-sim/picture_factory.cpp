#include "picture_factory.h"

#include "jpeg_encoder.h"
#include "raw_encoder.h"
#include "scene_renderer.h"
#include "sha256.h"

#include <ctime>

namespace vrx4ksim {

namespace {

// A raw file needs the photo decoded; larger photos are not decoded.
constexpr int64_t kLargestDecodedPhoto = 12000LL * 12000;

std::string LocalTimeText(int64_t timeMs)
{
    const std::time_t seconds = static_cast<std::time_t>(timeMs / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(timeMs % 1000));
    return text;
}

} // namespace

uint32_t AutoIso(uint32_t shot)
{
    const double light = SunElevation(shot);
    if (light > 0.8)
        return 100;
    if (light > 0.6)
        return 200;
    if (light > 0.4)
        return 400;
    if (light > 0.2)
        return 800;
    return 1600;
}

PictureFactory::PictureFactory(const Config &config, bool withChecksums)
    : m_config(config), m_withChecksums(withChecksums)
{
    if (!config.photoDir.empty())
        m_photos = std::make_unique<PhotoFolder>(config.photoDir);
}

bool PictureFactory::MakeScene(const ShotRequest &request, bool needRgb, const std::atomic<bool> &cancel,
                               Scene &scene)
{
    if (m_photos) {
        std::optional<Photo> photo = m_photos->Next();
        const bool tooLarge = photo && needRgb && int64_t(photo->width) * photo->height > kLargestDecodedPhoto;
        if (photo && !tooLarge) {
            scene.width = photo->width;
            scene.height = photo->height;
            if (needRgb)
                scene.rgb = DecodeJpeg(photo->bytes, scene.width, scene.height);
            if (!needRgb || !scene.rgb.empty()) {
                scene.jpeg = std::move(photo->bytes);
                return true;
            }
        }
    }
    SceneInfo info;
    info.shot = request.shot;
    info.cameraIndex = request.cameraIndex;
    info.iso = request.iso;
    info.model = request.model->name;
    info.serial = request.model->serial;
    info.timeText = LocalTimeText(request.timeMs);
    scene.width = static_cast<int>(m_config.width);
    scene.height = static_cast<int>(m_config.height);
    scene.rgb = RenderScene(info, scene.width, scene.height, cancel);
    return !scene.rgb.empty();
}

Picture PictureFactory::NewPicture(const ShotRequest &request, int32_t type, uint32_t part, const Scene &scene) const
{
    Picture picture;
    picture.type = type;
    picture.shot = request.shot;
    picture.part = part;
    picture.width = static_cast<uint32_t>(scene.width);
    picture.height = static_cast<uint32_t>(scene.height);
    picture.timeMs = request.timeMs;
    picture.iso = request.iso;
    return picture;
}

void PictureFactory::Finish(Picture &picture) const
{
    picture.size = static_cast<uint32_t>(picture.bytes.size());
    if (m_withChecksums)
        picture.sha256 = Sha256Hex(picture.bytes.data(), picture.bytes.size());
}

std::vector<Picture> PictureFactory::Make(const ShotRequest &request, const std::atomic<bool> &cancel)
{
    ShotKind kind = request.action.kind;
    if (kind == ShotKind::PropsEmpty || kind == ShotKind::PropsDup)
        kind = m_config.format;
    const bool wantRaw = kind == ShotKind::Raw || kind == ShotKind::RawPlusJpeg;
    const bool wantJpeg = kind != ShotKind::Raw;

    Scene scene;
    if (!MakeScene(request, wantRaw, cancel, scene))
        return {};

    std::vector<Picture> pictures;
    if (wantRaw) {
        Picture raw = NewPicture(request, 1, 1, scene);
        RawInfo info{request.iso, request.shot, static_cast<uint64_t>(request.timeMs), request.model->modelCode,
                     request.model->serial};
        raw.bytes = EncodeRaw(scene.rgb.data(), scene.width, scene.height, info);
        Finish(raw);
        pictures.push_back(std::move(raw));
    }
    if (wantJpeg) {
        int32_t type = 2;
        if (kind == ShotKind::JpegAlt)
            type = 3;
        else if (kind == ShotKind::TypeCode)
            type = request.action.typeCode;
        Picture jpeg = NewPicture(request, type, wantRaw ? 2 : 1, scene);
        jpeg.bytes = !scene.jpeg.empty() ? std::move(scene.jpeg)
                                         : EncodeJpeg(scene.rgb.data(), scene.width, scene.height, m_config.quality);
        if (jpeg.bytes.empty())
            return {};
        if (kind == ShotKind::SizeZero)
            jpeg.bytes.clear();
        if (kind == ShotKind::BadJpeg)
            SpoilJpeg(jpeg.bytes);
        jpeg.failInfo = kind == ShotKind::InfoFail;
        jpeg.failRead = kind == ShotKind::ReadFail;
        Finish(jpeg);
        pictures.push_back(std::move(jpeg));
    }
    return pictures;
}

} // namespace vrx4ksim
