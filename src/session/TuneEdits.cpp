// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/TuneEdits.h"

#include "session/LinkKeeper.h"
#include "tools/SerialNumber.h"

namespace kyr::session {

void applySetupEntry(TuneState& s, const SetupEntry& entry)
{
    if (entry.offset) {
        const auto at = static_cast<std::size_t>(*entry.offset);
        s.setup.at(at) = entry.plusOne;
        s.image.at(at) = entry.plusOne;
        s.flags.ImageChanged = true;
    }
    if (entry.marksTune) {
        s.flags.ImageChanged = true;
        s.readOffered = false;
    }
}

bool applyMapPoint(table::MapArrays& maps, table::MapId map, int index, double value)
{
    auto& values = maps[map];
    if (index < 1 || index > static_cast<int>(values.size()))
        return false;
    maps.set(map, index, value);
    return true;
}

void recordUnitByte(TuneState& s, int offset, uint8_t raw)
{
    const auto at = static_cast<std::size_t>(offset);
    const auto plusOne = static_cast<uint8_t>(raw + 1);
    s.setup.at(at) = plusOne;
    s.image.at(at) = plusOne;
    if (s.sendsAllowed() && s.unitImage)
        s.unitImage->at(at) = plusOne;
    s.status.unitLine = tools::unitLine(s.unit.modelText, s.unit.versionText, s.setup);
}

void showStatus(TuneState& s, std::string text) { s.status.message = std::move(text); }

void setAnalogSignals(TuneState& s, bool on)
{
    s.live.analogSignals = on;
    s.pollRunning = on;
}

void setRealtimeTracking(TuneState& s, bool on) { s.live.realtimeTracking = on; }

void setFastPoll(TuneState& s, bool on) { s.live.fastPoll = on; }

bool followLink(TuneState& s, const std::optional<std::string>& lostAt, std::size_t journaled)
{
    if (!lostAt && !(s.link.lost && s.link.journaled != journaled))
        return false;
    if (lostAt)
        markLinkLost(s, *lostAt);
    s.link.journaled = journaled;
    return true;
}

} // namespace kyr::session
