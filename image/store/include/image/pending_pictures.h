#pragma once

#include "image/picture_naming.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

// A picture the saver could not store: its bytes are lent for the call only.
struct FailedSave {
    int32_t imageType;
    const uint8_t *bytes;
    uint32_t byteCount;
    std::string timeStamp; // from the picture's arrival, or of the picture of its shot before
    std::string error;     // the saver's sentence for the user; empty when it gave none
    std::string extension; // with its point; empty: the one of the type code
    int number = 1;        // the name's _N, from 1
};

namespace image {

// Pictures the saver could not store, kept in memory in arrival order until
// storing works again, each to be stored under its arrival name. Up to
// `countLimit` pictures are kept, or more while they take no more than
// `byteLimit` in all; a picture beyond both is dropped. One thread only.
class PendingPictures {
public:
    static constexpr std::size_t kCountLimit = 20;
    static constexpr std::size_t kByteLimit = std::size_t{1} << 30;

    explicit PendingPictures(std::size_t countLimit = kCountLimit, std::size_t byteLimit = kByteLimit)
        : m_countLimit(countLimit), m_byteLimit(byteLimit)
    {
    }

    // Keeps a copy of the picture when the limits and memory allow. Returns
    // the paragraph for the user: which picture, why it was not stored, and
    // whether it is kept or lost. Only that paragraph can fail for want of
    // memory (std::bad_alloc); the picture is kept before it is written.
    std::string Keep(const FailedSave &failed);

    // Stores the kept pictures, oldest first, in the current directory, and
    // stops at the first that cannot be stored: the next ones would fail
    // alike. Returns how many remain.
    std::size_t RetrySaving();

    std::size_t Count() const { return m_pictures.size(); }
    std::size_t Bytes() const { return m_bytes; }
    bool Empty() const { return m_pictures.empty(); }

private:
    struct PendingPicture {
        PictureName name; // stored under it, or the next free number
        std::vector<uint8_t> bytes;
    };

    std::deque<PendingPicture> m_pictures;
    std::size_t m_bytes = 0;
    std::size_t m_countLimit;
    std::size_t m_byteLimit;
};

} // namespace image
