// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/setup/SetupCommit.h"

#include "session/LinkKeeper.h"

#include "app/link/LinkWorker.h"
#include "app/window/TuneModel.h"
#include "link/Protocol.h"

namespace kyr::app {

namespace {

link::Bytes wireBytes(const setup::ByteWrite& w)
{
    const auto bytes = w.bytes();
    return link::Bytes(bytes.begin(), bytes.end());
}

} // namespace

void commitSetupOutcome(TuneModel& model, LinkWorker& link, const setup::Outcome& out)
{
    if (!out.send && !out.store && !out.markWritten)
        return;
    if (out.send)
        link.send(wireBytes(*out.send));
    session::TuneState& s = model.mutableState();
    if (out.store) {
        s.setup[out.store->offset] = out.store->plusOne;
        // The image carries the edit too, so whatever is built from it
        // (Write, Save From PC) sees what the unit was sent.
        s.image[out.store->offset] = out.store->plusOne;
        // Every stored edit, quiet ones included, is something the unit
        // keeps only until it is written: the exit prompt must know.
        s.flags.ImageChanged = true;
    }
    if (out.markWritten) {
        s.flags.ImageChanged = true;
        session::Commands& c = session::commandsToEdit(s);
        c.readTable = false;
        c.writeTable = true;
    }
    model.stateEdited();
}

Ticket sendSetupByte(TuneModel& model, LinkWorker& link, setup::SetupEngine& engine, const setup::ByteWrite& write)
{
    engine.recordSent(write);
    setup::Outcome out;
    out.store = setup::Store{write.offset, static_cast<uint8_t>(write.value + 1)};
    out.markWritten = true;
    commitSetupOutcome(model, link, out);
    return link.send(wireBytes(write));
}

void sendUnitRecord(TuneModel& model, LinkWorker& link, const setup::ByteWrite& write)
{
    link.send(wireBytes(write));
    session::TuneState& s = model.mutableState();
    const auto plusOne = static_cast<uint8_t>(write.value + 1);
    s.setup[write.offset] = plusOne;
    s.image[write.offset] = plusOne;
    if (s.sendsAllowed() && s.unitImage)
        (*s.unitImage)[write.offset] = plusOne;
    model.stateEdited();
}

void rememberEnables(TuneModel& model, const std::vector<setup::EnableUpdate>& enables)
{
    // The sensor switches enable their calibration buttons; the session keeps
    // those as commands, so the next refresh of the window keeps them so.
    session::Commands& c = session::commandsToEdit(model.mutableState());
    const std::pair<setup::SetupButton, bool session::Commands::*> buttons[] = {
        {setup::SetupButton::CalibrateThrottle, &session::Commands::calibrateThrottle},
        {setup::SetupButton::CalibrateWater, &session::Commands::calibrateWater},
        {setup::SetupButton::CalibrateAir, &session::Commands::calibrateAir},
        {setup::SetupButton::CalibrateMap, &session::Commands::calibrateMap}};
    for (const auto& e : enables)
        for (const auto& [button, command] : buttons)
            if (e.control == setup::SetupControl(button))
                c.*command = e.enabled;
}

} // namespace kyr::app
