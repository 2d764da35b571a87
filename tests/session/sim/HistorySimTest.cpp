// SPDX-License-Identifier: GPL-3.0-or-later
// The tune history a session leaves against kyr-sim: Connect, two edits and
// Write to KYR, then Connect again.

#include "SimFixture.h"

#include "session/Backups.h"
#include "session/History.h"
#include "table/Codec.h"
#include "tools/SerialNumber.h"

using namespace kyr;
using namespace kyr::test;

using SessionHistory = SimFixture;

TEST_F(SessionHistory, AWriteBetweenTwoConnectsIsOneNewTableNamingTheEdits)
{
    startSim({.port = 7});
    session::BackupStore store(m_dir / "backups");
    m_seq = std::make_unique<session::TuneSession>(efi(), link::systemClock(), &store);
    session::TuneState s = session::TuneState::initial();
    s.port = session::PortAddress::comPort(7);
    ASSERT_FALSE(seq().connect(s).error);
    const table::ImageBytes before = s.image;

    auto maps = table::decodeMaps(s.image);
    maps.set(table::MapId::TimingRpm, 5, maps.at(table::MapId::TimingRpm, 5) + 3);
    table::SetupCopy setup = s.setup;
    setup[table::setupOffset(table::SetupParam::MaxFueling)] += 20;
    auto w = seq().tableWrite(s, table::encode(setup, maps));
    ASSERT_FALSE(w.error) << w.error->message;
    ASSERT_TRUE(w.written.has_value());
    seq().disconnect(s);
    ASSERT_FALSE(seq().connect(s).error);

    auto h = session::History(m_dir / "backups").load(tools::serialText(s.setup));
    ASSERT_TRUE(h.ok()) << h.error().message;
    const auto& entries = h.value().entries;
    // The unit's table (Connect, the read before the write) and the one
    // written (as read back, then read by the second Connect).
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].hash, session::tuneHash(s.image));
    ASSERT_EQ(entries[0].times.size(), 2u);
    EXPECT_EQ(entries[0].times[0].kind, session::HistoryKind::Read);
    EXPECT_EQ(entries[0].times[1].kind, session::HistoryKind::Written);
    EXPECT_EQ(entries[0].times[1].path, *w.written);
    EXPECT_EQ(entries[1].hash, session::tuneHash(before));
    EXPECT_EQ(entries[1].times.size(), 2u);
    const std::string& summary = entries[0].summary;
    EXPECT_EQ(summary.rfind("Timing Map point 5 +3\u00b0; Max Fueling ", 0), 0u) << summary;
    EXPECT_NE(summary.find(" \u2192 "), std::string::npos) << summary;
}
