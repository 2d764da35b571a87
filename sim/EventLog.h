// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulator's record of what it received and sent, one JSON object per
// line. Every entry carries "t_ms", the monotonic clock in milliseconds (the
// same clock as std::chrono::steady_clock in another process on this
// machine), and "wall", the UTC time of day.

#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <string>

namespace kyr::sim {

/// Log entries keep their keys in the order written, "t_ms" first.
using Json = nlohmann::ordered_json;

/// Milliseconds of the monotonic clock.
double monotonicMs();

/// A time in milliseconds cut to whole microseconds, as the log keeps it.
inline double logMs(double ms) { return static_cast<double>(static_cast<long long>(ms * 1000.0)) / 1000.0; }

class EventLog {
public:
    /// An empty path logs nothing.
    explicit EventLog(const std::filesystem::path& path);
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    /// False when the file could not be opened.
    bool ok() const { return m_path.empty() || m_file != nullptr; }
    /// Why the file could not be opened.
    const std::string& error() const { return m_error; }

    /// Writes one entry stamped with tMs; the line is flushed at once so a
    /// reader sees it while the simulator runs.
    void write(const Json& entry, double tMs);

private:
    std::filesystem::path m_path;
    std::FILE* m_file = nullptr;
    std::string m_error;
};

} // namespace kyr::sim
