// A buffer whose last byte sits right before an inaccessible page, so that
// any access past its end faults at once, also from code built without
// AddressSanitizer (libturbojpeg writes the decoded rows).
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace fuzz {

class GuardedBuffer {
public:
    explicit GuardedBuffer(size_t size)
        : m_size(size)
    {
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        const size_t usable = (size + page - 1) / page * page;
        m_mappedSize = usable + page;
        void *mapping = mmap(nullptr, m_mappedSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (mapping == MAP_FAILED) {
            std::abort();
        }
        m_mapping = static_cast<uint8_t *>(mapping);
        if (mprotect(m_mapping + usable, page, PROT_NONE) != 0) {
            std::abort();
        }
        m_data = m_mapping + usable - size;
    }

    GuardedBuffer(const uint8_t *bytes, size_t size)
        : GuardedBuffer(size)
    {
        if (size != 0) {
            std::memcpy(m_data, bytes, size);
        }
    }

    ~GuardedBuffer() { munmap(m_mapping, m_mappedSize); }

    GuardedBuffer(const GuardedBuffer &) = delete;
    GuardedBuffer &operator=(const GuardedBuffer &) = delete;

    uint8_t *data() const { return m_data; }
    size_t size() const { return m_size; }

private:
    size_t m_size;
    size_t m_mappedSize = 0;
    uint8_t *m_mapping = nullptr;
    uint8_t *m_data = nullptr;
};

} // namespace fuzz
