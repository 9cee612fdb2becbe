#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vrx4ksim {

struct RawInfo {
    uint32_t iso = 100;
    uint32_t shot = 1;
    uint64_t timeMs = 0;
    std::string model;
    std::string serial;
};

// Turns packed top-down RGB into the simulated camera's raw file: the
// 128-byte header of vrx4k_sim.h, then an RGGB mosaic of 12-bit samples.
std::vector<uint8_t> EncodeRaw(const uint8_t *rgb, int width, int height, const RawInfo &info);

// Bytes of one packed row of width 12-bit samples.
uint32_t RawStride(uint32_t width);

} // namespace vrx4ksim
