// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The tune session against a unit on COM3 of an in-memory serial device, on a
// fake clock: every byte on the wire and every pause can be checked, and no
// test waits for real time or touches a real port.

#include "FakeClock.h"
#include "FakeSerialDevice.h"
#include "SimResponder.h"
#include "files/MapFile.h"
#include "link/Protocol.h"
#include "session/TuneSession.h"
#include "table/Codec.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace kyr::sessiontest {

inline constexpr int UnitCom = 3;
inline const std::string DevRoot = "/fakedev";
inline const std::string UnitPath = "/fakedev/ttyS2"; // COM3 under DevRoot

/// The example tune, loaded from the source tree.
files::MapFile demoFile();

/// A folder of the running test's own below the temporary folder, removed at the end.
class TempFolder {
public:
    explicit TempFolder(const std::string& prefix);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

class SessionFixture : public ::testing::Test {
protected:
    SessionFixture();

    /// The fixed device of COMn under the fake device folder.
    static std::string pathOf(int com);
    /// Each write as text: a one-byte command in hex ("FD"), anything longer by its size ("482 bytes").
    std::vector<std::string> wire() const;
    /// The writes that are exactly one command byte.
    int countOf(uint8_t command) const;
    /// The image of the last WriteTable on the wire (empty when none).
    link::Bytes lastPayload() const;
    /// The sleeps from position mark of the clock's record on.
    std::vector<int> sleepsFrom(std::size_t mark) const;
    /// The unit's table as the session keeps it: offsets 0..480 (481 is the unit's own).
    std::vector<uint8_t> kept(const table::ImageBytes& image) const;
    /// The image with the setup area of the unit and its maps, as Write would send it.
    table::EncodedImage shownImage() const { return table::encode(s.setup, table::decodeMaps(s.image)); }
    /// Connects with no file open; the test fails when that does not succeed.
    void connectUnit();

    files::MapFile file = demoFile();
    link::FakeClock clock{1000};
    link::FakeSerialDevice device{&clock};
    link::TQCCom32 efi{device.factory(), clock, link::PortEnv::withVariables({}, DevRoot)};
    test::SimResponder unit; ///< the simulated unit on COM3
    session::TuneSession session{efi, clock};
    session::TuneState s = session::TuneState::initial();
};

/// Status texts as the observer sees them.
class RecordingObserver : public session::SessionObserver {
public:
    void status(const std::string& text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

} // namespace kyr::sessiontest
