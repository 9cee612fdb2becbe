#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace vrx4ksim {

// The call log for tests (VRX4K_SIM_LOG): whole lines appended to a file,
// each flushed at once. Safe to use from any thread; does nothing when no
// file is open.
class SimLog {
public:
    SimLog() = default;
    ~SimLog();
    SimLog(const SimLog &) = delete;
    SimLog &operator=(const SimLog &) = delete;

    // Opens path for appending. Returns false when it cannot be opened.
    bool Open(const std::string &path);
    bool IsOpen() const { return m_file != nullptr; }
    void Write(const std::string &line);

private:
    std::mutex m_mutex;
    std::FILE *m_file = nullptr; // set before any other thread sees the log
};

} // namespace vrx4ksim
