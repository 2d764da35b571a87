// SPDX-License-Identifier: GPL-3.0-or-later
// kyr against a unit whose replies come late, and one that is busy for a
// while after a table write: a table is read whole or refused, and a good
// write is verified once the unit answers again.

#include "RunKyr.h"

#include "table/Layout.h"

#include <gmock/gmock.h>

#include <iostream>
#include <sstream>

using namespace kyr;
using namespace kyr::test;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

/// Files below a folder (the backups).
int filesBelow(const fs::path& folder)
{
    int n = 0;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        n += it->is_regular_file();
    return n;
}

} // namespace

// Every late reply either gives the unit's true table or no file at all;
// most densely where the table reply is still arriving when the pause ends.
TEST(CliPtyLateReply, EverySlowReadIsTheTrueTableOrNothing)
{
    const std::vector<int> slows{0,   50,  100, 150, 200, 240, 250, 255, 260, 265, 270,
                                 275, 280, 285, 290, 295, 300, 350, 450, 600};
    std::ostringstream outcomes;
    int read = 0;
    for (int slow : slows) {
        SCOPED_TRACE("--slow " + std::to_string(slow));
        TempFolder dir;
        SimProcess sim(dir.path(), {.port = 2, .args = {"--slow", std::to_string(slow)}});
        const std::vector<uint8_t> memory = simMemory(sim);
        const fs::path out = dir / "read.kyr";
        KyrRun r = runKyr(dir.path(), {"read", "--port", "COM2", "-o", out.string()});
        outcomes << "  --slow " << slow << ": " << (r.code == 0 ? std::string("read") : r.err);
        if (r.code == 0) {
            ++read;
            const files::MapFile f = loadOrFail(out);
            for (int off = 0; off < table::TrailerOffset; ++off)
                ASSERT_EQ(f.image[off], static_cast<uint8_t>(memory[off] + 1)) << "offset " << off;
            EXPECT_THAT(r.out, HasSubstr("serial KT-012345-06"));
        } else {
            EXPECT_EQ(r.code, 1);
            EXPECT_FALSE(fs::exists(out));
            EXPECT_EQ(filesBelow(dir / "data"), 0) << "a backup of a refused read";
        }
        if (r.code == 0)
            outcomes << "\n";
    }
    std::cout << "kyr read by --slow:\n" << outcomes.str();
    // Up to where the identity itself is late, every read succeeds.
    EXPECT_GE(read, 16);
}

TEST(CliPtyLateReply, WriteToAUnitBusyStoringItIsVerifiedOnceItAnswers)
{
    TempFolder dir;
    SimProcess sim(dir.path(), {.port = 2, .args = {"--busy-after-write", "1200"}});
    files::MapFile f = loadOrFail(demoTune());
    f.image[table::pointOffset(table::mapDef(table::MapId::TimingRpm), 5)] += 1;
    ASSERT_TRUE(files::saveMapFile(dir / "edited.kyr", f));

    KyrRun r = runKyr(dir.path(), {"write", "--port", "COM2", (dir / "edited.kyr").string()});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("read-back matches"));
    // The read-backs the busy unit did not take, then the one it answered.
    const auto reads = sim.logWhere("cmd", "ReadTable");
    int ignored = 0;
    for (const auto& e : reads)
        ignored += e.contains("ignored");
    EXPECT_GE(ignored, 1);
    EXPECT_FALSE(reads.back().contains("ignored"));
}

TEST(CliPtyLateReply, WriteWhoseReadBackNeverComesIsNotVerifiedYetNotALostLink)
{
    TempFolder dir;
    SimProcess sim(dir.path(), {.port = 2, .args = {"--busy-after-write", "60000"}});
    KyrRun r = runKyr(dir.path(), {"write", "--retry", "5", "--port", "COM2", demoTune().string()});
    EXPECT_EQ(r.code, 1);
    EXPECT_THAT(r.err, HasSubstr("verify failed: the KYR did not answer the read-back, so it is not verified yet"));
    EXPECT_THAT(r.err, Not(HasSubstr("Link lost")));
    EXPECT_EQ(sim.logWhere("cmd", "WriteTable").size(), 1u);
}
