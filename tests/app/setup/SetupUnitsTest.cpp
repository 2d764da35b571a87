// SPDX-License-Identifier: GPL-3.0-or-later
// Units, meanings and ranges on the window: every setup field's tooltip and
// unit label, an output's following its source, and the chart axes and
// read-outs in their units.

#include "setup/SetupPageFixture.h"
#include "window/AppFixture.h"

#include "app/common/ControlNames.h"
#include "app/maps/ChartReadout.h"
#include "app/maps/MapChartView.h"
#include "app/window/EFICom.h"
#include "maps/Charts.h"
#include "setup/Fields.h"

#include <QLabel>
#include <QRadioButton>
#include <QValueAxis>

using namespace kyr;
using namespace kyr::apptest;

namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

} // namespace

TEST_F(WindowTest, EveryFieldSaysItsUnitAndRangeAndEveryAxisItsUnit)
{
    connectedWindow();
    int checked = 0;
    for (const auto& f : setup::fieldTable()) {
        auto* edit = qobject_cast<QLineEdit*>(control(app::controlName(f.param)));
        if (!edit)
            continue;
        ++checked;
        const QString tip = edit->toolTip();
        EXPECT_TRUE(tip.contains(QStringLiteral("Range: "))) << app::controlName(f.param).toStdString() << ": " << tip.toStdString();
        EXPECT_TRUE(tip.contains(qs(f.meaning))) << app::controlName(f.param).toStdString();
        const QString unit = qs(setup::fieldUnit(f, window->model().setupEngine().outputSource(f.output)));
        if (unit.isEmpty())
            continue;
        EXPECT_TRUE(tip.contains(unit)) << app::controlName(f.param).toStdString() << ": " << tip.toStdString();
        // The Setup page's fields show it beside them; the jets have none.
        if (auto* label = window->findChild<QLabel*>(app::controlName(f.param) + QStringLiteral("Unit")))
            EXPECT_EQ(label->text(), unit) << app::controlName(f.param).toStdString();
        else
            ADD_FAILURE() << app::controlName(f.param).toStdString() << " has no unit label";
    }
    EXPECT_EQ(checked, static_cast<int>(setup::fieldTable().size())) << "every field has its widget";
    // The track bars and the edits that show their values say the same.
    for (const auto& s : setup::switchTable()) {
        EXPECT_FALSE(control(app::controlName(s.id))->toolTip().isEmpty()) << app::controlName(s.id).toStdString();
        if (!s.display)
            continue;
        const QString tip = control(app::controlName(s.id))->toolTip();
        EXPECT_TRUE(tip.contains(QStringLiteral("Range: "))) << app::controlName(s.id).toStdString() << ": " << tip.toStdString();
        EXPECT_EQ(control(app::controlName(*s.display))->toolTip(), tip) << app::controlName(*s.display).toStdString();
    }

    auto* temp = window->findChild<app::maps::MapChartView*>(QStringLiteral("TempChart"));
    ASSERT_NE(temp, nullptr);
    EXPECT_EQ(temp->bottomAxis()->titleText(), QString::fromUtf8("Water Temp (\u00b0C)"));
    EXPECT_EQ(temp->leftAxis()->titleText(), QStringLiteral("Correction (%)"));
    auto* timing = window->findChild<app::maps::MapChartView*>(QStringLiteral("TimingChart"));
    EXPECT_EQ(timing->bottomAxis()->titleText(), QStringLiteral("RPM x 100"));
    EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("Edit3Unit"))->text(), QStringLiteral("RPM"));
    EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("Edit2Unit"))->text(), QString::fromUtf8("\u00b0"));
}

TEST_F(WindowTest, TheAirTemperatureChartNamesTheUnitOfTheMapBeingEdited)
{
    connectedWindow();
    auto* air = window->findChild<app::maps::MapChartView*>(QStringLiteral("AirTmpChart"));
    ASSERT_NE(air, nullptr);
    EXPECT_EQ(air->leftAxis()->titleText(), QStringLiteral("Fuel (%)"));
    window->findChild<QRadioButton*>(QStringLiteral("RadioTiming"))->click();
    EXPECT_EQ(air->leftAxis()->titleText(), QString::fromUtf8("Timing (\u00b0)"));
    EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("Edit27Unit"))->text(), QString::fromUtf8("\u00b0"));
    window->findChild<QRadioButton*>(QStringLiteral("RadioFuel"))->click();
    EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("Edit27Unit"))->text(), QStringLiteral("%"));
}

TEST_F(SetupPageTest, AnOutputsTipAndUnitFollowItsSourceAndTheLimiterTheRpmRange)
{
    connectUnit();
    auto* unit = find<QLabel>("Edit16Unit");
    find<QRadioButton>("RadioButton1")->click(); // RPM
    EXPECT_EQ(unit->text(), "RPM");
    EXPECT_TRUE(find("Edit16")->toolTip().startsWith("Output 1 Min (RPM)\n"));
    find<QRadioButton>("RadioButton2")->click(); // Vacuum
    EXPECT_EQ(unit->text(), "bar");
    EXPECT_TRUE(find("Edit16")->toolTip().endsWith("Range: 0 to 2.53 bar"));
    EXPECT_TRUE(find("Edit17")->toolTip().startsWith("Output 1 Max (bar)\n"));

    enterInto("Edit13", "6000");
    EXPECT_TRUE(find("Edit20")->toolTip().endsWith("Range: 0 to 6000 RPM"));

    // Typing not yet sent says so; the field's own tip comes back once it is.
    typeInto("Edit14", "2");
    EXPECT_TRUE(find("Edit14")->toolTip().startsWith("Not sent yet"));
    QTest::keyClick(find("Edit14"), Qt::Key_Return);
    EXPECT_EQ(find("Edit14")->toolTip().toStdString(),
              setup::fieldTip(*setup::fieldByParam(table::SetupParam::CoilTime), setup::SourceNone, 6000));
}
