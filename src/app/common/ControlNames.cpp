// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/common/ControlNames.h"

#include "setup/Fields.h"

#include <QWidget>

#include <algorithm>
#include <set>
#include <string>

namespace kyr::app {

namespace {

using P = kyr::table::SetupParam;
using W = kyr::setup::SwitchId;
using X = kyr::setup::SetupText;
using B = kyr::setup::SetupButton;
using F = kyr::tools::SerialField;
using C = kyr::table::ChartId;
using M = kyr::table::MapId;

struct FieldName {
    kyr::table::SetupParam field;
    const char* name;
};
struct SwitchName {
    kyr::setup::SwitchId id;
    const char* name;
};
struct TextName {
    kyr::setup::SetupText text;
    const char* name;
};
struct ButtonName {
    kyr::setup::SetupButton button;
    const char* name;
};
struct JetName {
    kyr::table::SetupParam jet;
    const char* name;
};
struct SerialName {
    kyr::tools::SerialField field;
    const char* name;
};

// The Setup page's fields, in the order of the field table; the two jets are
// on the "Fuel Maps" page.
constexpr FieldName kFields[] = {
    {.field = P::Cylinders, .name = "Edit12"},
    {.field = P::RpmLimiter, .name = "Edit20"},
    {.field = P::CoilTime, .name = "Edit14"},
    {.field = P::MapSensor, .name = "Edit15"},
    {.field = P::RpmRange, .name = "Edit13"},
    {.field = P::GearTeeth, .name = "Edit34"},
    {.field = P::TrailingDeg, .name = "Edit59"},
    {.field = P::TimingSensor, .name = "Edit100"},
    {.field = P::StartEnrich, .name = "Edit35"},
    {.field = P::MaxFueling, .name = "Edit36"},
    {.field = P::StartPrime, .name = "Edit33"},
    {.field = P::FuelCutTps, .name = "Edit56"},
    {.field = P::FuelCutVac, .name = "Edit57"},
    {.field = P::FuelCutRpm, .name = "Edit41"},
    {.field = P::LaunchRpm, .name = "Edit53"},
    {.field = P::LaunchTiming, .name = "Edit54"},
    {.field = P::LaunchFuel, .name = "Edit55"},
    {.field = P::IdleRpm, .name = "Edit39"},
    {.field = P::IdleStart, .name = "Edit40"},
    {.field = P::IdleUp, .name = "Edit61"},
    {.field = P::IdleDown, .name = "Edit62"},
    {.field = P::LambdaPercent, .name = "Edit49"},
    {.field = P::LambdaDelay, .name = "Edit50"},
    {.field = P::LambdaVariable, .name = "Edit51"},
    {.field = P::LowThrottleVac, .name = "Edit37"},
    {.field = P::HighThrottleVac, .name = "Edit38"},
    {.field = P::Out1Min, .name = "Edit16"},
    {.field = P::Out1Max, .name = "Edit17"},
    {.field = P::Out2Min, .name = "Edit1"},
    {.field = P::Out2Max, .name = "Edit24"},
    {.field = P::WaterCal, .name = "Edit52"},
    {.field = P::LambdaCal, .name = "Edit58"},
    {.field = P::AirCal, .name = "Edit60"},
    {.field = P::MainJet, .name = "Edit28"},
    {.field = P::IdleJet, .name = "Edit32"},
};

constexpr SwitchName kSwitches[] = {
    {.id = W::TpsSensor, .name = "CheckBox1"},
    {.id = W::WaterSensor, .name = "CheckBox6"},
    {.id = W::AirSensor, .name = "CheckBox4"},
    {.id = W::LambdaSensor, .name = "CheckBox2"},
    {.id = W::MapSensor, .name = "CheckBox5"},
    {.id = W::TdcSensor, .name = "CheckBox3"},
    {.id = W::TwoStroke, .name = "CheckBox20"},
    {.id = W::Out1None, .name = "RadioButton7"},
    {.id = W::Out1Rpm, .name = "RadioButton1"},
    {.id = W::Out1Vacuum, .name = "RadioButton2"},
    {.id = W::Out1Tps, .name = "RadioButton3"},
    {.id = W::Out1Lambda, .name = "RadioButton4"},
    {.id = W::Out1Water, .name = "RadioButton5"},
    {.id = W::Out1Air, .name = "RadioButton6"},
    {.id = W::Out2None, .name = "RadioButton11"},
    {.id = W::Out2Rpm, .name = "RadioButton8"},
    {.id = W::Out2Vacuum, .name = "RadioButton9"},
    {.id = W::Out2Tps, .name = "RadioButton10"},
    {.id = W::Out2Lambda, .name = "RadioButton12"},
    {.id = W::Out2Water, .name = "RadioButton13"},
    {.id = W::Out2Air, .name = "RadioButton14"},
    {.id = W::AccPumpMode, .name = "RadioGroup2"},
    {.id = W::CoilCombination, .name = "RadioGroup3"},
    {.id = W::TuningPot, .name = "RadioGroup4"},
    {.id = W::AccMapSens, .name = "TrackBar3"},
    {.id = W::AccMapEnrich, .name = "TrackBar4"},
    {.id = W::AccMapMaxRpm, .name = "TrackBar5"},
    {.id = W::AccTpsSens, .name = "TrackBar2"},
    {.id = W::AccTpsEnrich, .name = "TrackBar1"},
    {.id = W::AccTpsMaxRpm, .name = "TrackBar6"},
    {.id = W::LambdaTarget, .name = "TrackBar7"},
};

// The read-only texts beside the track bars; the lambda target's label
// stands on the lambda gauge of the live page.
constexpr TextName kTexts[] = {
    {.text = X::AccMapSensValue, .name = "Edit46"},
    {.text = X::AccMapEnrichValue, .name = "Edit47"},
    {.text = X::AccMapMaxRpmValue, .name = "Edit42"},
    {.text = X::AccTpsSensValue, .name = "Edit44"},
    {.text = X::AccTpsEnrichValue, .name = "Edit45"},
    {.text = X::AccTpsMaxRpmValue, .name = "Edit43"},
    {.text = X::LambdaVolts, .name = "Edit48"},
    {.text = X::LambdaLabel, .name = "Label6"},
};

constexpr ButtonName kButtons[] = {
    {.button = B::CalibrateThrottle, .name = "CalBtn"},
    {.button = B::CalibrateWater, .name = "Button1"},
    {.button = B::CalibrateAir, .name = "Button2"},
    {.button = B::CalibrateMap, .name = "Button3"},
};

constexpr JetName kJets[] = {
    {.jet = P::MainJet, .name = "MainJetAdjust"},
    {.jet = P::IdleJet, .name = "IdleJetAdjust"},
};

// The serial-number dialog is a form of its own: its names may repeat the main window's.
constexpr SerialName kSerial[] = {
    {.field = F::Letter1, .name = "Edit1"},
    {.field = F::Letter2, .name = "Edit6"},
    {.field = F::Number1, .name = "Edit2"},
    {.field = F::Number2, .name = "Edit3"},
    {.field = F::Number3, .name = "Edit4"},
    {.field = F::Hardware, .name = "Edit5"},
};

// Each chart's bars come first, then its curves, in the order the chart
// keeps its series.
constexpr ChartLook kCharts[] = {
    {.chart = C::Timing, .object = "TimingChart", .valueField = "Edit2", .positionField = "Edit3",
     .cursorSeries = 0, .liveSeries = 1, .lowVacSeries = -1, .highVacSeries = -1},
    {.chart = C::Vacuum, .object = "VacuumChart", .valueField = "Edit4", .positionField = "Edit5",
     .cursorSeries = 0, .liveSeries = 1, .lowVacSeries = -1, .highVacSeries = -1},
    {.chart = C::FuelVac, .object = "FuelVacChart", .valueField = "Edit22", .positionField = "Edit23",
     .cursorSeries = 2, .liveSeries = 3, .lowVacSeries = 0, .highVacSeries = 1},
    {.chart = C::FuelRpm, .object = "FuelRPMChart", .valueField = "Edit19", .positionField = "Edit21",
     .cursorSeries = 0, .liveSeries = 1, .lowVacSeries = -1, .highVacSeries = -1},
    {.chart = C::Temp, .object = "TempChart", .valueField = "Edit25", .positionField = "Edit26",
     .cursorSeries = 0, .liveSeries = 1, .lowVacSeries = -1, .highVacSeries = -1},
    {.chart = C::AirTmp, .object = "AirTmpChart", .valueField = "Edit27", .positionField = "Edit29",
     .cursorSeries = 0, .liveSeries = 1, .lowVacSeries = -1, .highVacSeries = -1},
    {.chart = C::Voltage, .object = "VoltageChart", .valueField = "Edit30", .positionField = "Edit31",
     .cursorSeries = 0, .liveSeries = 1, .lowVacSeries = -1, .highVacSeries = -1},
};

constexpr CurveLook kCurves[] = {
    {.map = M::TimingRpm, .series = 2, .colour = "red"},
    {.map = M::TimingVac, .series = 2, .colour = "red"},
    {.map = M::FuelVac, .series = 4, .colour = "red"},
    {.map = M::FuelCruise, .series = 2, .colour = "red"},
    {.map = M::WaterTemp, .series = 2, .colour = "blue"},
    {.map = M::AirTempFuel, .series = 2, .colour = "green"},
    {.map = M::Voltage, .series = 2, .colour = "red"},
    {.map = M::FuelLow, .series = 3, .colour = "green"},
    {.map = M::FuelHigh, .series = 4, .colour = "navy"},
    {.map = M::AirTempTiming, .series = 3, .colour = "blue"},
};

template <class Rows, class Pred>
QString findName(const Rows& rows, Pred matches)
{
    for (const auto& r : rows)
        if (matches(r))
            return QString::fromLatin1(r.name);
    return {};
}

// How many rows name an id: the table is sound when each has exactly one.
template <class Rows, class Pred>
int rowsFor(const Rows& rows, Pred matches)
{
    return static_cast<int>(std::count_if(std::begin(rows), std::end(rows), matches));
}

void checkCount(QStringList& faults, int count, const QString& what)
{
    if (count != 1)
        faults << QStringLiteral("%1 has %2 controls").arg(what).arg(count);
}

// Every name the main window must hold.
QStringList windowNames()
{
    QStringList names;
    for (const auto& r : kFields)
        names << QString::fromLatin1(r.name);
    for (const auto& r : kSwitches)
        names << QString::fromLatin1(r.name);
    for (const auto& r : kTexts)
        names << QString::fromLatin1(r.name);
    for (const auto& r : kButtons)
        names << QString::fromLatin1(r.name);
    for (const auto& r : kJets)
        names << QString::fromLatin1(r.name);
    for (const auto& r : kCharts)
        names << QString::fromLatin1(r.object) << QString::fromLatin1(r.valueField)
              << QString::fromLatin1(r.positionField);
    return names;
}

void checkDistinct(QStringList& faults, const QStringList& names)
{
    std::set<QString> seen;
    for (const QString& n : names)
        if (!seen.insert(n).second)
            faults << QStringLiteral("%1 is named twice").arg(n);
}

// Each chart has one row, each map one curve, and no two series of a chart share a place.
void checkCharts(QStringList& faults)
{
    for (int i = 0; i < kyr::table::ChartCount; ++i)
        checkCount(faults, rowsFor(kCharts, [&](const ChartLook& r) { return static_cast<int>(r.chart) == i; }),
                   QStringLiteral("Chart %1").arg(i));
    for (int i = 0; i < kyr::table::MapCount; ++i)
        checkCount(faults, rowsFor(kCurves, [&](const CurveLook& r) { return static_cast<int>(r.map) == i; }),
                   QStringLiteral("Curve of map %1").arg(i));
    for (const auto& c : kCharts) {
        std::set<int> places;
        for (int s : {c.cursorSeries, c.liveSeries, c.lowVacSeries, c.highVacSeries})
            if (s >= 0 && !places.insert(s).second)
                faults << QStringLiteral("%1 has two bars at %2").arg(QString::fromLatin1(c.object)).arg(s);
        for (const auto& m : kyr::table::mapTable())
            if (m.chart == c.chart && !places.insert(curveLook(m.id).series).second)
                faults << QStringLiteral("%1 has two series at %2").arg(QString::fromLatin1(c.object)).arg(curveLook(m.id).series);
    }
}

} // namespace

const ChartLook& chartLook(kyr::table::ChartId chart)
{
    for (const auto& r : kCharts)
        if (r.chart == chart)
            return r;
    return kCharts[0]; // unreachable: every chart has a row (checked at start-up)
}

const CurveLook& curveLook(kyr::table::MapId map)
{
    for (const auto& r : kCurves)
        if (r.map == map)
            return r;
    return kCurves[0]; // unreachable: every map has a row (checked at start-up)
}

std::optional<kyr::table::ChartId> chartOfObject(const QString& object)
{
    for (const auto& r : kCharts)
        if (object == QLatin1String(r.object))
            return r.chart;
    return std::nullopt;
}

QString controlName(kyr::table::SetupParam field)
{
    return findName(kFields, [&](const FieldName& r) { return r.field == field; });
}

QString controlName(kyr::setup::SwitchId id)
{
    return findName(kSwitches, [&](const SwitchName& r) { return r.id == id; });
}

QString controlName(kyr::setup::SetupText text)
{
    return findName(kTexts, [&](const TextName& r) { return r.text == text; });
}

QString controlName(kyr::setup::SetupButton button)
{
    return findName(kButtons, [&](const ButtonName& r) { return r.button == button; });
}

QString controlName(const kyr::setup::SetupControl& control)
{
    return std::visit([](auto id) { return controlName(id); }, control);
}

QString jetTrackBarName(kyr::table::SetupParam jet)
{
    return findName(kJets, [&](const JetName& r) { return r.jet == jet; });
}

QString controlName(kyr::tools::SerialField field)
{
    return findName(kSerial, [&](const SerialName& r) { return r.field == field; });
}

std::optional<kyr::table::SetupParam> fieldOfControl(const QString& name)
{
    for (const auto& r : kFields)
        if (name == QLatin1String(r.name))
            return r.field;
    return std::nullopt;
}

std::optional<kyr::setup::SwitchId> switchOfControl(const QString& name)
{
    for (const auto& r : kSwitches)
        if (name == QLatin1String(r.name))
            return r.id;
    return std::nullopt;
}

QStringList controlTableFaults()
{
    QStringList faults;
    for (const auto& f : kyr::setup::fieldTable())
        checkCount(faults, rowsFor(kFields, [&](const FieldName& r) { return r.field == f.param; }),
                   QStringLiteral("Field %1").arg(QString::fromUtf8(kyr::table::setupDef(f.param).parameter.data())));
    for (const auto& r : kFields)
        if (!kyr::setup::fieldByParam(r.field))
            faults << QStringLiteral("%1 edits no field").arg(QString::fromLatin1(r.name));
    for (int i = 0; i < kyr::setup::SwitchCount; ++i)
        checkCount(faults, rowsFor(kSwitches, [&](const SwitchName& r) { return static_cast<int>(r.id) == i; }),
                   QStringLiteral("Switch %1").arg(i));
    for (int i = 0; i < kyr::setup::SetupTextCount; ++i)
        checkCount(faults, rowsFor(kTexts, [&](const TextName& r) { return static_cast<int>(r.text) == i; }),
                   QStringLiteral("Text %1").arg(i));
    for (int i = 0; i < kyr::setup::SetupButtonCount; ++i)
        checkCount(faults, rowsFor(kButtons, [&](const ButtonName& r) { return static_cast<int>(r.button) == i; }),
                   QStringLiteral("Button %1").arg(i));
    for (const auto& f : kyr::setup::fieldTable())
        if (kyr::setup::isJet(f.param))
            checkCount(faults, rowsFor(kJets, [&](const JetName& r) { return r.jet == f.param; }),
                       QStringLiteral("Jet track bar of %1").arg(controlName(f.param)));
    for (int i = 0; i < kyr::tools::SerialFieldCount; ++i)
        checkCount(faults, rowsFor(kSerial, [&](const SerialName& r) { return static_cast<int>(r.field) == i; }),
                   QStringLiteral("Serial field %1").arg(i));
    checkCharts(faults);
    checkDistinct(faults, windowNames());
    QStringList serial;
    for (const auto& r : kSerial)
        serial << QString::fromLatin1(r.name);
    checkDistinct(faults, serial);
    return faults;
}

QStringList missingControls(const QWidget& form)
{
    QStringList missing;
    for (const QString& name : windowNames())
        if (!form.findChild<QWidget*>(name))
            missing << name;
    return missing;
}

void verifyControlNames(const QWidget& form)
{
    const QStringList faults = controlTableFaults() + missingControls(form);
    if (!faults.isEmpty())
        qFatal("The control names do not fit the window: %s", qPrintable(faults.join(QStringLiteral("; "))));
}

} // namespace kyr::app
