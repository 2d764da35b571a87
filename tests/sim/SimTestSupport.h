// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared pieces of the kyr-sim tests over a pseudo-terminal.

#include "PtyClient.h"
#include "SimProcess.h"

#include "files/MapFile.h"
#include "table/Layout.h"

#include <gtest/gtest.h>

#include <memory>

namespace kyr::test {

constexpr uint8_t ReadIdentity = 0xFF;
constexpr uint8_t ReadTable = 0xFD;
constexpr uint8_t ReadLive = 0xFC;
constexpr uint8_t WriteTable = 0xF3;
constexpr uint8_t WriteByte = 0xF2;

/// A tune whose every byte differs from its neighbours and none is zero, so a
/// misplaced or dropped byte shows.
inline table::ImageBytes patternImage()
{
    table::ImageBytes image{};
    for (int i = 0; i < table::TableSize; ++i)
        image[i] = static_cast<uint8_t>(1 + (i * 37) % 250);
    return image;
}

inline std::filesystem::path writeTune(const std::filesystem::path& path, const table::ImageBytes& image)
{
    files::MapFile f;
    f.identity = {3, 3, 2, 1, 1, 4, 4};
    f.make = "Test";
    f.image = image;
    auto saved = files::saveMapFile(path, f);
    if (!saved)
        throw std::runtime_error(saved.error().message);
    return path;
}

/// A temporary folder with a pattern tune, and simulators started in it.
class SimFixture : public ::testing::Test {
protected:
    SimFixture() : image(patternImage()), tune(writeTune(dir / "tune.kyr", image)) {}

    SimProcess& start(SimOptions o = {})
    {
        if (o.tune.empty())
            o.tune = tune;
        sims.push_back(std::make_unique<SimProcess>(dir.path(), std::move(o)));
        return *sims.back();
    }

    /// The whole table as the unit answers it now.
    static Bytes readTable(PtyClient& c) { return c.ask({ReadTable}, table::TableSize); }

    TempFolder dir;
    table::ImageBytes image;
    std::filesystem::path tune;
    std::vector<std::unique_ptr<SimProcess>> sims;
};

} // namespace kyr::test
