// The pictures of one opened camera between the camera and the program:
// waiting in shooting order, then the one ReadImageInfo described, which
// ReadImage hands over. Not locked: the owner holds its own mutex.
#pragma once

#include "vrx4k-common/error_numbers.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <utility>

namespace vrx4k {

// Picture needs `bytes`, a contiguous byte container.
template <typename Picture>
class PictureQueue {
public:
    void Push(Picture picture) { m_waiting.push_back(std::move(picture)); }
    size_t Waiting() const { return m_waiting.size(); }
    // Waiting and described: what Close throws away.
    size_t Held() const { return m_waiting.size() + (m_described ? 1 : 0); }
    const std::optional<Picture> &Described() const { return m_described; }

    // Takes the oldest waiting picture off the queue, or nullopt when none
    // waits. It leaves the queue now, so one the program skips never blocks
    // the next; Describe makes it the one ReadImage hands over.
    std::optional<Picture> TakeOldest()
    {
        if (m_waiting.empty())
            return std::nullopt;
        Picture picture = std::move(m_waiting.front());
        m_waiting.pop_front();
        return picture;
    }
    // Replaces a described picture that was never read.
    void Describe(Picture picture) { m_described = std::move(picture); }

    // 0 when ReadImage may hand over the described picture with this size,
    // otherwise the error number. A wrong size keeps the picture described,
    // so the caller may try again.
    uint32_t CheckRead(uint32_t size) const
    {
        if (!m_described)
            return VRX4K_ERROR_NOT_DESCRIBED;
        if (size != m_described->bytes.size())
            return VRX4K_ERROR_SIZE_MISMATCH;
        return 0;
    }
    // The described picture, handed over once. Call after CheckRead gave 0.
    Picture TakeDescribed()
    {
        Picture picture = std::move(*m_described);
        m_described.reset();
        return picture;
    }

private:
    std::deque<Picture> m_waiting;
    std::optional<Picture> m_described;
};

} // namespace vrx4k
