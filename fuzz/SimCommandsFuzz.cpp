// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's command parser on any byte stream: fed at once or a byte
// at a time it cuts the same commands, each of the length its first byte
// calls for, and loses no byte.

#include "CommandParser.h"
#include "FuzzCheck.h"
#include "table/Layout.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

using namespace kyr::sim;
using kyr::fuzz::check;

namespace {

std::size_t checkCommands(const std::vector<Command>& commands)
{
    std::size_t bytes = 0;
    for (const Command& c : commands) {
        check(!c.bytes.empty(), "a command holds its first byte");
        check(c.kind == CommandParser::kindOf(c.bytes.front()), "a command is of its first byte's kind");
        const int args = CommandParser::argumentCount(c.bytes.front());
        check(c.bytes.size() == static_cast<std::size_t>(1 + (args > 0 ? args : 0)),
              "a command holds exactly its argument bytes");
        check(c.firstMs <= c.secondMs && c.secondMs <= c.lastMs, "arrival times are in order");
        if (c.kind == CommandKind::WriteTable)
            check(c.payload().size() == kyr::table::TableSize, "a table write carries the whole image");
        if (c.kind == CommandKind::WritePoint || c.kind == CommandKind::WriteByte)
            check(c.index() == c.bytes[1] && c.value() == c.bytes[2], "a single write reads its index and value");
        bytes += c.bytes.size();
    }
    return bytes;
}

std::size_t pendingBytes(const CommandParser& p)
{
    const Command* c = p.pendingCommand();
    check((c != nullptr) == p.pending(), "a pending command is shown while one is pending");
    return c ? c->bytes.size() : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> stream(data, size);

    CommandParser whole;
    const auto atOnce = whole.feed(stream, 0);
    check(checkCommands(atOnce) + pendingBytes(whole) == size, "fed at once, no byte is lost");

    CommandParser single;
    std::vector<Command> oneByOne;
    for (std::size_t i = 0; i < size; ++i) {
        auto got = single.feed(stream.subspan(i, 1), static_cast<double>(i));
        oneByOne.insert(oneByOne.end(), got.begin(), got.end());
    }
    check(checkCommands(oneByOne) + pendingBytes(single) == size, "fed a byte at a time, no byte is lost");
    check(atOnce.size() == oneByOne.size(), "the same commands whatever the pieces");
    for (std::size_t i = 0; i < atOnce.size(); ++i)
        check(atOnce[i].kind == oneByOne[i].kind && atOnce[i].bytes == oneByOne[i].bytes,
              "the same commands whatever the pieces");
    check(whole.missing() == single.missing(), "the same bytes still awaited");

    single.reset();
    check(!single.pending() && single.feed({}, 0).empty(), "a reset parser waits for nothing");
    return 0;
}
