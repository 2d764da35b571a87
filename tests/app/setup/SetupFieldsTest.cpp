// SPDX-License-Identifier: GPL-3.0-or-later
// The Setup page's fields on the real widgets: what is built from the
// tables, what a fill shows (and that it sends nothing), and what a finished
// entry sends, puts back and reports.

#include "setup/SetupPageFixture.h"

#include "app/common/ControlNames.h"
#include "app/setup/SetupPanels.h"
#include "setup/Fields.h"
#include "setup/Switches.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>

using namespace kyr;
using namespace kyr::apptest;

namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

} // namespace

TEST_F(SetupPageTest, EveryControlOfTheTablesIsBuiltWithItsNameAndLimit)
{
    QStringList titles;
    for (auto* box : page->findChildren<QGroupBox*>())
        titles << box->title();
    for (const char* t : {"Engine Configuration", "Timing Configuration", "Fuel Configuration", "Launch Control",
                             "Idle Control", "Lambda Configuration", "Vacuum Configuration",
                             "General Purpose Output", "Output 1", "Output 2", "Active Sensors", "Accelerator Pump",
                             "Coil Combination", "Tuning POT Input"})
        EXPECT_TRUE(titles.contains(QString::fromLatin1(t))) << t;

    for (const auto& f : setup::fieldTable()) {
        if (f.panel == "Fuel Maps")
            continue; // the jet trims live on their own page
        auto* e = page->findChild<QLineEdit*>(app::controlName(f.param));
        ASSERT_NE(e, nullptr) << app::controlName(f.param).toStdString();
        EXPECT_EQ(e->maxLength(), 32767) << app::controlName(f.param).toStdString() << ": the engine judges the length, the widget cuts nothing";
        EXPECT_NE(binder->field(app::controlName(f.param)), nullptr) << app::controlName(f.param).toStdString();
        // The caption is the label whose buddy the field is (the hidden calibration fields have none).
        if (f.panel != "Active Sensors") {
            bool labelled = false;
            for (auto* l : page->findChildren<QLabel*>())
                labelled = labelled || (l->buddy() == e && l->text() == qs(f.label));
            EXPECT_TRUE(labelled) << app::controlName(f.param).toStdString();
        }
    }
    for (const auto& s : setup::switchTable()) {
        QWidget* w = page->findChild<QWidget*>(app::controlName(s.id));
        ASSERT_NE(w, nullptr) << app::controlName(s.id).toStdString();
        if (s.type == setup::SwitchType::Sensor) {
            EXPECT_EQ(qobject_cast<QCheckBox*>(w)->text(), qs(s.caption));
        }
        if (s.type == setup::SwitchType::Source) {
            EXPECT_EQ(qobject_cast<QRadioButton*>(w)->text(), qs(s.caption));
        }
        if (s.type == setup::SwitchType::Slider || s.type == setup::SwitchType::LambdaTarget) {
            auto* slider = qobject_cast<QSlider*>(w);
            ASSERT_NE(slider, nullptr) << app::controlName(s.id).toStdString();
            EXPECT_EQ(slider->minimum(), s.minimum);
            EXPECT_EQ(slider->maximum(), s.maximum);
            EXPECT_TRUE(find<QLineEdit>(app::controlName(*s.display).toStdString().c_str())->isReadOnly());
        }
    }
    auto* pot = find<app::setup::RadioGroup>("RadioGroup4");
    EXPECT_EQ(pot->title(), "Tuning POT Input");
    EXPECT_EQ(pot->item(4)->text(), "Launch");
    EXPECT_EQ(find<QPushButton>("CalBtn")->text(), "Calibrate");
}

TEST_F(SetupPageTest, ConnectFillsThePageAndSendsNothing)
{
    connectUnit();
    EXPECT_TRUE(takeWrites().empty()) << "showing a table is not an edit";
    EXPECT_EQ(text("Edit12"), "4");
    EXPECT_EQ(text("Edit13"), "7000");
    EXPECT_EQ(text("Edit14"), "3");
    EXPECT_EQ(text("Edit16"), "3000") << "output 1 runs on RPM";
    EXPECT_EQ(text("Edit1"), "80") << "output 2 runs on water temperature";
    EXPECT_TRUE(find<QRadioButton>("RadioButton1")->isChecked());
    EXPECT_TRUE(find<QRadioButton>("RadioButton13")->isChecked());
    EXPECT_TRUE(find<QCheckBox>("CheckBox6")->isChecked());
    EXPECT_FALSE(find<QCheckBox>("CheckBox20")->isChecked());
    EXPECT_EQ(find<app::setup::RadioGroup>("RadioGroup3")->itemIndex(), 1);
    EXPECT_EQ(find<QSlider>("TrackBar7")->value(), 45);
    EXPECT_EQ(text("Edit48"), "0.45");
    EXPECT_EQ(find<QLabel>("Label6")->text().toStdString(), ".45");
    EXPECT_FALSE(model.state().flags.ImageChanged);

    // Reading the table again fills again: still nothing on the line.
    link->connectUnit();
    waitIdle();
    EXPECT_TRUE(takeWrites().empty());
}

TEST_F(SetupPageTest, TypedCylindersAreSentOnceTheEditIsFinished)
{
    connectUnit();
    typeInto("Edit12", "12");
    EXPECT_TRUE(takeWrites().empty()) << "no half-typed 1 goes out";
    EXPECT_TRUE(pending("Edit12"));
    QTest::keyClick(find("Edit12"), Qt::Key_Return);
    EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(0x50, 0x0C)}));
    EXPECT_FALSE(pending("Edit12"));
    EXPECT_EQ(modelRaw(80), 12) << "the model's setup copy follows";
    EXPECT_EQ(model.state().image[80], 13) << "and its image";
    EXPECT_TRUE(model.state().flags.ImageChanged);
    EXPECT_FALSE(model.state().commands().readTable);
    EXPECT_TRUE(model.state().commands().writeTable);

    // "13" is refused: "12" is put back, and the unit keeps it.
    enterInto("Edit12", "13");
    EXPECT_TRUE(takeWrites().empty());
    EXPECT_EQ(text("Edit12"), "12");
    EXPECT_EQ(modelRaw(80), 12);
    // Enter on an unchanged value sends nothing.
    QTest::keyClick(find("Edit12"), Qt::Key_Return);
    EXPECT_TRUE(takeWrites().empty());
}

TEST_F(SetupPageTest, ARefusedEntryShowsTheLastValueAndSendsNothing)
{
    connectUnit();
    const std::string before = text("Edit35");
    enterInto("Edit35", "30");
    EXPECT_TRUE(takeWrites().empty());
    EXPECT_EQ(text("Edit35"), before);
    EXPECT_EQ(find("Edit35")->toolTip().toStdString(), "30 is refused: Start enrichment takes 0 to 25");
}

TEST_F(SetupPageTest, TextsThatAreNoNumbersAreExplainedBesideTheFieldAndNothingIsSent)
{
    connectUnit();
    typeInto("Edit12", "x");
    EXPECT_TRUE(sink.entries.empty()) << "no message box while typing";
    QTest::keyClick(find("Edit12"), Qt::Key_Return);
    enterInto("Edit14", "1,5"); // the separator here is "."
    enterInto("Edit53", "1500.5");
    EXPECT_TRUE(takeWrites().empty());
    EXPECT_TRUE(sink.entries.empty()) << "nor once the edit is finished";
    EXPECT_EQ(find("Edit12")->toolTip().toStdString(), "'x' is not a valid integer value: Cylinders takes 1 to 12");
    EXPECT_EQ(find("Edit14")->toolTip().toStdString(),
              "'1,5' is not a valid floating point value: Coil Time (ms) takes 0 to 100 ms");
    EXPECT_EQ(find("Edit53")->toolTip().toStdString(),
              "'1500.5' is not a valid integer value: RPM Limiter takes 0 to 10000 RPM");
    EXPECT_EQ(text("Edit12"), "4") << "the last accepted value comes back";
    EXPECT_EQ(modelRaw(80), 4);
    EXPECT_FALSE(model.state().flags.ImageChanged);
}

TEST_F(SetupPageTest, LambdaControlFieldsKeepTheirValueOutsideFiveToTwentyFive)
{
    connectUnit();
    for (const char* name : {"Edit50", "Edit51"}) {
        const int offset = name == std::string("Edit50") ? 12 : 13;
        enterInto(name, "12");
        EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(offset, 12)})) << name;
        for (const char* refused : {"30", "26", "4"}) {
            enterInto(name, refused);
            EXPECT_EQ(text(name), "12") << name << " " << refused;
        }
        EXPECT_TRUE(takeWrites().empty()) << name << ": never a 0 below the unit's range";
        EXPECT_EQ(modelRaw(offset), 12);
    }
    EXPECT_EQ(find("Edit50")->toolTip().toStdString(), "4 is refused: Control Delay takes 5 to 25");
}

TEST_F(SetupPageTest, DecimalFieldsRoundHalvesToEven)
{
    connectUnit();
    find("Edit14")->setText("1.25");
    find("Edit14")->setText("1.75");
    find("Edit13")->setText("3050");
    EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(0x52, 2), wb(0x52, 4), wb(0x51, 30)}));
}

TEST_F(SetupPageTest, AStoredValueWiderThanTheFieldIsShownWhole)
{
    unit.table[80] = 254; // raw 253 cylinders, three digits in a two-digit field
    connectUnit();
    QLineEdit* e = find("Edit12");
    EXPECT_EQ(e->text(), "253");
    EXPECT_TRUE(takeWrites().empty()) << "the widened text is the stored one: nothing to send";
    enterInto("Edit12", "5");
    EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(0x50, 5)}));
}

TEST_F(SetupPageTest, ABytePlusOne255LeavesItsFieldDisabledAndEmpty)
{
    unit.table[51] = 255; // no trailing degrees on this unit
    connectUnit();
    EXPECT_FALSE(find("Edit59")->isEnabled());
    EXPECT_TRUE(find("Edit59")->text().isEmpty());
    EXPECT_TRUE(takeWrites().empty());
}

TEST_F(SetupPageTest, NothingActsBeforeATableIsShown)
{
    find("Edit12")->setText("7");
    find("Edit33")->setText("x");
    waitIdle();
    EXPECT_TRUE(unit.device.writes().empty());
    EXPECT_TRUE(sink.entries.empty());
    EXPECT_FALSE(model.state().flags.ImageChanged);
}

TEST_F(SetupPageTest, AQuietFieldLeavesTheButtonsButMarksTheImage)
{
    connectUnit();
    session::TuneState s = model.state();
    s.readOffered = true; // as Close all leaves it
    model.apply(s, {});
    find("Edit33")->setText("7");
    EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(4, 7)}));
    EXPECT_TRUE(model.state().commands().readTable);
    // The unit holds the new value only until it is written: Exit must ask.
    EXPECT_TRUE(model.state().flags.ImageChanged);
}

TEST_F(SetupPageTest, EditsWithoutAUnitChangeTheImageOnly)
{
    connectUnit();
    session::TuneState s = model.state();
    s.flags.UnitConnected = false;
    model.apply(s, {});
    find("Edit15")->setText("20");
    EXPECT_TRUE(takeWrites().empty());
    EXPECT_EQ(modelRaw(83), 20);
}

TEST_F(SetupPageTest, VacuumFieldsMoveTheirMarker)
{
    connectUnit();
    QSignalSpy moved(binder.get(), &app::setup::SetupBinder::vacuumMarkerMoved);
    find("Edit38")->setText("0.85");
    ASSERT_EQ(moved.count(), 1);
    EXPECT_EQ(moved[0][0].value<setup::VacuumMarkerId>(), setup::VacuumMarkerId::High);
    EXPECT_DOUBLE_EQ(moved[0][1].toDouble(), 0.85);
    EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(41, 85)}));
}

TEST_F(SetupPageTest, CloseAllEmptiesAndDisablesThePage)
{
    connectUnit();
    session::TuneState s = model.state();
    s.flags.UnitConnected = false;
    session::SessionResult closed;
    closed.tuneCleared = true;
    model.apply(s, closed);
    EXPECT_TRUE(find("Edit12")->text().isEmpty());
    EXPECT_FALSE(find("Edit12")->isEnabled());
    EXPECT_FALSE(find<QCheckBox>("CheckBox1")->isEnabled());
    EXPECT_TRUE(takeWrites().empty());
    EXPECT_TRUE(sink.entries.empty()) << "emptied quiet fields raise no message";
}
