#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vrx4kgp {

// The contract's image type for a file the camera reported: CAMERA_IMAGE_JPEG
// or CAMERA_IMAGE_RAW, decided by MIME type and then by the name's extension;
// nullopt for anything else (movies, HEIF, sound), which is passed over.
std::optional<int32_t> PictureType(std::string_view mimeType, std::string_view fileName);

// Battery level in percent from the text a camera gives ("50%", "Full",
// "Low", "75"); nullopt when the text means nothing numeric.
std::optional<uint32_t> BatteryPercent(std::string_view text);

// ISO speed from a setting's text ("400", "ISO 1600", "Auto" -> 0).
std::optional<uint32_t> IsoSpeed(std::string_view text);

// A count from a setting's text ("312", "312 shots"); nullopt without one.
std::optional<uint32_t> WholeNumber(std::string_view text);

// VRX4K_GPHOTO2_CONFIG: "name=value;name=value". Spaces around names are
// dropped; values are kept as written. False for an item without '=' or a name.
bool ParseSettings(std::string_view text, std::vector<std::pair<std::string, std::string>> &settings);

// The error number for a shot the camera refused: libgphoto2's result and the
// messages its driver gave on the way (untranslated or in the user's
// language). The shared numbers where the cause is known, otherwise
// libgphoto2's -result.
uint32_t ShotRefusal(int result, const std::vector<std::string> &messages);

// libgphoto2 results that mean the camera is no longer reachable: unplugged,
// switched off, asleep.
bool MeansCameraGone(int result);

// False for libgphoto2's mass-storage ports ("disk:/media/card"): a mounted
// memory card or phone is not a camera that can shoot.
bool IsCameraPort(std::string_view port);

// The extension of a file name as the camera wrote it ("CR3" of
// "IMG_0001.CR3"): 1 to 8 ASCII letters or digits, otherwise empty.
std::string FileExtension(std::string_view fileName);

// The name without its extension ("IMG_0001").
std::string_view FileStem(std::string_view fileName);

// Shot numbers, from 1, for the files a camera reports one after another.
// Cameras name the raw file and the JPEG of one shot alike but for the
// extension (IMG_0001.CR3, IMG_0001.JPG) and report them in a row: such a
// file shares the number of the file before it.
class ShotCounter {
public:
    uint32_t Number(std::string_view fileName);

private:
    uint32_t m_count = 0;
    std::string m_previousStem;
};

} // namespace vrx4kgp
