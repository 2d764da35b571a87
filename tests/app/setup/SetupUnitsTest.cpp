// SPDX-License-Identifier: GPL-3.0-or-later
// Units, meanings and ranges on the window: every setup field's tooltip and
// unit label, an output's following its source, and the chart axes and
// read-outs in their units.

#include "setup/SetupPageFixture.h"
#include "window/AppFixture.h"

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
        auto* edit = qobject_cast<QLineEdit*>(control(qs(f.control)));
        if (!edit)
            continue;
        ++checked;
        const QString tip = edit->toolTip();
        EXPECT_TRUE(tip.contains(QStringLiteral("Range: "))) << f.control << ": " << tip.toStdString();
        EXPECT_TRUE(tip.contains(qs(f.meaning))) << f.control;
        const QString unit = qs(setup::fieldUnit(f, window->model().setupEngine().outputSource(f.output)));
        if (unit.isEmpty())
            continue;
        EXPECT_TRUE(tip.contains(unit)) << f.control << ": " << tip.toStdString();
        // The Setup page's fields show it beside them; the jets have none.
        if (auto* label = window->findChild<QLabel*>(qs(f.control) + QStringLiteral("Unit")))
            EXPECT_EQ(label->text(), unit) << f.control;
        else
            ADD_FAILURE() << f.control << " has no unit label";
    }
    EXPECT_EQ(checked, static_cast<int>(setup::fieldTable().size())) << "every field has its widget";
    // The track bars and the edits that show their values say the same.
    for (const auto& s : setup::switchTable()) {
        EXPECT_FALSE(control(qs(s.control))->toolTip().isEmpty()) << s.control;
        if (s.display.empty())
            continue;
        const QString tip = control(qs(s.control))->toolTip();
        EXPECT_TRUE(tip.contains(QStringLiteral("Range: "))) << s.control << ": " << tip.toStdString();
        EXPECT_EQ(control(qs(s.display))->toolTip(), tip) << s.display;
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
              setup::fieldTip(*setup::fieldByControl("Edit14"), setup::SourceNone, 6000));
}
