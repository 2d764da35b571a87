// SPDX-License-Identifier: GPL-3.0-or-later
// Connect, Read from KYR, Write to KYR and Save From KYR against a unit on a
// fake serial device whose every reply the fuzzer writes. Each reply is a
// unit's proper answer, cut, altered or replaced, and the device may fail a
// call. Whatever comes back, the session must not crash, and what it reports
// must agree with what it keeps.

#include "FakeClock.h"
#include "FakeSerialDevice.h"
#include "FuzzCheck.h"
#include "files/MapFile.h"
#include "link/Protocol.h"
#include "session/TuneSession.h"
#include "table/Codec.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

using namespace kyr;
using kyr::fuzz::check;
using link::Bytes;

namespace {

const std::string DevRoot = "/fakedev";
const std::string UnitPath = "/fakedev/ttyS2"; // COM3
constexpr int UnitCom = 3;
constexpr std::size_t MaxReply = 600;

const files::MapFile& demo()
{
    static const files::MapFile file = [] {
        auto loaded = files::loadMapFile(KYR_SOURCE_DIR "/examples/demo.kyr");
        check(loaded.ok(), "the demo tune loads");
        return loaded.value();
    }();
    return file;
}

/// A unit that answers as the fuzzer says. Its proper answers are those of
/// a unit holding the demo tune; the fuzzer picks, per write, whether the
/// reply is that answer, a cut or altered copy, its own bytes, or nothing
/// with a failing device.
class ScriptedUnit {
public:
    ScriptedUnit(FuzzedDataProvider& fdp, link::FakeSerialDevice& device)
        : m_fdp(fdp), m_device(device), m_table(demo().image)
    {
    }

    Bytes answer(const Bytes& written)
    {
        Bytes proper = properAnswer(written);
        switch (m_fdp.ConsumeIntegralInRange<int>(0, 5)) {
        case 0: return proper;
        case 1: proper.resize(m_fdp.ConsumeIntegralInRange<std::size_t>(0, proper.size())); return proper;
        case 2: alter(proper); return proper;
        case 3: return m_fdp.ConsumeBytes<uint8_t>(m_fdp.ConsumeIntegralInRange<std::size_t>(0, MaxReply));
        case 4: failNextCall(); return proper;
        default: return {};
        }
    }

private:
    Bytes properAnswer(const Bytes& written)
    {
        if (std::exchange(m_expectImage, false)) {
            if (written.size() == m_table.size())
                for (std::size_t i = 0; i < written.size(); ++i)
                    m_table[i] = static_cast<uint8_t>(written[i] + 1);
            return {};
        }
        if (written.size() != 1)
            return {};
        switch (written[0]) {
        case link::CmdReadIdentity: return {3, 3, 2, 7, 1, 5, 6};
        case link::CmdReadTable: return Bytes(m_table.begin(), m_table.end());
        case link::CmdWriteTable: m_expectImage = true; return {};
        default: return {};
        }
    }

    void alter(Bytes& reply)
    {
        const int changes = m_fdp.ConsumeIntegralInRange<int>(1, 8);
        for (int i = 0; i < changes && !reply.empty(); ++i)
            reply[m_fdp.ConsumeIntegralInRange<std::size_t>(0, reply.size() - 1)] = m_fdp.ConsumeIntegral<uint8_t>();
    }

    void failNextCall()
    {
        const auto op = static_cast<link::FakeOp>(m_fdp.ConsumeIntegralInRange<int>(0, 6));
        if (op == static_cast<link::FakeOp>(6))
            m_device.limitNextWrite(m_fdp.ConsumeIntegralInRange<std::size_t>(0, 482));
        else
            m_device.injectError(op, makeError(ErrorKind::OsError, "the line failed"));
    }

    FuzzedDataProvider& m_fdp;
    link::FakeSerialDevice& m_device;
    table::ImageBytes m_table;
    bool m_expectImage = false;
};

std::vector<uint8_t> kept(const table::ImageBytes& image)
{
    return std::vector<uint8_t>(image.begin(), image.begin() + link::ReadTableKeep);
}

bool noZero(const table::ImageBytes& image)
{
    return std::find(image.begin(), image.begin() + link::ReadTableKeep, uint8_t{0}) ==
           image.begin() + link::ReadTableKeep;
}

void checkRead(session::TuneSession& session, session::TuneState& s)
{
    const table::ImageBytes before = s.image;
    auto r = session.tableRead(s);
    if (r.error) {
        check(s.image == before, "a failed table read keeps the image");
        return;
    }
    check(r.mapsDecoded && s.imageWhole, "a table read shows the whole table");
    if (s.flags.FileOpen) {
        check(s.image == demo().image, "with a file open the table read shows the file");
        return;
    }
    check(noZero(s.image) && s.unitImage && kept(*s.unitImage) == kept(s.image),
          "the table shown is the unit's reply up to its end");
}

void checkWrite(session::TuneSession& session, session::TuneState& s)
{
    const table::EncodedImage image = table::encode(s.setup, table::decodeMaps(s.image));
    auto r = session.tableWrite(s, image);
    const bool written = !r.statuses.empty() && r.statuses.back() == "Data table written to KYR";
    check(written == !r.error, "a write says it was written exactly when it succeeded");
    if (!r.error)
        check(s.unitImage && kept(*s.unitImage) == kept(image.plusOne) && r.mismatched.empty(),
              "a write reported done was read back whole");
    if (r.error && r.error->kind == ErrorKind::VerifyMismatch)
        check(!r.mismatched.empty(), "a write not verified names its offsets");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider fdp(data, size);
    link::FakeClock clock{fdp.ConsumeIntegral<uint32_t>()};
    link::FakeSerialDevice device{&clock};
    link::TQCCom32 efi{device.factory(), clock, link::PortEnv::withVariables({}, DevRoot)};
    ScriptedUnit unit(fdp, device);
    device.setOpenable(false);
    device.setOpenable(UnitPath, true);
    device.setResponder([&unit](const Bytes& w) { return unit.answer(w); });
    efi.setBaud(19200);
    efi.setShowErrors(false);

    session::TuneSession session{efi, clock};
    session::TuneState s = session::TuneState::initial();
    s.port = session::PortAddress::comPort(UnitCom);

    // With the demo file open first, Connect joins the unit to the file.
    if (fdp.ConsumeBool()) {
        session.openFile(s, demo());
        check(s.flags.FileDecoded && s.image == demo().image, "an opened file is shown as it is");
    }
    auto connected = session.connect(s);
    check(!connected.statuses.empty(), "Connect always says something");
    if (!connected.error)
        check(s.flags.UnitConnected && s.imageWhole, "a Connect without error joins the unit and shows its table");
    checkRead(session, s);
    checkWrite(session, s);
    auto saved = session.readForSave(s);
    if (saved)
        check(saved.value()[table::TableSize - 1] == 0 && noZero(saved.value()), "Save From KYR keeps a whole table");
    return 0;
}
