#include "sim_log.h"

namespace vrx4ksim {

SimLog::~SimLog()
{
    if (m_file)
        std::fclose(m_file);
}

bool SimLog::Open(const std::string &path)
{
    m_file = std::fopen(path.c_str(), "a");
    return m_file != nullptr;
}

void SimLog::Write(const std::string &line)
{
    if (!m_file)
        return;
    std::lock_guard lock(m_mutex);
    std::fputs(line.c_str(), m_file);
    std::fputc('\n', m_file);
    std::fflush(m_file);
}

} // namespace vrx4ksim
