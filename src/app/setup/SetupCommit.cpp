// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/setup/SetupCommit.h"

#include "session/LinkKeeper.h"

#include "app/link/LinkWorker.h"
#include "app/common/TuneModel.h"
#include "link/Protocol.h"

namespace kyr::app::setup {

namespace {

kyr::link::Bytes wireBytes(const kyr::setup::ByteWrite& w)
{
    const auto bytes = w.bytes();
    return kyr::link::Bytes(bytes.begin(), bytes.end());
}

} // namespace

void commitSetupOutcome(TuneModel& model, link::LinkWorker& link, const kyr::setup::Outcome& out)
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

Ticket sendSetupByte(TuneModel& model, link::LinkWorker& link, kyr::setup::SetupEngine& engine, const kyr::setup::ByteWrite& write)
{
    engine.recordSent(write);
    kyr::setup::Outcome out;
    out.store = kyr::setup::Store{write.offset, static_cast<uint8_t>(write.value + 1)};
    out.markWritten = true;
    commitSetupOutcome(model, link, out);
    return link.send(wireBytes(write));
}

void sendUnitRecord(TuneModel& model, link::LinkWorker& link, const kyr::setup::ByteWrite& write)
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

void rememberEnables(TuneModel& model, const std::vector<kyr::setup::EnableUpdate>& enables)
{
    // The sensor switches enable their calibration buttons; the session keeps
    // those as commands, so the next refresh of the window keeps them so.
    session::Commands& c = session::commandsToEdit(model.mutableState());
    const std::pair<const char*, bool session::Commands::*> buttons[] = {
        {"CalBtn", &session::Commands::calibrateThrottle},
        {"Button1", &session::Commands::calibrateWater},
        {"Button2", &session::Commands::calibrateAir},
        {"Button3", &session::Commands::calibrateMap}};
    for (const auto& e : enables)
        for (const auto& [control, command] : buttons)
            if (e.control == control)
                c.*command = e.enabled;
}

} // namespace kyr::app::setup
