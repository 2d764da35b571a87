// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared set-up for the setup engine tests: a plausible setup copy and
// a helper that acts like the Setup page applying what the engine returns.

#include "setup/SetupEngine.h"

#include <optional>
#include <string>
#include <vector>

namespace kyr::setup::testing {

/// Plus-one byte of a raw value.
inline uint8_t p1(int raw) { return static_cast<uint8_t>(raw + 1); }

/// Sets the raw value of a control's byte.
inline void setRaw(table::SetupCopy& c, std::string_view control, int raw)
{
    c[table::setupByControl(control)->offset] = p1(raw);
}

/// A four-cylinder setup: range 7000, limiter 6000, coil time 2.5 ms,
/// output 1 by RPM (3000..5000), output 2 by vacuum (0.5..1.5 bar),
/// TPS sensor on, accelerator pump "Map".
inline table::SetupCopy sampleCopy()
{
    table::SetupCopy c{};
    c.fill(1);
    setRaw(c, "Edit12", 4);
    setRaw(c, "Edit13", 70);
    setRaw(c, "Edit20", 60);
    setRaw(c, "Edit14", 5);
    setRaw(c, "Edit15", 10);
    setRaw(c, "Edit34", 36);
    setRaw(c, "RadioButton7", 1);
    setRaw(c, "Edit16", 30);
    setRaw(c, "Edit17", 50);
    setRaw(c, "RadioButton11", 2);
    setRaw(c, "Edit1", 50);
    setRaw(c, "Edit24", 150);
    setRaw(c, "CheckBox1", 2);
    setRaw(c, "CheckBox6", 1);
    setRaw(c, "RadioGroup2", 1);
    setRaw(c, "TrackBar7", 50);
    setRaw(c, "Edit28", 128);
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
inline Entry enter(SetupEngine& e, std::string_view control, const std::string& text)
{
    Outcome o = e.commitText(control, text);
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
