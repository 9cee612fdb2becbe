#include "raw_encoder.h"

#include "vrx4k-common/records.h"
#include "vrx4k_sim.h"

#include <algorithm>
#include <cstring>

namespace vrx4ksim {

namespace {

// The sample a sensor site records: the channel of its filter colour (RGGB),
// spread from the black level to the white level.
uint16_t Sample(const uint8_t *rgb, int width, int x, int y)
{
    const int channel = (y % 2 == 0) ? (x % 2 == 0 ? 0 : 1) : (x % 2 == 0 ? 1 : 2);
    const uint8_t value = rgb[(static_cast<size_t>(y) * width + x) * 3 + channel];
    constexpr int kRange = VRX4K_SIM_RAW_WHITE_LEVEL - VRX4K_SIM_RAW_BLACK_LEVEL;
    return static_cast<uint16_t>(VRX4K_SIM_RAW_BLACK_LEVEL + value * kRange / 255);
}

} // namespace

uint32_t RawStride(uint32_t width)
{
    return (width * 3 + 1) / 2;
}

std::vector<uint8_t> EncodeRaw(const uint8_t *rgb, int width, int height, const RawInfo &info)
{
    const uint32_t stride = RawStride(static_cast<uint32_t>(width));
    std::vector<uint8_t> raw(VRX4K_SIM_RAW_HEADER_SIZE + static_cast<size_t>(stride) * height);
    uint8_t *header = raw.data();
    std::memcpy(header, VRX4K_SIM_RAW_MAGIC, 8);
    vrx4k::PutLe32(header + VRX4K_SIM_RAW_HEADER_SIZE_OFFSET, VRX4K_SIM_RAW_HEADER_SIZE);
    vrx4k::PutLe32(header + VRX4K_SIM_RAW_VERSION_OFFSET, 1);
    vrx4k::PutLe32(header + VRX4K_SIM_RAW_WIDTH_OFFSET, static_cast<uint32_t>(width));
    vrx4k::PutLe32(header + VRX4K_SIM_RAW_HEIGHT_OFFSET, static_cast<uint32_t>(height));
    vrx4k::PutLe32(header + VRX4K_SIM_RAW_BITS_OFFSET, 12);
    vrx4k::PutLe32(header + VRX4K_SIM_RAW_STRIDE_OFFSET, stride);
    vrx4k::PutLe32(header + VRX4K_SIM_RAW_CFA_OFFSET, 0);
    vrx4k::PutLe32(header + VRX4K_SIM_RAW_BLACK_OFFSET, VRX4K_SIM_RAW_BLACK_LEVEL);
    vrx4k::PutLe32(header + VRX4K_SIM_RAW_WHITE_OFFSET, VRX4K_SIM_RAW_WHITE_LEVEL);
    vrx4k::PutLe32(header + VRX4K_SIM_RAW_ISO_OFFSET, info.iso);
    vrx4k::PutLe32(header + VRX4K_SIM_RAW_SHOT_OFFSET, info.shot);
    vrx4k::PutLe64(header + VRX4K_SIM_RAW_TIME_MS_OFFSET, info.timeMs);
    vrx4k::PutText(reinterpret_cast<char *>(header + VRX4K_SIM_RAW_MODEL_OFFSET), 32, info.model);
    vrx4k::PutText(reinterpret_cast<char *>(header + VRX4K_SIM_RAW_SERIAL_OFFSET), 32, info.serial);

    for (int y = 0; y < height; ++y) {
        uint8_t *row = raw.data() + VRX4K_SIM_RAW_HEADER_SIZE + static_cast<size_t>(y) * stride;
        int x = 0;
        for (; x + 1 < width; x += 2, row += 3) {
            const uint16_t a = Sample(rgb, width, x, y);
            const uint16_t b = Sample(rgb, width, x + 1, y);
            row[0] = static_cast<uint8_t>(a);
            row[1] = static_cast<uint8_t>((a >> 8) | ((b & 0x0F) << 4));
            row[2] = static_cast<uint8_t>(b >> 4);
        }
        if (x < width) {
            const uint16_t a = Sample(rgb, width, x, y);
            row[0] = static_cast<uint8_t>(a);
            row[1] = static_cast<uint8_t>(a >> 8);
        }
    }
    return raw;
}

} // namespace vrx4ksim
