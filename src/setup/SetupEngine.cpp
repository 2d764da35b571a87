// SPDX-License-Identifier: GPL-3.0-or-later
#include "setup/SetupEngine.h"

#include "setup/Decimal.h"

#include <algorithm>
#include <utility>

namespace kyr::setup {

namespace {

std::string withText(std::string_view format, std::string_view text)
{
    std::string out(format);
    auto at = out.find("%s");
    if (at != std::string::npos)
        out.replace(at, 2, text);
    return out;
}

// Characters, not bytes: a UTF-8 continuation byte starts none.
int textLength(std::string_view text)
{
    return static_cast<int>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

} // namespace

bool Outcome::empty() const
{
    return !send && !store && !putBack && !message && !refusal && !markWritten && !rpmRange && !marker && !jet
        && texts.empty() && enables.empty();
}

struct SetupEngine::Read {
    std::optional<Decimal> value;
    std::optional<std::string> message;
    bool outOfRange = false;
};

SetupEngine::SetupEngine(std::string decimalSeparator)
    : m_separator(std::move(decimalSeparator))
    , m_fields(fieldTable().size())
    , m_switches(switchTable().size(), 0)
    , m_switchEnabled(switchTable().size(), true)
{
    m_copy.fill(1); // raw 0 everywhere until a table is taken in
}

void SetupEngine::setEditsLive() { m_live = true; }

// ------------------------------------------------------------------ fields

Outcome SetupEngine::commitText(table::SetupParam field, std::string_view text)
{
    const FieldDef* f = fieldByParam(field);
    if (!f)
        return {};
    FieldState& st = m_fields[fieldIndex(*f)];
    if (st.text == text)
        return {};
    if (!m_live || !st.enabled) {
        st.text = std::string(text);
        return {};
    }
    if (text.empty() && f->silentEmpty) {
        // Nothing entered: the unit keeps its value, and the field shows it again.
        st.text = st.lastAccepted;
        Outcome out;
        out.putBack = st.text;
        return out;
    }
    if (text.empty())
        return refuse(*f, st, text, withText(IntegerMessage, text));
    Read r = read(*f, text);
    if (r.message)
        return refuse(*f, st, text, std::move(r.message));
    if (f->maxLength > 0 && textLength(text) > f->maxLength)
        return refuse(*f, st, text, std::nullopt);
    std::optional<int> byte = r.outOfRange ? std::nullopt : byteFor(*f, r);
    if (!byte)
        return refuse(*f, st, text, std::nullopt);
    st.text = std::string(text);
    return accept(*f, st, r, *byte);
}

SetupEngine::Read SetupEngine::read(const FieldDef& f, std::string_view text) const
{
    Read r;
    const long long hi = f.upper == Upper::RpmRange ? m_rpmRange : f.hi;
    if (f.parse == Parse::Integer) {
        auto n = parseInteger(text);
        if (!n) {
            r.message = withText(IntegerMessage, text);
            return r;
        }
        r.value = decimalOf(*n);
    } else {
        auto d = parseDecimal(text, m_separator);
        if (!d) {
            r.message = withText(FloatMessage, text);
            return r;
        }
        r.value = *d;
        if (f.parse == Parse::DecimalRangeThenInteger) {
            // The range is judged on the decimal before the text must be a whole number.
            if (!inRange(*d, f.lo, hi)) {
                r.outOfRange = true;
                return r;
            }
            auto n = parseInteger(text);
            if (!n) {
                r.message = withText(IntegerMessage, text);
                return r;
            }
            r.value = decimalOf(*n);
        }
    }
    r.outOfRange = !inRange(*r.value, f.lo, hi);
    return r;
}

std::optional<int> SetupEngine::byteFor(const FieldDef& f, const Read& r) const
{
    // Only values inside the field's range (at most 10000) get here, so the
    // exact arithmetic cannot overflow.
    auto [num, den] = scaleFactor(effectiveScale(f, outputSource(f.output)));
    long long byte = scaleRound(*r.value, num, den);
    if (byte < 0 || byte > table::MaxRawSent)
        return std::nullopt; // never sent wrapped, never as the "absent" 254
    return static_cast<int>(byte);
}

// A value the field does not take, or a text that is no number, sends
// nothing: the unit keeps what it has and the field shows its last accepted
// value again, with why in the refusal.
Outcome SetupEngine::refuse(const FieldDef& f, FieldState& st, std::string_view text,
                            std::optional<std::string> message)
{
    Outcome out;
    out.refusal = explain(f, text, message);
    st.text = st.lastAccepted;
    out.putBack = st.text;
    out.message = std::move(message);
    return out;
}

std::string SetupEngine::explain(const FieldDef& f, std::string_view text,
                                 const std::optional<std::string>& message) const
{
    std::string why = message ? *message : std::string(text) + " is refused";
    why += ": ";
    why += trimmed(f.label);
    why += " takes " + rangeText(f);
    if (!message && f.maxLength > 0 && textLength(text) > f.maxLength)
        why += ", at most " + std::to_string(f.maxLength) + " characters";
    return why;
}

std::string SetupEngine::acceptedRange(table::SetupParam field) const
{
    const FieldDef* f = fieldByParam(field);
    return f ? rangeText(*f) : std::string();
}

std::string SetupEngine::rangeText(const FieldDef& f) const
{
    return fieldRange(f, outputSource(f.output), m_rpmRange, m_separator);
}

Outcome SetupEngine::accept(const FieldDef& f, FieldState& st, const Read& r, int byte)
{
    const int offset = fieldOffset(f);
    Outcome out;
    out.send = ByteWrite{offset, static_cast<uint8_t>(byte)};
    out.store = Store{offset, static_cast<uint8_t>(byte + 1)};
    m_copy[offset] = static_cast<uint8_t>(byte + 1);
    st.lastAccepted = st.text;
    // The jets, like the quiet fields, leave "Read from KYR" and "Write to KYR" as they are.
    out.markWritten = f.kind != Kind::Quiet && f.effect != Effect::Jet;
    switch (f.effect) {
    case Effect::RpmRange: {
        // The field is an integer field, so the value is whole.
        const int typed = static_cast<int>(r.value->units / Decimal::One);
        m_rpmRange = byte == 0 ? DefaultRpmRange : typed;
        out.rpmRange = m_rpmRange;
        break;
    }
    case Effect::VacuumLow:
        out.marker = VacuumMarker{VacuumMarkerId::Low, r.value->toDouble()};
        break;
    case Effect::VacuumHigh:
        out.marker = VacuumMarker{VacuumMarkerId::High, r.value->toDouble()};
        break;
    case Effect::Jet:
        out.jet = JetPosition{f.param, JetPositionBase - byte};
        break;
    case Effect::None:
        break;
    }
    return out;
}

int SetupEngine::outputSource(int output) const
{
    if (output != 1 && output != 2)
        return SourceNone;
    return rawAt(table::setupOffset(outputSourceParam(output)));
}

std::string SetupEngine::displayText(const FieldDef& f) const
{
    const int offset = fieldOffset(f);
    if (!present(offset))
        return {};
    int raw = rawAt(offset);
    if (raw == 0 && f.zeroShowsAs != 0)
        raw = f.zeroShowsAs;
    if (f.scale == Scale::Output) {
        const int source = outputSource(f.output);
        if (source < SourceRpm || source >= OutputSourceCount)
            return "0"; // no source: nothing to limit
        return shownText(effectiveScale(f, source), raw, m_separator);
    }
    return shownText(f.scale, raw, m_separator);
}

void SetupEngine::showField(const FieldDef& f, FieldState& st)
{
    st.text = displayText(f);
    st.lastAccepted = st.text;
    st.enabled = present(fieldOffset(f)) && rulesAllow(f.param, m_copy);
}

std::string SetupEngine::text(table::SetupParam field) const
{
    const FieldDef* f = fieldByParam(field);
    return f ? m_fields[fieldIndex(*f)].text : std::string();
}

std::string SetupEngine::lastAccepted(table::SetupParam field) const
{
    const FieldDef* f = fieldByParam(field);
    return f ? m_fields[fieldIndex(*f)].lastAccepted : std::string();
}

bool SetupEngine::enabled(const SetupControl& control) const
{
    if (const auto* p = std::get_if<table::SetupParam>(&control))
        if (const FieldDef* f = fieldByParam(*p))
            return m_fields[fieldIndex(*f)].enabled;
    if (const auto* w = std::get_if<SwitchId>(&control))
        return m_switchEnabled[static_cast<int>(*w)];
    return false;
}

void SetupEngine::recordSent(const ByteWrite& write)
{
    if (write.offset >= 0 && write.offset < table::SetupSize)
        m_copy[write.offset] = static_cast<uint8_t>(write.value + 1);
}

// ------------------------------------------------------------------ filling

FillResult SetupEngine::fill(const table::SetupCopy& copy)
{
    m_copy = copy;
    FillResult r;
    for (const auto& f : fieldTable()) {
        FieldState& st = m_fields[fieldIndex(f)];
        showField(f, st);
        r.fields.push_back({f.param, st.text, st.enabled});
    }
    const table::SetupDef& range = table::setupDef(table::SetupParam::RpmRange);
    const int rangeRaw = rawAt(range.offset);
    m_rpmRange = present(range.offset) && rangeRaw > 0 ? rangeRaw * 100 : DefaultRpmRange;
    r.rpmRange = m_rpmRange;
    fillSwitches(r);
    fillEffects(r);
    for (const auto& rule : enableRules())
        r.enables.push_back({rule.control,
                             rulesAllow(rule.control, m_copy) && controlPresent(rule.control, m_copy)});
    return r;
}

void SetupEngine::fillSwitches(FillResult& r)
{
    for (const auto& s : switchTable()) {
        const int i = switchIndex(s);
        const int offset = table::setupOffset(s.param);
        m_switches[i] = switchState(s, rawAt(offset));
        m_switchEnabled[i] = present(offset) && rulesAllow(s.id, m_copy);
        r.switches.push_back({s.id, m_switches[i], m_switchEnabled[i]});
        if (!s.display)
            continue;
        const bool shown = present(offset);
        r.texts.push_back({*s.display, shown ? switchDisplayText(s, m_switches[i], m_separator) : ""});
        if (s.type == SwitchType::LambdaTarget)
            r.texts.push_back({SetupText::LambdaLabel, shown ? lambdaLabelText(m_switches[i]) : ""});
    }
}

void SetupEngine::fillEffects(FillResult& r) const
{
    for (const auto& f : fieldTable()) {
        const int offset = fieldOffset(f);
        if (!present(offset))
            continue;
        if (f.effect == Effect::Jet) {
            r.jets.push_back({f.param, JetPositionBase - rawAt(offset)});
        } else if (f.effect == Effect::VacuumLow || f.effect == Effect::VacuumHigh) {
            int raw = rawAt(offset);
            if (raw == 0 && f.zeroShowsAs != 0)
                raw = f.zeroShowsAs;
            auto which = f.effect == Effect::VacuumLow ? VacuumMarkerId::Low : VacuumMarkerId::High;
            r.markers.push_back({which, raw / 100.0});
        }
    }
}

// ------------------------------------------------------------------ switches

Outcome SetupEngine::switchChanged(SwitchId id, int state)
{
    const SwitchDef* s = &switchDef(id);
    const int i = switchIndex(*s);
    if (s->type == SwitchType::Source && state == 0) {
        m_switches[i] = 0; // the button losing its check; the one gaining it acts
        return {};
    }
    if (m_switches[i] == state)
        return {};
    if (s->type == SwitchType::Source)
        for (const auto& other : switchTable())
            if (other.param == s->param)
                m_switches[switchIndex(other)] = 0;
    m_switches[i] = state;
    if (!m_live || !m_switchEnabled[i])
        return {};
    auto value = switchValue(*s, state);
    if (!value || *value > table::MaxRawSent)
        return {};
    return sendSwitch(*s, *value);
}

Outcome SetupEngine::sendSwitch(const SwitchDef& s, int value)
{
    const int offset = table::setupOffset(s.param);
    Outcome out;
    out.send = ByteWrite{offset, static_cast<uint8_t>(value)};
    out.store = Store{offset, static_cast<uint8_t>(value + 1)};
    // A switch is stored and sent; it leaves "Read from KYR" and "Write to KYR"
    // as they are. The lambda target's track bar is an edit like a field's.
    out.markWritten = s.type == SwitchType::LambdaTarget;
    m_copy[offset] = static_cast<uint8_t>(value + 1);
    const int position = m_switches[switchIndex(s)];
    if (s.display)
        out.texts.push_back({*s.display, switchDisplayText(s, position, m_separator)});
    if (s.type == SwitchType::LambdaTarget)
        out.texts.push_back({SetupText::LambdaLabel, lambdaLabelText(position)});
    if (s.param == outputSourceParam(1) || s.param == outputSourceParam(2))
        reshowOutput(s.param == outputSourceParam(2) ? 2 : 1, out);
    out.enables = applyRules(s.param);
    return out;
}

void SetupEngine::reshowOutput(int output, Outcome& out)
{
    // The stored limits are shown in the new source's units; nothing is sent.
    for (const auto& f : fieldTable()) {
        if (f.output != output)
            continue;
        FieldState& st = m_fields[fieldIndex(f)];
        showField(f, st);
        out.texts.push_back({f.param, st.text});
    }
}

std::vector<EnableUpdate> SetupEngine::applyRules(table::SetupParam changed)
{
    std::vector<EnableUpdate> updates;
    for (const auto& rule : enableRules()) {
        if (rule.when != changed)
            continue;
        bool on = rulesAllow(rule.control, m_copy) && controlPresent(rule.control, m_copy);
        if (const auto* p = std::get_if<table::SetupParam>(&rule.control))
            if (const FieldDef* f = fieldByParam(*p))
                m_fields[fieldIndex(*f)].enabled = on;
        if (const auto* w = std::get_if<SwitchId>(&rule.control))
            m_switchEnabled[static_cast<int>(*w)] = on;
        updates.push_back({rule.control, on});
    }
    return updates;
}

} // namespace kyr::setup
