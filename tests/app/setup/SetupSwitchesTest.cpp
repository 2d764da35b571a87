// SPDX-License-Identifier: GPL-3.0-or-later
// The option switches of the Setup page on the real widgets: check boxes,
// output source buttons, radio groups and track bars, with the controls they
// enable, and the Calibrate buttons' hidden fields.

#include "setup/SetupPageFixture.h"

#include "app/live/RTFrame.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

using namespace kyr;
using namespace kyr::apptest;

TEST_F(SetupPageTest, SensorCheckBoxesSendTwoForOnAndOneForOff)
{
    connectUnit();
    auto* water = find<QCheckBox>("CheckBox6");
    ASSERT_TRUE(water->isChecked());
    ASSERT_TRUE(find<QPushButton>("Button1")->isEnabled());
    water->click();
    EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(6, 1)}));
    EXPECT_FALSE(find<QPushButton>("Button1")->isEnabled()) << "no calibration for a sensor that is off";
    EXPECT_FALSE(model.state().commands().calibrateWater) << "the window's next refresh keeps it so";
    water->click();
    EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(6, 2)}));
    EXPECT_TRUE(find<QPushButton>("Button1")->isEnabled());
    EXPECT_EQ(modelRaw(6), 2);

    find<QCheckBox>("CheckBox20")->click();
    EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(49, 2)}));
}

TEST_F(SetupPageTest, OutputSourceSendsItsCodeAndShowsTheLimitsInItsUnits)
{
    connectUnit();
    // Output 1 runs on RPM with 3000 to 6000 (bytes 30 and 60).
    find<QRadioButton>("RadioButton2")->click(); // Vacuum
    EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(29, 2)}));
    EXPECT_EQ(text("Edit16"), "0.3");
    EXPECT_EQ(text("Edit17"), "0.6");
    find("Edit16")->setText("1.5");
    EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(30, 150)}));

    find<QRadioButton>("RadioButton7")->click(); // None
    EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(29, 0)}));
    EXPECT_FALSE(find("Edit16")->isEnabled());
    EXPECT_FALSE(find("Edit17")->isEnabled());
    EXPECT_EQ(text("Edit16"), "0");

    find<QRadioButton>("RadioButton1")->click(); // RPM again
    EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(29, 1)}));
    EXPECT_TRUE(find("Edit16")->isEnabled());
    EXPECT_EQ(text("Edit16"), "15000") << "the stored 150 in RPM";

    // Output 2's buttons are a group of their own.
    find<QRadioButton>("RadioButton14")->click();
    EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(32, 6)}));
    EXPECT_TRUE(find<QRadioButton>("RadioButton1")->isChecked());
}

TEST_F(SetupPageTest, RestoredOutputLimitIsTheValueAsTyped)
{
    connectUnit();
    find("Edit16")->setText("4000");
    find("Edit16")->setText("20000"); // above 10000: the last accepted comes back, the unit keeps it
    EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(30, 40)}));
    EXPECT_EQ(text("Edit16"), "4000");
}

TEST_F(SetupPageTest, RadioGroupsSendTheirItem)
{
    connectUnit();
    find<app::setup::RadioGroup>("RadioGroup3")->item(2)->click();
    find<app::setup::RadioGroup>("RadioGroup4")->item(3)->click();
    EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(86, 2), wb(14, 3)}));

    // Accelerator pump "TPS" leaves only the throttle's track bars working.
    find<app::setup::RadioGroup>("RadioGroup2")->item(2)->click();
    EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(37, 2)}));
    EXPECT_FALSE(find<QSlider>("TrackBar3")->isEnabled());
    EXPECT_TRUE(find<QSlider>("TrackBar2")->isEnabled());
}

TEST_F(SetupPageTest, PumpTrackBarSendsFromTheTopAndShowsItsValue)
{
    connectUnit();
    auto* sens = find<QSlider>("TrackBar3");
    sens->setValue(5); // position 5 of 1..20 is the value 16
    EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(23, 16)}));
    EXPECT_EQ(text("Edit46"), "16");
    find<QSlider>("TrackBar5")->setValue(31); // 70, shown x 100
    EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(25, 70)}));
    EXPECT_EQ(text("Edit42"), "7000");
}

TEST_F(SetupPageTest, LambdaTargetSendsVoltsAndMovesItsLabel)
{
    connectUnit();
    auto* target = find<QSlider>("TrackBar7");
    target->setValue(50);
    target->setValue(45);
    EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(0x0A, 50), wb(0x0A, 0x2D)}));
    EXPECT_EQ(text("Edit48"), "0.45");
    auto* label = find<QLabel>("Label6");
    EXPECT_EQ(label->text().toStdString(), ".45");
    auto* strip = qobject_cast<app::live::LambdaTargetStrip*>(label->parentWidget()->parentWidget());
    ASSERT_NE(strip, nullptr);
    EXPECT_EQ(strip->position(), 45);
    EXPECT_EQ(label->x(), setup::lambdaMarkerLeft(label->parentWidget()->width(), 45, label->width()));
    EXPECT_EQ(modelRaw(10), 45);
}

TEST_F(SetupPageTest, CalibrateShowsTheRowsFieldUntilItLosesTheFocus)
{
    connectUnit();
    QApplication::setActiveWindow(page.get());
    auto* button = find<QPushButton>("Button2");
    QLineEdit* field = find("Edit58");
    EXPECT_FALSE(field->isVisible());
    button->click();
    EXPECT_TRUE(field->isVisible());
    EXPECT_FALSE(button->isVisible()) << "the field stands in the button's place";
    EXPECT_TRUE(field->hasFocus());
    field->setText("120");
    EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(50, 120)}));

    find("Edit12")->setFocus(Qt::TabFocusReason);
    EXPECT_FALSE(field->isVisible());
    EXPECT_TRUE(button->isVisible());
}

TEST_F(SetupPageTest, CalibrateButtonsFollowTheirSensorAndField)
{
    unit.table[52] = 255; // no map sensor calibration byte on this unit
    connectUnit();
    EXPECT_TRUE(find<QPushButton>("Button1")->isEnabled());
    EXPECT_FALSE(find<QPushButton>("Button3")->isEnabled()) << "nothing to calibrate";
    EXPECT_FALSE(model.state().commands().calibrateMap);
    find<QCheckBox>("CheckBox1")->click();
    EXPECT_FALSE(find<QPushButton>("CalBtn")->isEnabled());
}
