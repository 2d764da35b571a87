// SPDX-License-Identifier: GPL-3.0-or-later
#include "EngineNeed.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

namespace kyr::sim {

namespace {

constexpr double kMaxRpm = 25000;
constexpr double kMaxKpa = 500;
constexpr double kMaxPercent = 50;

Error lineError(const std::string& source, int line, const std::string& what)
{
    return makeError(ErrorKind::BadFile, "Engine need " + source + " line " + std::to_string(line) + ": " + what);
}

// A whole number or decimal, nothing after it.
bool readNumber(std::istringstream& in, double& out)
{
    std::string word;
    if (!(in >> word))
        return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtod(word.c_str(), &end);
    return errno == 0 && end == word.c_str() + word.size() && std::isfinite(out);
}

// One "rpm X P" or "kpa X P" line into its curve, or what is wrong with it.
std::string readPoint(const std::string& text, EngineNeed& need)
{
    std::istringstream in(text);
    std::string kind;
    in >> kind;
    if (kind != "rpm" && kind != "kpa")
        return "\"" + kind + "\" is not rpm or kpa";
    double x = 0, percent = 0;
    if (!readNumber(in, x) || !readNumber(in, percent))
        return "expected \"" + kind + " " + (kind == "rpm" ? "RPM" : "KPA") + " PERCENT\" with two numbers";
    if (std::string rest; in >> rest)
        return "unexpected \"" + rest + "\" after the percent";
    const double maxX = kind == "rpm" ? kMaxRpm : kMaxKpa;
    if (x < 0 || x > maxX)
        return (kind == "rpm" ? "RPM" : "kPa") + std::string(" must lie in 0 to ") +
               std::to_string(static_cast<int>(maxX));
    if (std::abs(percent) > kMaxPercent)
        return "percent must lie in -50 to 50";
    NeedCurve& curve = kind == "rpm" ? need.byRpm : need.byKpa;
    if (!curve.points.empty() && x <= curve.points.back().first)
        return kind + " points must rise: " + std::to_string(x) + " does not follow " +
               std::to_string(curve.points.back().first);
    curve.points.emplace_back(x, percent);
    return {};
}

} // namespace

double NeedCurve::at(double x) const
{
    if (points.empty())
        return 0;
    if (x <= points.front().first)
        return points.front().second;
    for (size_t i = 1; i < points.size(); ++i) {
        const auto& [x0, y0] = points[i - 1];
        const auto& [x1, y1] = points[i];
        if (x <= x1)
            return y0 + (y1 - y0) * (x - x0) / (x1 - x0);
    }
    return points.back().second;
}

double EngineNeed::factor(double rpm, double kpa) const
{
    return (1.0 + byRpm.at(rpm) / 100.0) * (1.0 + byKpa.at(kpa) / 100.0);
}

EngineNeed EngineNeed::defaults()
{
    EngineNeed n;
    n.byRpm.points = {{0, -12},    {500, -6},  {1000, 2},  {1500, 9},   {2000, 14},
                      {2500, 15},  {3000, 12}, {3500, 6},  {4000, -2},  {4500, -9},
                      {5000, -14}, {5500, -12}, {6000, -9}, {6500, -4}, {7000, 4}};
    n.byKpa.points = {{0, -4}, {100, 4}};
    return n;
}

Result<EngineNeed> parseEngineNeed(std::string_view text, const std::string& source)
{
    EngineNeed need;
    std::istringstream in{std::string(text)};
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        line = line.substr(0, line.find('#'));
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        if (std::string wrong = readPoint(line, need); !wrong.empty())
            return lineError(source, number, wrong);
    }
    if (need.byRpm.points.empty() && need.byKpa.points.empty())
        return makeError(ErrorKind::BadFile, "Engine need " + source + " has no rpm or kpa points");
    return need;
}

Result<EngineNeed> loadEngineNeed(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return makeError(ErrorKind::OsError,
                         "Cannot read the engine need " + path.string() + ": " + std::strerror(errno));
    std::ostringstream text;
    text << in.rdbuf();
    return parseEngineNeed(text.str(), path.string());
}

} // namespace kyr::sim
