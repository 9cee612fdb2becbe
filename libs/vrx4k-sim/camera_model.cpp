#include "camera_model.h"

#include <cstdio>

namespace vrx4ksim {

namespace {

struct ModelLine {
    const char *name;
    const char *code;
    uint32_t serialBase;
    const char *firmware;
    uint32_t battery;
    uint32_t cardShots;
};

constexpr ModelLine kLineup[] = {
    {"VRX-4K Mark II", "VRX4K-M2", 20417730, "1.2.0", 92, 1250},
    {"VRX-4K R", "VRX4K-R", 31800562, "2.0.1", 78, 860},
    {"VRX-4K S Mark III", "VRX4K-S3", 40922318, "1.0.4", 64, 2400},
    {"VRX-4K Pro", "VRX4K-PRO", 51013377, "3.1.0", 100, 410},
};

} // namespace

CameraModel ModelForIndex(int index)
{
    const ModelLine &line = kLineup[index % 4];
    const uint32_t serial = line.serialBase + static_cast<uint32_t>(index / 4) * 7919u;
    char buffer[64];
    CameraModel model;
    model.name = line.name;
    model.modelCode = line.code;
    std::snprintf(buffer, sizeof buffer, "%08u", serial);
    model.serial = buffer;
    std::snprintf(buffer, sizeof buffer, "%s S/N %08u", line.code, serial);
    model.detail = buffer;
    model.vendor = "Tavren Optical (simulated)";
    model.firmware = std::string("Ver.") + line.firmware;
    std::snprintf(buffer, sizeof buffer, "usb:001,%03d (simulated)", 4 + index);
    model.port = buffer;
    model.battery = line.battery;
    model.cardShots = line.cardShots;
    return model;
}

} // namespace vrx4ksim
