// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/setup/SetupCommit.h"

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
    session::SetupEntry entry;
    if (out.store) {
        entry.offset = out.store->offset;
        entry.plusOne = out.store->plusOne;
    }
    entry.marksTune = out.markWritten;
    model.applySetupEntry(entry);
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
    model.recordUnitByte(write.offset, write.value);
}

} // namespace kyr::app::setup
