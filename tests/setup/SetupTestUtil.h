// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared set-up for the setup engine tests: a plausible setup copy and
// a helper that acts like the Setup page applying what the engine returns.

#include "setup/SetupEngine.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

// Test messages name a field by what it is and a switch by its row.
namespace kyr::table {
inline std::ostream& operator<<(std::ostream& os, SetupParam p) { return os << setupDef(p).parameter; }
} // namespace kyr::table
namespace kyr::setup {
inline std::ostream& operator<<(std::ostream& os, SwitchId id)
{
    return os << "switch " << static_cast<int>(id) << " (" << switchDef(id).caption << ")";
}
inline std::ostream& operator<<(std::ostream& os, SetupText t) { return os << "text " << static_cast<int>(t); }
inline std::ostream& operator<<(std::ostream& os, SetupButton b) { return os << "button " << static_cast<int>(b); }
} // namespace kyr::setup

namespace kyr::setup::testing {

using P = table::SetupParam;
using W = SwitchId;
using X = SetupText;
using B = SetupButton;

/// Plus-one byte of a raw value.
inline uint8_t p1(int raw) { return static_cast<uint8_t>(raw + 1); }

/// Sets the raw value of a setup byte.
inline void setRaw(table::SetupCopy& c, table::SetupParam param, int raw)
{
    c[table::setupOffset(param)] = p1(raw);
}

/// A four-cylinder setup: range 7000, limiter 6000, coil time 2.5 ms,
/// output 1 by RPM (3000..5000), output 2 by vacuum (0.5..1.5 bar),
/// TPS sensor on, accelerator pump "Map".
inline table::SetupCopy sampleCopy()
{
    table::SetupCopy c{};
    c.fill(1);
    setRaw(c, P::Cylinders, 4);
    setRaw(c, P::RpmRange, 70);
    setRaw(c, P::RpmLimiter, 60);
    setRaw(c, P::CoilTime, 5);
    setRaw(c, P::MapSensor, 10);
    setRaw(c, P::GearTeeth, 36);
    setRaw(c, P::Out1Source, 1);
    setRaw(c, P::Out1Min, 30);
    setRaw(c, P::Out1Max, 50);
    setRaw(c, P::Out2Source, 2);
    setRaw(c, P::Out2Min, 50);
    setRaw(c, P::Out2Max, 150);
    setRaw(c, P::TpsActive, 2);
    setRaw(c, P::WaterActive, 1);
    setRaw(c, P::AccPumpMode, 1);
    setRaw(c, P::LambdaTarget, 50);
    setRaw(c, P::MainJet, 128);
    return c;
}

/// An engine that has shown the sample copy and is live.
inline SetupEngine liveEngine(std::string separator = ".")
{
    SetupEngine e(std::move(separator));
    e.fill(sampleCopy());
    e.setEditsLive();
    return e;
}

/// What one finished entry led to.
struct Entry {
    std::vector<ByteWrite> sent;
    std::optional<std::string> refusal;
    std::string finalText; ///< what the field shows afterwards
};

/// Finishes an entry of a field's text as the page would.
inline Entry enter(SetupEngine& e, table::SetupParam field, const std::string& text)
{
    Outcome o = e.commitText(field, text);
    Entry r;
    if (o.send)
        r.sent.push_back(*o.send);
    r.refusal = o.refusal;
    r.finalText = o.putBack.value_or(text);
    return r;
}

inline std::vector<int> values(const std::vector<ByteWrite>& w)
{
    std::vector<int> v;
    for (const auto& x : w)
        v.push_back(x.value);
    return v;
}

} // namespace kyr::setup::testing
