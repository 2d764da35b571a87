#include "app/SetupCommit.h"

#include "app/LinkWorker.h"
#include "app/TuneModel.h"
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
        link.postSend(wireBytes(*out.send));
    link::SessionState& s = model.mutableState();
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
        s.enabled["spRead"] = false;
        s.enabled["spWrite"] = true;
    }
    model.stateEdited();
}

void sendSetupByte(TuneModel& model, LinkWorker& link, setup::SetupEngine& engine, const setup::ByteWrite& write,
                   std::function<void()> done)
{
    engine.recordSent(write);
    setup::Outcome out;
    out.store = setup::Store{write.offset, static_cast<uint8_t>(write.value + 1)};
    out.markWritten = true;
    commitSetupOutcome(model, link, out);
    link.postSend(wireBytes(write), [done = std::move(done)](bool) {
        if (done)
            done();
    });
}

void rememberEnables(TuneModel& model, const std::vector<setup::EnableUpdate>& enables)
{
    auto& tracked = model.mutableState().enabled;
    for (const auto& e : enables)
        if (auto it = tracked.find(e.control); it != tracked.end())
            it->second = e.enabled;
}

} // namespace kyr::app
