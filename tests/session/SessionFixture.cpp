// SPDX-License-Identifier: GPL-3.0-or-later
#include "SessionFixture.h"

#include <cstdio>
#include <unistd.h>

namespace kyr::sessiontest {

using link::Bytes;

files::MapFile demoFile()
{
    auto loaded = files::loadMapFile(KYR_SOURCE_DIR "/examples/demo.kyr");
    EXPECT_TRUE(loaded.ok()) << loaded.error().message;
    return loaded.ok() ? loaded.value() : files::MapFile{};
}

// ---------------------------------------------------------------- TempFolder

TempFolder::TempFolder(const std::string& prefix)
    : m_path(std::filesystem::temp_directory_path() /
             (prefix + "-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name()))
{
    std::filesystem::remove_all(m_path);
    std::filesystem::create_directories(m_path);
}

TempFolder::~TempFolder()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

// ---------------------------------------------------------------- SessionFixture

SessionFixture::SessionFixture()
{
    // The unit's tune differs from the file's in its serial number and in
    // one map point, so that either leaking into the other shows.
    unit.table = file.image;
    unit.table[95] = static_cast<uint8_t>(unit.table[95] + 3);
    unit.table[300] = static_cast<uint8_t>(unit.table[300] + 5);
    device.setOpenable(false);
    device.setOpenable(UnitPath, true);
    device.setResponder([this](const Bytes& w) { return unit.answer(w); });
    efi.setBaud(19200);
    efi.setShowErrors(false);
    s.port = session::PortAddress::comPort(UnitCom);
}

std::string SessionFixture::pathOf(int com)
{
    return *link::fixedDevicePath(com, link::PortEnv::withVariables({}, DevRoot));
}

std::vector<std::string> SessionFixture::wire() const
{
    std::vector<std::string> out;
    for (const Bytes& w : device.writes()) {
        if (w.size() == 1) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02X", w[0]);
            out.emplace_back(hex);
        } else {
            out.push_back(std::to_string(w.size()) + " bytes");
        }
    }
    return out;
}

int SessionFixture::countOf(uint8_t command) const
{
    int n = 0;
    for (const Bytes& w : device.writes())
        n += w.size() == 1 && w[0] == command;
    return n;
}

Bytes SessionFixture::lastPayload() const
{
    const auto& writes = device.writes();
    for (std::size_t i = writes.size(); i-- > 1;)
        if (writes[i - 1] == Bytes{link::CmdWriteTable})
            return writes[i];
    return {};
}

std::vector<int> SessionFixture::sleepsFrom(std::size_t mark) const
{
    const auto& all = clock.sleeps();
    return std::vector<int>(all.begin() + static_cast<std::ptrdiff_t>(std::min(mark, all.size())), all.end());
}

std::vector<uint8_t> SessionFixture::kept(const table::ImageBytes& image) const
{
    return std::vector<uint8_t>(image.begin(), image.begin() + link::ReadTableKeep);
}

void SessionFixture::connectUnit()
{
    auto r = session.connect(s);
    ASSERT_FALSE(r.error) << r.error->message;
    ASSERT_TRUE(s.flags.UnitConnected);
    ASSERT_TRUE(s.imageWhole);
}

} // namespace kyr::sessiontest
