#pragma once

#include <cstdint>
#include <string>

namespace vrx4ksim {

class SimLog;

// One line of the call log: the entry point, its arguments, its result and
// what it wrote, written when the call ends. Lives on the caller's stack.
class CallRecord {
public:
    CallRecord(SimLog *log, const char *entryPoint);
    ~CallRecord();
    CallRecord(const CallRecord &) = delete;
    CallRecord &operator=(const CallRecord &) = delete;

    void Arg(const char *key, int64_t value);
    void Arg(const char *key, const std::string &value);
    void Out(const char *key, int64_t value);
    void Out(const char *key, const std::string &value);

    // Records the result and, for a failure, its error number.
    int32_t Succeed();
    int32_t Fail(uint32_t error);

    // A further log line, written after the call's own.
    void Then(std::string line) { m_after = std::move(line); }

    uint32_t Error() const { return m_error; }

private:
    void WriteLine();

    SimLog *m_log;
    std::string m_arguments;
    std::string m_outputs;
    std::string m_after;
    int32_t m_result = 0;
    uint32_t m_error = 0;
};

} // namespace vrx4ksim
