// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/TuneState.h"

#include "link/ComNames.h"
#include "setup/Switches.h"
#include "table/Layout.h"

#include <cctype>

namespace kyr::session {

std::string PortAddress::chooserText() const
{
    if (!device.empty())
        return device;
    return com > 0 ? "Com" + std::to_string(com) : std::string();
}

std::string PortAddress::label() const { return device.empty() ? link::comName(com) : device; }

PortAddress portFromChooserText(const std::string& text)
{
    if (text.size() < 4 || !std::isdigit(static_cast<unsigned char>(text[3])))
        return {};
    int n = text[3] - '0';
    if (text.size() >= 5) {
        if (!std::isdigit(static_cast<unsigned char>(text[4])))
            return {};
        n = n * 10 + (text[4] - '0');
    }
    // Windows numbers ports up to COM256: a third digit belongs to the number.
    if (text.size() >= 6 && std::isdigit(static_cast<unsigned char>(text[5])))
        n = n * 10 + (text[5] - '0');
    return PortAddress::comPort(n);
}

TuneState TuneState::initial()
{
    TuneState s;
    s.image.fill('0');
    s.setup.fill('0');
    return s;
}

Commands TuneState::commands() const
{
    Commands c;
    // While the link is lost nothing that needs the unit may start; a write
    // cut off mid-image is the exception: writing again is how the user says
    // the unit was switched off and on.
    if (link.lost) {
        c.refreshPorts = c.choosePort = false;
        c.writeTable = link.powerCycle;
        return c;
    }
    // Back, but the unit holds another table: Write keeps the program's, Read the unit's.
    if (link.choosing) {
        c.refreshPorts = c.choosePort = false;
        c.writeTable = c.readTable = true;
        return c;
    }
    const bool live = unitLive();
    c.connect = !port.empty() && !live;
    c.disconnect = flags.UnitConnected;
    c.choosePort = !flags.UnitConnected;
    c.refreshPorts = !flags.UnitConnected && !unitFoundBySearch;
    c.writeTable = live && imageWhole;
    c.readTable = live && readOffered;
    // The poll and chart tracking follow the unit's own table, not a joined file.
    c.analogSignals = c.realtimeTracking = live && imageWhole && !flags.FileOpen;
    // A Calibrate button serves a live unit whose sensor the switch table's
    // rule finds fitted (and whose calibration field the unit has).
    using B = kyr::setup::SetupButton;
    const auto calibrates = [&](B button) { return live && kyr::setup::rulesAllow(button, setup); };
    c.calibrateThrottle = calibrates(B::CalibrateThrottle);
    c.calibrateWater = calibrates(B::CalibrateWater);
    c.calibrateAir = calibrates(B::CalibrateAir);
    c.calibrateMap = calibrates(B::CalibrateMap);
    return c;
}

} // namespace kyr::session
