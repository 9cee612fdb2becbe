#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vrx4ksim {

// SHA-256 of a byte range as 64 lower-case hex digits, as sha256sum prints it.
std::string Sha256Hex(const uint8_t *data, size_t size);

} // namespace vrx4ksim
