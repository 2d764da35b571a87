// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A map file as the tool shows it: the identity, the vehicle information,
// every setup parameter in its shown units and every map of the unit's groups
// as (x, value) points; and the differences between two such files. Plain
// data, rendered as text or JSON by Output.h.

#include "files/MapFile.h"
#include "table/Codec.h"
#include "table/Layout.h"
#include "tools/TuneCompare.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace kyr::cli {

/// The unit's identity as the tool reports it.
struct IdentityView {
    std::array<uint8_t, 7> bytes{};
    int model = 0;
    std::string version;  ///< "3.2": byte 1 "." byte 2
    int typeCode = 0;
    std::string typeName; ///< empty for an unknown type code
    std::string serial;   ///< "AB-012345-06"
};

/// How a setup value is shown.
enum class ValueKind { Number, Switch, Choice, Char };

/// One setup parameter.
struct SetupValue {
    const table::SetupDef* def = nullptr;
    std::string name;   ///< snake_case identifier made from the parameter text
    int stored = 0;     ///< the byte as the file stores it (plus-one form)
    int raw = 0;        ///< stored - 1
    bool absent = false;///< stored 255: the unit lacks this setting
    ValueKind kind = ValueKind::Number;
    double number = 0;  ///< Number: the shown value
    std::string text;   ///< the shown value as text ("7000", "on", "Wasted Spark", "A", "absent")
    bool known = true;  ///< false when a switch, choice or character holds no valid value

    /// Same shown value (and byte).
    bool sameAs(const SetupValue& other) const { return stored == other.stored && text == other.text; }
};

/// One map point.
struct MapPoint {
    int index = 0;  ///< 1-based
    int offset = 0; ///< table offset
    double x = 0;
    double value = 0;
};

/// One map with the points the charts show.
struct MapView {
    const table::MapDef* def = nullptr;
    std::string xUnit; ///< the chart's bottom axis title ("RPM x 100", "Bar")
    std::vector<MapPoint> points;
};

/// A whole map file as shown.
struct TuneView {
    IdentityView identity;
    std::string make, model, engine;
    table::Axes axes;
    std::vector<SetupValue> setup;
    bool allMaps = false; ///< the unit type is unknown, so every map is shown
    std::vector<MapView> maps;
};

/// The identity of an identity buffer and a plus-one setup area.
IdentityView identityOf(const std::array<uint8_t, 7>& bytes, const table::SetupCopy& setupPlusOne);
/// The snake_case identifier of a parameter text ("coil time (ms)" -> "coil_time_ms").
std::string snakeName(std::string_view text);
/// Every setup parameter of a plus-one image, in offset order.
std::vector<SetupValue> setupValues(const table::ImageBytes& plusOne);
/// Whether a unit of this type code has the map (unknown codes have every map).
bool typeHasMap(int typeCode, const table::MapDef& map);
/// A map's shown points: every place, except timing by RPM which shows its first N.
MapView mapView(const table::MapDef& map, const table::ImageBytes& plusOne, const table::Axes& axes);
/// The view of a map file.
TuneView tuneView(const files::MapFile& file);

// ---------------------------------------------------------------- differences

/// A differing identity or vehicle field, as text.
struct FieldChange {
    std::string field; ///< "model", "version", "unit_type", "identity_bytes", "make", "model", "engine"
    std::string a, b;
};

/// What differs between two map files: their identity and vehicle fields,
/// and the setup values, map points and bytes of their tunes.
struct FileDiff {
    std::vector<FieldChange> identity;
    std::vector<FieldChange> vehicle;
    tools::TuneComparison tune;

    bool empty() const { return identity.empty() && vehicle.empty() && tune.empty(); }
    std::size_t size() const
    {
        return identity.size() + vehicle.size() + tune.setup.size() + tune.points.size() + tune.bytes.size();
    }
};

/// Compares two map files: the maps of either file's unit type are compared
/// point by point (timing by RPM up to the larger N); every other byte that
/// differs is listed as a byte.
FileDiff diffFiles(const files::MapFile& a, const files::MapFile& b);

/// A number as the tool writes it: whole numbers without decimals, others with
/// up to `decimals` decimals and no trailing zeros ("7000", "0.45", "2.5").
std::string numberText(double value, int decimals = 4);
/// Text fit for a terminal and for JSON: well-formed UTF-8 characters stay;
/// control characters and every byte of a broken sequence become "?", one each.
std::string printable(std::string_view text);

} // namespace kyr::cli
