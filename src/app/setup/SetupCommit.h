// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a setup edit does outside its page: the WriteByte goes to the link
// queue, and the model's setup copy, image, flags and tool bar buttons
// follow the engine. Shared by every page that edits setup bytes (the Setup
// page's fields and switches, the jet trims, the throttle calibration).

#include "setup/ByteWrite.h"
#include "setup/SetupEngine.h"

#include <QtGlobal>


namespace kyr::app {
class TuneModel;
}
namespace kyr::app::link {
class LinkWorker;
}

namespace kyr::app::setup {

using Ticket = quint64;

/// Sends an outcome's WriteByte and keeps the model in step with the
/// engine: the stored byte goes into the setup copy and the image, the image
/// counts as changed, and a marking outcome disables "Read from KYR" and
/// enables "Write to KYR". While no unit is connected the link drops the
/// send; the image changes all the same. Emits the model's stateChanged once.
void commitSetupOutcome(TuneModel& model, link::LinkWorker& link, const kyr::setup::Outcome& out);

/// Sends a WriteByte made outside the engine's fields (the throttle
/// calibration), records it in the engine's setup copy and commits it like
/// an accepted edit. The link's sent signal with the ticket returned says
/// when it has taken it (sent or dropped).
Ticket sendSetupByte(TuneModel& model, link::LinkWorker& link, kyr::setup::SetupEngine& engine, const kyr::setup::ByteWrite& write);

/// Sends a byte of the unit's own record (its serial number) and keeps it in
/// the setup copy and the image. It is no change of the tune: the image does
/// not count as changed, and a connected unit, which was sent the byte, is
/// taken to hold it, so Exit offers no write for it. Emits stateChanged once.
void sendUnitRecord(TuneModel& model, link::LinkWorker& link, const kyr::setup::ByteWrite& write);

} // namespace kyr::app::setup
