// SPDX-License-Identifier: GPL-3.0-or-later
// The real-time frames of the Setup and map pages: the live values they
// show, and the lambda target marker that follows "Target Volts".

#include "window/AppFixture.h"

#include "app/live/LivePoll.h"
#include "app/live/RTFrame.h"
#include "live/LiveRecord.h"
#include "setup/Switches.h"

#include <QApplication>
#include <QLabel>
#include <QSlider>

namespace kyr::apptest {

namespace {

link::Bytes record(double rpm, double lambda)
{
    live::LiveValues v;
    v.set(live::LiveField::Rpm, rpm);
    v.set(live::LiveField::Timing, 24.5);
    v.set(live::LiveField::Vacuum, 62);
    v.set(live::LiveField::Lambda, lambda);
    const live::LiveBytes b = live::encodeLive(v);
    return link::Bytes(b.begin(), b.end());
}

} // namespace

class RealTimeFrameTest : public WindowTest {
protected:
    void SetUp() override
    {
        livePollMs = app::live::LivePoll::IntervalMs;
        unit->live = record(3400, 0.45);
    }
    app::live::RTFrame* frame(const char* name) const { return window->findChild<app::live::RTFrame*>(QLatin1String(name)); }
    std::vector<app::live::RTFrame*> frames() const
    {
        return window->realTimeFrames().frames();
    }
    QSlider* target() const { return qobject_cast<QSlider*>(control(QStringLiteral("TrackBar7"))); }
    /// Where a label stands after the slider let go: one pixel left of its place while sliding.
    static int settledLabelX(app::live::RTFrame* f, int position)
    {
        QLabel* label = f->lambda()->label();
        return setup::lambdaMarkerLeft(label->parentWidget()->width(), position, label->width()) - 1;
    }
};

TEST_F(RealTimeFrameTest, EveryChartPageAndTheSetupPageHasOneAndItShowsTheEngine)
{
    connectedWindow();
    ASSERT_EQ(frames().size(), 4u);
    for (const char* name : {"RT1", "RT2", "RT3", "RT4"})
        EXPECT_NE(frame(name), nullptr) << name;
    app::live::RTFrame* rt2 = frame("RT2");
    ASSERT_TRUE(waitFor([&] { return rt2->valueText(live::LiveField::Rpm) == QStringLiteral("3400 RPM"); }));
    EXPECT_EQ(rt2->valueText(live::LiveField::Timing), QStringLiteral("24.5\u00B0"));
    EXPECT_EQ(rt2->lambdaValue()->text(), QStringLiteral("0.45 V"));
    EXPECT_TRUE(rt2->lambda()->liveBar()->isVisible());

    // Missing records leave no old value standing.
    unit->live.clear();
    EXPECT_TRUE(waitFor([&] { return rt2->valueText(live::LiveField::Rpm) == QStringLiteral("--"); }));
    EXPECT_FALSE(rt2->lambda()->liveBar()->isVisible());
}

TEST_F(RealTimeFrameTest, TargetMarkerFollowsTheSliderHereAndEverywhereWhenItLetsGo)
{
    connectedWindow();
    app::live::RTFrame* rt2 = frame("RT2");
    app::live::RTFrame* rt1 = frame("RT1");
    QSlider* slider = target();
    ASSERT_NE(slider, nullptr);
    window->activateWindow();
    QApplication::setActiveWindow(window.get());
    slider->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(waitFor([&] { return slider->hasFocus(); }));
    EXPECT_EQ(rt2->lambdaCaption()->text(), QStringLiteral("Set Target"));
    EXPECT_TRUE(rt2->lambdaValue()->isHidden());
    EXPECT_EQ(rt1->lambdaCaption()->text(), QStringLiteral("Lambda")) << "only the frame beside the slider";

    const int before = rt1->lambda()->position();
    slider->setValue(45);
    EXPECT_EQ(rt2->lambda()->position(), 45);
    QLabel* label = rt2->lambda()->label();
    EXPECT_EQ(label->x(), setup::lambdaMarkerLeft(label->parentWidget()->width(), 45, label->width()));
    EXPECT_EQ(label->text(), QStringLiteral(".45"));
    EXPECT_EQ(rt1->lambda()->position(), before) << "the other frames wait for the slider to let go";

    control(QStringLiteral("Edit12"))->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(waitFor([&] { return !slider->hasFocus(); }));
    EXPECT_EQ(rt2->lambdaCaption()->text(), QStringLiteral("Lambda"));
    EXPECT_FALSE(rt2->lambdaValue()->isHidden());
    for (app::live::RTFrame* f : frames()) {
        EXPECT_EQ(f->lambda()->position(), 45) << f->objectName().toStdString();
        EXPECT_EQ(f->lambda()->label()->x(), settledLabelX(f, 45)) << f->objectName().toStdString();
    }
}

TEST_F(RealTimeFrameTest, TargetSetFromATableReachesEveryFrame)
{
    connectedWindow();
    target()->setValue(38); // as a table shown sets it: the slider has no focus
    for (app::live::RTFrame* f : frames()) {
        EXPECT_EQ(f->lambda()->position(), 38) << f->objectName().toStdString();
        EXPECT_EQ(f->lambda()->label()->text(), QStringLiteral(".38")) << f->objectName().toStdString();
    }
}

} // namespace kyr::apptest
