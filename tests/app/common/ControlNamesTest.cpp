// SPDX-License-Identifier: GPL-3.0-or-later
// The table of control names: one control for every id, every control on the
// form, and the names the form had before the core spoke of meanings.
#include "app/common/ControlNames.h"
#include "setup/Fields.h"
#include "window/AppFixture.h"

#include <QDialog>
#include <QLineEdit>

#include <gtest/gtest.h>

using namespace kyr;
using P = table::SetupParam;
using W = setup::SwitchId;

namespace kyr::apptest {

TEST(ControlNames, EveryIdHasOneControlAndTheNamesMapBack)
{
    EXPECT_TRUE(app::controlTableFaults().isEmpty()) << app::controlTableFaults().join("; ").toStdString();
    for (const auto& f : setup::fieldTable()) {
        const QString name = app::controlName(f.param);
        ASSERT_FALSE(name.isEmpty()) << f.label;
        EXPECT_EQ(app::fieldOfControl(name), f.param) << name.toStdString();
        EXPECT_EQ(app::switchOfControl(name), std::nullopt) << name.toStdString();
    }
    for (int i = 0; i < setup::SwitchCount; ++i) {
        const auto id = static_cast<W>(i);
        EXPECT_EQ(app::switchOfControl(app::controlName(id)), id) << i;
    }
    EXPECT_TRUE(app::controlName(P::Setting85).isEmpty()) << "no field edits it";
    EXPECT_TRUE(app::controlName(P::TpsCalLow).isEmpty());
    EXPECT_EQ(app::fieldOfControl("Edit999"), std::nullopt);
}

// A row shifted by one would still pass the count: these pin the names the
// form's users and the tests of the window know.
TEST(ControlNames, TheFormKeepsItsNames)
{
    EXPECT_EQ(app::controlName(P::RpmLimiter), "Edit20");
    EXPECT_EQ(app::controlName(P::LaunchRpm), "Edit53");
    EXPECT_EQ(app::controlName(P::MaxFueling), "Edit36");
    EXPECT_EQ(app::controlName(P::Cylinders), "Edit12");
    EXPECT_EQ(app::controlName(P::Out2Min), "Edit1");
    EXPECT_EQ(app::controlName(P::MainJet), "Edit28");
    EXPECT_EQ(app::controlName(W::TpsSensor), "CheckBox1");
    EXPECT_EQ(app::controlName(W::Out1None), "RadioButton7");
    EXPECT_EQ(app::controlName(W::Out2Lambda), "RadioButton12");
    EXPECT_EQ(app::controlName(W::AccTpsEnrich), "TrackBar1");
    EXPECT_EQ(app::controlName(W::LambdaTarget), "TrackBar7");
    EXPECT_EQ(app::controlName(W::TuningPot), "RadioGroup4");
    EXPECT_EQ(app::controlName(setup::SetupText::LambdaVolts), "Edit48");
    EXPECT_EQ(app::controlName(setup::SetupText::LambdaLabel), "Label6");
    EXPECT_EQ(app::controlName(setup::SetupText::AccMapMaxRpmValue), "Edit42");
    EXPECT_EQ(app::controlName(setup::SetupButton::CalibrateThrottle), "CalBtn");
    EXPECT_EQ(app::controlName(setup::SetupButton::CalibrateMap), "Button3");
    EXPECT_EQ(app::controlName(setup::SetupControl(W::Out1Rpm)), "RadioButton1");
    EXPECT_EQ(app::jetTrackBarName(P::IdleJet), "IdleJetAdjust");
    EXPECT_TRUE(app::jetTrackBarName(P::Cylinders).isEmpty());
    EXPECT_EQ(app::controlName(tools::SerialField::Letter2), "Edit6");
    EXPECT_EQ(app::controlName(tools::SerialField::Hardware), "Edit5");
}

TEST(ControlNames, ChartsKeepTheirObjectsFieldsSeriesAndColours)
{
    using C = table::ChartId;
    using M = table::MapId;
    struct Row {
        C id;
        const char *object, *value, *position;
    };
    const Row rows[] = {
        {C::Timing, "TimingChart", "Edit2", "Edit3"},    {C::Vacuum, "VacuumChart", "Edit4", "Edit5"},
        {C::FuelVac, "FuelVacChart", "Edit22", "Edit23"}, {C::FuelRpm, "FuelRPMChart", "Edit19", "Edit21"},
        {C::Temp, "TempChart", "Edit25", "Edit26"},       {C::AirTmp, "AirTmpChart", "Edit27", "Edit29"},
        {C::Voltage, "VoltageChart", "Edit30", "Edit31"},
    };
    for (const auto& r : rows) {
        const app::ChartLook& look = app::chartLook(r.id);
        EXPECT_EQ(look.chart, r.id);
        EXPECT_STREQ(look.object, r.object);
        EXPECT_STREQ(look.valueField, r.value);
        EXPECT_STREQ(look.positionField, r.position);
        EXPECT_EQ(app::chartOfObject(r.object), r.id);
    }
    EXPECT_FALSE(app::chartOfObject("Chart1"));
    EXPECT_EQ(app::chartLook(C::FuelVac).cursorSeries, 2);
    EXPECT_EQ(app::chartLook(C::FuelVac).lowVacSeries, 0);
    EXPECT_EQ(app::chartLook(C::Timing).lowVacSeries, -1);
    EXPECT_EQ(app::curveLook(M::FuelCruise).series, 2);
    EXPECT_EQ(app::curveLook(M::FuelHigh).series, 4);
    EXPECT_STREQ(app::curveLook(M::FuelLow).colour, "green");
    EXPECT_STREQ(app::curveLook(M::FuelHigh).colour, "navy");
    EXPECT_STREQ(app::curveLook(M::WaterTemp).colour, "blue");
}

// The window checks its own form as it starts; here the check is seen to
// find what it must, and the serial-number dialog to hold its fields.
TEST_F(WindowTest, TheWindowAndTheSerialDialogHoldEveryNamedControl)
{
    makeWindow();
    EXPECT_TRUE(app::missingControls(*window).isEmpty()) << app::missingControls(*window).join(", ").toStdString();
    // 35 fields with the jets, 31 switches, 8 texts, 4 buttons, 2 jet track
    // bars, and 7 charts with their two read-out fields each.
    QWidget empty;
    const QStringList all = app::missingControls(empty);
    EXPECT_EQ(all.size(), 101);
    EXPECT_TRUE(all.contains("Edit20") && all.contains("Label6") && all.contains("MainJetAdjust"));
    QDialog* serial = window->dialogs()[4];
    for (int i = 0; i < tools::SerialFieldCount; ++i)
        EXPECT_NE(serial->findChild<QLineEdit*>(app::controlName(static_cast<tools::SerialField>(i))), nullptr) << i;
}

} // namespace kyr::apptest
