// SPDX-License-Identifier: GPL-3.0-or-later
// The one-line summary of what changed between two tables of a unit's history.

#include "session/History.h"

#include "tools/TuneCompare.h"

#include <cmath>

namespace kyr::session {

namespace {

constexpr std::string_view Separator = "; ";
constexpr double SameChange = 1e-6;

std::string signedValue(table::MapId map, double delta)
{
    return (delta > 0 ? "+" : "") + tools::pointValueText(map, delta);
}

// Runs of consecutive points of one map that changed by the same amount.
std::vector<std::string> pointParts(const std::vector<tools::PointDifference>& points)
{
    std::vector<std::string> parts;
    for (std::size_t i = 0; i < points.size();) {
        const auto& first = points[i];
        const double delta = first.mine - first.other;
        std::size_t j = i + 1;
        while (j < points.size() && points[j].map == first.map && points[j].index == points[j - 1].index + 1 &&
               std::abs((points[j].mine - points[j].other) - delta) < SameChange)
            ++j;
        const auto& last = points[j - 1];
        std::string where = first.index == last.index
                                ? " point " + std::to_string(first.index)
                                : " points " + std::to_string(first.index) + "\u2013" + std::to_string(last.index);
        parts.push_back(tools::mapName(first.map) + where + " " + signedValue(first.map, delta));
        i = j;
    }
    return parts;
}

std::string settingPart(const tools::SettingDifference& d)
{
    return d.name + " " + d.other.text + " \u2192 " + tools::withUnit(d.mine.text, d.unit);
}

// Bytes of text, counting each UTF-8 character once.
std::size_t shownLength(std::string_view text)
{
    std::size_t n = 0;
    for (char c : text)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

} // namespace

std::string changeSummary(const tools::TuneComparison& changes, std::size_t maxChars)
{
    if (changes.empty())
        return "No change";
    std::vector<std::string> parts = pointParts(changes.points);
    for (const auto& d : changes.setup)
        parts.push_back(settingPart(d));
    if (!changes.bytes.empty())
        parts.push_back(std::to_string(changes.bytes.size()) + " other byte" + (changes.bytes.size() == 1 ? "" : "s"));

    std::string line;
    auto more = [&](std::size_t count) { return "\u2026 and " + std::to_string(count) + " more"; };
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string joined = (line.empty() ? "" : std::string(Separator)) + parts[i];
        // Room is kept for the count of the parts that may not fit after this one.
        const std::size_t after = parts.size() - i - 1;
        const std::size_t room = after == 0 ? 0 : Separator.size() + shownLength(more(after));
        if (!line.empty() && shownLength(line) + shownLength(joined) + room > maxChars)
            return line + std::string(Separator) + more(parts.size() - i);
        line += joined;
    }
    return line;
}

std::string changeSummary(const table::ImageBytes& before, const table::ImageBytes& after, int beforeTypeCode,
                          int afterTypeCode, std::size_t maxChars)
{
    return changeSummary(tools::compareTunes(after, before, afterTypeCode, beforeTypeCode), maxChars);
}

} // namespace kyr::session
