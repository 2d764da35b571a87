// SPDX-License-Identifier: GPL-3.0-or-later
// Decode, encode, format and parse of one table, timed over many rounds.
// Prints microseconds per operation; run it on a quiet machine.
//
//   build/bench/bench_codec [--rows]     (--rows: JSON lines for bench/run)

#include "files/MapFile.h"
#include "table/Codec.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

using namespace kyr;

namespace {

template <class F>
double microsPerCall(int rounds, F&& f)
{
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i)
        f();
    std::chrono::duration<double, std::micro> d = std::chrono::steady_clock::now() - start;
    return d.count() / rounds;
}

volatile int sink;

} // namespace

int main(int argc, char** argv)
{
    const bool rows = argc > 1 && !std::strcmp(argv[1], "--rows");
    auto print = [rows](const char* name, double us) {
        if (rows)
            std::printf("{\"id\": \"codec.%s\", \"unit\": \"us\", \"samples\": [%.4g]}\n", name, us);
        else
            std::printf("%-14s %8.2f us\n", name, us);
    };
    std::mt19937 rng(1);
    table::ImageBytes img{};
    for (auto& b : img)
        b = static_cast<uint8_t>(1 + rng() % 255);
    files::MapFile f{{4, 3, 7, 1, 1, 5, 6}, "make", "model", "engine", img};
    const int rounds = 20000;
    auto maps = table::decodeMaps(img);
    std::string text = files::formatMapFile(f);
    print("decodeMaps", microsPerCall(rounds, [&] { sink = static_cast<int>(table::decodeMaps(img).values[0][3]); }));
    print("encode", microsPerCall(rounds, [&] { sink = table::encode(table::setupOf(img), maps).raw[5]; }));
    print("formatMapFile", microsPerCall(rounds, [&] { sink = files::formatMapFile(f).size(); }));
    print("parseMapFile", microsPerCall(rounds, [&] { sink = files::parseMapFile(text).ok(); }));
    return 0;
}
