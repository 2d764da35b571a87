// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rules of the Setup page in one engine. The page hands it a field's
// text once the edit is finished (Enter, Tab, the field left) or when the
// program sets a whole value, and every change of a switch, and applies what
// comes back: bytes to send, texts to set, controls to enable. The engine
// keeps the setup copy, so nothing else needs to store what an edit sends.
// A half-typed number is never judged: "6900" is one entry, not 6, 69, 690.
//
// Every text the engine hands back is one it knows already, so setting it
// runs nothing. A refused entry is answered at once, with why: it sends
// nothing, and the field shows its last accepted value again. A text that is
// no number, or an empty one, is handled the same way.
//
// A restore puts back the last accepted text as it was typed or shown, so a
// decimal field keeps its own format ("2.5" stays "2.5"). The RPM range in
// force is the last accepted "RPM Range", except that a value whose byte is
// 0 means 7000 to the unit and so to the limiter's bound as well.

#include "setup/ByteWrite.h"
#include "setup/Fields.h"
#include "setup/Switches.h"
#include "table/Codec.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kyr::setup {

/// A byte of the setup copy, plus-one form.
struct Store {
    int offset = 0;
    uint8_t plusOne = 0;
    bool operator==(const Store&) const = default;
};

struct TextUpdate {
    SetupControl control; ///< a field or a read-only text
    std::string text;
};

struct EnableUpdate {
    SetupControl control;
    bool enabled = false;
};

/// The outline bars of the fuel vacuum chart that mark the low and high throttle vacuum.
enum class VacuumMarkerId { Low, High };

/// A marker series emptied and given one point at (x, 0); x in bar.
struct VacuumMarker {
    VacuumMarkerId which = VacuumMarkerId::Low;
    double x = 0;
};

/// A jet track bar's new position.
struct JetPosition {
    table::SetupParam jet = table::SetupParam::MainJet; ///< MainJet or IdleJet
    int position = 0;
};

/// What one change of a field or switch asks of the page.
struct Outcome {
    std::optional<ByteWrite> send;        ///< send this WriteByte
    std::optional<Store> store;           ///< already applied to the engine's setup copy
    std::optional<std::string> putBack;   ///< the field shows this text now (the engine knows it)
    std::optional<std::string> message;   ///< the entry is no number: the conversion error
    std::optional<std::string> refusal;   ///< the entry was refused: why, with what the field takes
    bool markWritten = false;             ///< disable spRead, enable spWrite, image changed
    std::optional<int> rpmRange;          ///< the RPM range in force changed to this
    std::optional<VacuumMarker> marker;
    std::optional<JetPosition> jet;
    std::vector<TextUpdate> texts;        ///< texts to set; the engine already knows them
    std::vector<EnableUpdate> enables;    ///< enabled states to apply

    /// True when nothing at all is asked.
    bool empty() const;
};

struct FieldView {
    table::SetupParam param = table::SetupParam::Cylinders;
    std::string text;
    bool enabled = false;
};

struct SwitchView {
    SwitchId id = SwitchId::TpsSensor;
    int state = 0;        ///< widget state, see Switches.h
    bool enabled = false;
};

/// Everything the page shows for a setup copy.
struct FillResult {
    std::vector<FieldView> fields;      ///< every row of fieldTable(), in order
    std::vector<SwitchView> switches;   ///< every row of switchTable(), in order
    std::vector<TextUpdate> texts;      ///< read-only companions: track bar values, lambda volts and label
    std::vector<EnableUpdate> enables;  ///< every control named by the enable rules
    int rpmRange = 0;
    std::vector<VacuumMarker> markers;
    std::vector<JetPosition> jets;
};

/// The message texts, "%s" being the text typed.
constexpr std::string_view IntegerMessage = "'%s' is not a valid integer value";
constexpr std::string_view FloatMessage = "'%s' is not a valid floating point value";

/// The RPM range the unit uses when its range byte is 0.
constexpr int DefaultRpmRange = 7000;

class SetupEngine {
public:
    /// `decimalSeparator` is the system's, used to read and write decimal fields.
    explicit SetupEngine(std::string decimalSeparator = ".");

    /// Edits act from now on (a table has been taken in and shown); never undone.
    void setEditsLive();
    bool editsLive() const { return m_live; }

    /// Takes a setup copy in and returns what to show. Sends nothing and
    /// changes no byte: display defaults are shown only.
    FillResult fill(const table::SetupCopy& copy);

    /// A field's edit is finished with this text (Enter, Tab, the field
    /// left), or the program set a whole value. A text equal to the one the
    /// field holds is no change and does nothing.
    Outcome commitText(table::SetupParam field, std::string_view text);
    /// What a field takes now, with its unit: "1 to 12", "0 to 7000 RPM".
    std::string acceptedRange(table::SetupParam field) const;

    /// A switch's widget state changed (see Switches.h for the states).
    Outcome switchChanged(SwitchId id, int state);

    /// Records a WriteByte sent elsewhere (throttle calibration, serial
    /// number) in the setup copy.
    void recordSent(const ByteWrite& write);

    /// The setup copy, plus-one form.
    const table::SetupCopy& setupCopy() const { return m_copy; }
    /// The RPM range in force: the last accepted "RPM Range" (7000 for a stored 0).
    int rpmRange() const { return m_rpmRange; }
    /// The text the engine believes a field shows ("" for a parameter without a field).
    std::string text(table::SetupParam field) const;
    /// The last accepted text of a field, as it was typed or shown.
    std::string lastAccepted(table::SetupParam field) const;
    /// Whether a field or switch is enabled.
    bool enabled(const SetupControl& control) const;
    /// The source code of output 1 or 2 as stored (may be out of 0..6).
    int outputSource(int output) const;
    const std::string& decimalSeparator() const { return m_separator; }

private:
    struct FieldState {
        std::string text;
        std::string lastAccepted;
        bool enabled = true;
    };
    struct Read; // the value of a text, or why there is none

    int rawAt(int offset) const { return static_cast<int>(m_copy[offset]) - 1; }
    bool present(int offset) const { return m_copy[offset] != table::AbsentPlusOne; }
    std::string displayText(const FieldDef& f) const;
    void showField(const FieldDef& f, FieldState& st);
    Read read(const FieldDef& f, std::string_view text) const;
    std::optional<int> byteFor(const FieldDef& f, const Read& r) const;
    Outcome refuse(const FieldDef& f, FieldState& st, std::string_view text, std::optional<std::string> message);
    std::string explain(const FieldDef& f, std::string_view text, const std::optional<std::string>& message) const;
    std::string rangeText(const FieldDef& f) const;
    Outcome accept(const FieldDef& f, FieldState& st, const Read& r, int byte);
    Outcome sendSwitch(const SwitchDef& s, int value);
    void reshowOutput(int output, Outcome& out);
    std::vector<EnableUpdate> applyRules(table::SetupParam changed);
    void fillSwitches(FillResult& r);
    void fillEffects(FillResult& r) const;

    std::string m_separator;
    table::SetupCopy m_copy{};
    bool m_live = false;
    int m_rpmRange = DefaultRpmRange;
    std::vector<FieldState> m_fields;
    std::vector<int> m_switches;
    std::vector<bool> m_switchEnabled;
};

} // namespace kyr::setup
