#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vrx4ksim {

// Encodes packed top-down RGB as a baseline JPEG with 4:2:0 chroma.
// Returns the file's bytes, or an empty vector when TurboJPEG fails.
std::vector<uint8_t> EncodeJpeg(const uint8_t *rgb, int width, int height, int quality);

// Makes a JPEG undecodable while keeping its size: its bytes no longer begin
// with a start-of-image marker, so every decoder refuses it at once.
void SpoilJpeg(std::vector<uint8_t> &jpeg);

// Decodes a JPEG to packed top-down RGB. Returns an empty vector on failure.
std::vector<uint8_t> DecodeJpeg(const std::vector<uint8_t> &jpeg, int &width, int &height);

// Width and height from a JPEG's header, or false when TurboJPEG cannot read it.
bool ReadJpegSize(const std::vector<uint8_t> &jpeg, int &width, int &height);

} // namespace vrx4ksim
