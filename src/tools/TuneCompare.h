// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Two tunes side by side: the setup values and map points in which they
// differ, each in the units the Setup page and the charts show. Pure
// functions of the two images; `kyr diff` prints the result and the window
// lists it beside its charts.

#include "table/Codec.h"
#include "table/Layout.h"

#include <string>
#include <string_view>
#include <vector>

namespace kyr::tools {

/// A setup value as the Setup page shows it.
struct ShownSetting {
    int stored = 0;       ///< the plus-one byte
    bool absent = false;  ///< stored 255: the unit lacks this setting
    bool known = true;    ///< false when absent, or a switch, choice or letter holds no valid value
    bool numeric = false; ///< number holds the value in the setting's unit
    double number = 0;
    std::string text;     ///< "2.5", "7000", "on", "Wasted Spark", "absent"
};

/// The shown form of a setup row in a plus-one image.
ShownSetting shownSetting(const table::SetupDef& d, const table::ImageBytes& plusOne);
/// The shown form of a switch, choice or letter row's raw value ("on",
/// "Wasted Spark", "A"; "unset (7)" and the like when it holds none).
ShownSetting shownChoice(const table::SetupDef& d, int raw);
/// The source setting of the output an output row's Min or Max belongs to; 0 for other rows.
int settingOutputSource(const table::SetupDef& d, const table::ImageBytes& plusOne);
/// The unit of a setup row in this image ("ms", "RPM", "bar", "°", "%"), "" for none.
std::string_view settingUnit(const table::SetupDef& d, const table::ImageBytes& plusOne);
/// What a tuner calls a setup row: its caption, with its panel where the
/// caption alone is ambiguous ("Idle Control RPM"), else its parameter text.
std::string settingName(const table::SetupDef& d);

/// A value with its unit: "2.5 ms", "7000 RPM", "28°", "on" (no unit: the text).
std::string withUnit(std::string_view text, std::string_view unit);
/// A number as the program shows it: whole numbers bare, others with up to
/// two decimals and no trailing zeros ("7000", "0.45", "-5").
std::string shownNumber(double value);
/// The unit of a map's values as its chart shows them: "°" or "%".
std::string_view pointUnit(table::MapId map);
/// A map value with its unit: "28°", "-5 %".
std::string pointValueText(table::MapId map, double value);
/// A point's x with its unit, as a tuner reads the chart: "3500 RPM", "0.45 bar",
/// "25 °C", "12 V".
std::string pointXText(table::MapId map, double x);
/// What a tuner calls a map: the chart's title with the curve's caption
/// ("Timing Map", "RPM Map, Cruise").
std::string mapName(table::MapId map);

/// A setup value that differs.
struct SettingDifference {
    const table::SetupDef* def = nullptr;
    std::string name;    ///< settingName(def)
    std::string unit;    ///< in mine's image (an output's unit follows its source)
    ShownSetting mine, other;
};

/// A map point that differs.
struct PointDifference {
    table::MapId map{};
    int index = 0;       ///< 1-based
    int offset = 0;      ///< table offset
    double x = 0;        ///< under mine's axes, in the chart's x units
    double otherX = 0;   ///< under the other tune's axes
    double mine = 0, other = 0;
};

/// A differing byte that no setup row or map point in use covers (stored form).
struct ByteDifference {
    int offset = 0;
    int mine = 0, other = 0;
};

/// What differs between two tunes.
struct TuneComparison {
    std::vector<SettingDifference> setup;
    std::vector<PointDifference> points;
    std::vector<ByteDifference> bytes;

    bool empty() const { return setup.empty() && points.empty() && bytes.empty(); }
};

/// Compares two plus-one images. The maps of either tune's unit type are
/// compared point by point (timing by RPM up to the larger point count); a
/// type code with no known unit type (0) has every map. Every other byte that
/// differs is listed as a byte.
TuneComparison compareTunes(const table::ImageBytes& minePlusOne, const table::ImageBytes& otherPlusOne,
                            int mineTypeCode = 0, int otherTypeCode = 0);
/// The same for two encoded tables.
TuneComparison compareTunes(const table::EncodedImage& mine, const table::EncodedImage& other,
                            int mineTypeCode = 0, int otherTypeCode = 0);

/// Whether a unit of this type code has the map (unknown codes have every map).
bool typeHasMap(int typeCode, const table::MapDef& map);

} // namespace kyr::tools
