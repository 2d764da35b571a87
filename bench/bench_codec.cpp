// Decode, encode, format and parse of one table, timed over many rounds.
// Prints microseconds per operation; run it on a quiet machine.

#include "files/MapFile.h"
#include "table/Codec.h"

#include <chrono>
#include <cstdio>
#include <random>

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

int main()
{
    std::mt19937 rng(1);
    table::ImageBytes img{};
    for (auto& b : img)
        b = static_cast<uint8_t>(1 + rng() % 255);
    files::MapFile f{{4, 3, 7, 1, 1, 5, 6}, "make", "model", "engine", img};
    const int rounds = 20000;
    auto maps = table::decodeMaps(img);
    std::string text = files::formatMapFile(f);
    std::printf("decodeMaps     %8.2f us\n", microsPerCall(rounds, [&] { sink = table::decodeMaps(img).values[0].size(); }));
    std::printf("encode         %8.2f us\n", microsPerCall(rounds, [&] { sink = table::encode(table::setupOf(img), maps).raw[5]; }));
    std::printf("formatMapFile  %8.2f us\n", microsPerCall(rounds, [&] { sink = files::formatMapFile(f).size(); }));
    std::printf("parseMapFile   %8.2f us\n", microsPerCall(rounds, [&] { sink = files::parseMapFile(text).ok(); }));
    return 0;
}
