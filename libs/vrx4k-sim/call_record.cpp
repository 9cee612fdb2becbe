#include "call_record.h"

#include "sim_log.h"

namespace vrx4ksim {

CallRecord::CallRecord(SimLog *log, const char *entryPoint) : m_log(log), m_arguments(entryPoint) {}

CallRecord::~CallRecord()
{
    if (!m_log || !m_log->IsOpen())
        return;
    try {
        WriteLine();
    } catch (...) {
        // A log line lost to a full memory must not end the process.
    }
}

void CallRecord::WriteLine()
{
    std::string line = m_arguments + " -> " + std::to_string(m_result);
    if (m_result == -1)
        line += " error=" + std::to_string(m_error);
    line += m_outputs;
    if (m_result == 0 && !m_after.empty())
        line += "\n" + m_after;
    m_log->Write(line);
}

void CallRecord::Arg(const char *key, int64_t value)
{
    Arg(key, std::to_string(value));
}

void CallRecord::Arg(const char *key, const std::string &value)
{
    m_arguments += std::string(" ") + key + "=" + value;
}

void CallRecord::Out(const char *key, int64_t value)
{
    Out(key, std::to_string(value));
}

void CallRecord::Out(const char *key, const std::string &value)
{
    m_outputs += std::string(" ") + key + "=" + value;
}

int32_t CallRecord::Succeed()
{
    m_result = 0;
    return m_result;
}

int32_t CallRecord::Fail(uint32_t error)
{
    m_result = -1;
    m_error = error;
    m_outputs.clear();
    return m_result;
}

} // namespace vrx4ksim
