// SPDX-License-Identifier: GPL-3.0-or-later
#include "maps/Jets.h"

#include "table/Layout.h"

#include <algorithm>
#include <cctype>

namespace kyr::maps {

namespace {

struct JetKeyDef {
    char key;
    Jet jet;
    int delta;
};

constexpr JetKeyDef kJetKeys[] = {
    {'Q', Jet::Main, -1}, {'A', Jet::Main, +1}, {'W', Jet::Main, -10}, {'S', Jet::Main, +10},
    {'D', Jet::Idle, -1}, {'C', Jet::Idle, +1}, {'F', Jet::Idle, -10}, {'V', Jet::Idle, +10},
};

static_assert(JetPositionMin == 255 - table::MaxRawSent);

} // namespace

std::optional<JetMove> jetKey(char key)
{
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(key)));
    for (const auto& k : kJetKeys)
        if (k.key == upper)
            return JetMove{k.jet, k.delta};
    return std::nullopt;
}

int jetOffset(Jet jet)
{
    return table::setupOffset(jet == Jet::Main ? table::SetupParam::MainJet : table::SetupParam::IdleJet);
}

int jetValue(int position) { return 255 - position; }

int movedJetPosition(int position, int delta)
{
    return std::clamp(position + delta, JetPositionMin, JetPositionMax);
}

} // namespace kyr::maps
