// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Sequences against simulated units: a ports folder of their own and a device
// folder with nothing in it, so that no real serial port is ever opened.

#include "SimProcess.h"
#include "session/TuneSession.h"
#include "Memory.h"

#include <gtest/gtest.h>

#include <memory>

namespace kyr::test {

class SimFixture : public ::testing::Test {
protected:
    link::PortEnv env()
    {
        std::filesystem::create_directories(m_dir / "dev");
        return link::PortEnv::withVariables({{"KYR_PORT_DIR", SimProcess::portDirOf(m_dir.path()).string()}},
                                            (m_dir / "dev").string());
    }

    SimProcess& startSim(SimOptions o)
    {
        m_sims.push_back(std::make_unique<SimProcess>(m_dir.path(), std::move(o)));
        return *m_sims.back();
    }

    link::TQCCom32& efi()
    {
        if (!m_efi) {
            m_efi = std::make_unique<link::TQCCom32>(link::posixDeviceFactory(), link::systemClock(), env());
            m_efi->setBaud(19200);
            m_efi->setShowErrors(false);
        }
        return *m_efi;
    }

    session::TuneSession& seq()
    {
        if (!m_seq)
            m_seq = std::make_unique<session::TuneSession>(efi());
        return *m_seq;
    }

    /// The simulator's table in plus-one form, as a ReadTable would give it.
    /// kyr-sim stores a change before it logs the command, so after a wait on
    /// the log this holds it.
    static table::ImageBytes simTable(const SimProcess& sim)
    {
        auto raw = kyr::sim::loadMemory(sim.memoryPath());
        EXPECT_TRUE(raw.ok());
        table::ImageBytes plusOne{};
        for (int i = 0; i < table::TableSize; ++i)
            plusOne[i] = static_cast<uint8_t>(raw.value()[i] + 1);
        return plusOne;
    }

    /// Commands the simulator took, by name, in order.
    static std::vector<std::string> commands(const SimProcess& sim)
    {
        std::vector<std::string> out;
        for (const auto& line : sim.log())
            if (line.contains("cmd"))
                out.push_back(line["cmd"].get<std::string>());
        return out;
    }

    TempFolder m_dir{"kyr-seq"};
    std::vector<std::unique_ptr<SimProcess>> m_sims;
    std::unique_ptr<link::TQCCom32> m_efi;
    std::unique_ptr<session::TuneSession> m_seq;
};

} // namespace kyr::test
