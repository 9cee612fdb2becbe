#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vrx4ksim {

// What one picture or one shot turns into. Default follows the configured format.
enum class ShotKind {
    Default,
    Jpeg,        // one JPEG, type 2
    JpegAlt,     // one JPEG reported as type 3
    Raw,         // one raw file, type 1
    RawPlusJpeg, // a raw file, then a JPEG of the same scene: two pictures, two events
    TypeCode,    // a JPEG reported with ShotAction::typeCode
    SizeZero,    // a JPEG reported with size 0 and no bytes
    BadJpeg,     // type 2, bytes that no JPEG decoder accepts
    ReadFail,    // the picture's ReadImage fails
    InfoFail,    // the picture's ReadImageInfo fails, and the picture is lost
    ShootFail,   // the Shoot call itself fails
    PropsEmpty,  // a normal shot, then one more property event with nothing changed
    PropsDup,    // a normal shot whose property list reports the ISO code twice
};

struct ShotAction {
    ShotKind kind = ShotKind::Default;
    int32_t typeCode = 0; // for TypeCode only
    bool operator==(const ShotAction &) const = default;
};

struct Config {
    int cameraCount = 2;
    uint32_t width = 6000;
    uint32_t height = 4000;
    ShotKind format = ShotKind::Jpeg; // Jpeg, JpegAlt, Raw or RawPlusJpeg
    int quality = 90;
    uint32_t delayMs = 250;    // from Shoot to the picture being ready
    uint32_t intervalMs = 100; // shortest time between two pictures of one camera
    uint32_t bufferShots = 30; // shots a camera holds before Shoot reports a full buffer
    std::optional<uint32_t> cardShots; // shots remaining on every card; each model has its own default
    std::string photoDir;
    std::set<int> failOpen;
    bool failInit = false;
    bool failDetect = false;
    std::vector<ShotAction> script;
    std::string logPath;
};

// Reads the environment through lookup (getenv in the library). Returns the
// configuration, or nullopt with error naming the variable and the bad value.
using EnvLookup = std::function<const char *(const char *)>;
std::optional<Config> ReadConfig(const EnvLookup &lookup, std::string &error);

// Parses a per-shot script: items separated by commas, spaces allowed.
std::optional<std::vector<ShotAction>> ParseScript(std::string_view text, std::string &error);

// The name of a shot kind as scripts and the log spell it.
std::string ShotKindName(const ShotAction &action);

} // namespace vrx4ksim
