// SPDX-License-Identifier: GPL-3.0-or-later
#include "EventLog.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

namespace kyr::sim {

namespace {

std::string wallTime()
{
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t secs = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    gmtime_r(&secs, &tm);
    char buf[40];
    const size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
    std::snprintf(buf + n, sizeof buf - n, ".%03dZ", static_cast<int>(ms % 1000));
    return buf;
}

} // namespace

double monotonicMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

EventLog::EventLog(const std::filesystem::path& path) : m_path(path)
{
    if (m_path.empty())
        return;
    m_file = std::fopen(m_path.c_str(), "a");
    if (!m_file)
        m_error = std::strerror(errno);
}

EventLog::~EventLog()
{
    if (m_file)
        std::fclose(m_file);
}

void EventLog::write(const Json& entry, double tMs)
{
    if (!m_file)
        return;
    Json line = Json::object();
    line["t_ms"] = logMs(tMs);
    line["wall"] = wallTime();
    line.update(entry);
    const std::string text = line.dump() + "\n";
    std::fwrite(text.data(), 1, text.size(), m_file);
    std::fflush(m_file);
}

} // namespace kyr::sim
