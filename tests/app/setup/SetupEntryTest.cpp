// SPDX-License-Identifier: GPL-3.0-or-later
// A typed setup value reaches the unit only once its edit is finished:
// Enter, Tab or the field left for another control. Until then the field
// says it is pending, and Escape puts back the value the unit holds. A
// refused entry is explained beside the field, never in a message box.

#include "setup/SetupPageFixture.h"

#include <QApplication>
#include <QSignalSpy>

using namespace kyr;
using namespace kyr::apptest;

TEST_F(SetupPageTest, ALimiterTypedKeyByKeyIsSentOnceAsAWhole)
{
    connectUnit();
    ASSERT_EQ(text("Edit20"), "6800");
    typeInto("Edit20", "6900");
    EXPECT_TRUE(takeWrites().empty()) << "neither 0, 100 nor 700 RPM reach the unit";
    EXPECT_TRUE(pending("Edit20"));
    EXPECT_EQ(find("Edit20")->toolTip().toStdString(), "Not sent yet: Enter or Tab sends it, Esc puts back 6800");
    EXPECT_EQ(modelRaw(84), 68);
    QTest::keyClick(find("Edit20"), Qt::Key_Return);
    EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(0x54, 69)}));
    EXPECT_EQ(modelRaw(84), 69);
    EXPECT_FALSE(pending("Edit20"));
}

TEST_F(SetupPageTest, TabOrAnotherFieldFinishesTheEditAnotherWindowDoesNot)
{
    connectUnit();
    focus("Edit20");
    typeInto("Edit20", "6900");
    // Another program comes to the front and goes again: the typing waits.
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    QApplication::setActiveWindow(page.get());
    EXPECT_TRUE(takeWrites().empty());
    EXPECT_TRUE(pending("Edit20"));
    ASSERT_TRUE(find("Edit20")->hasFocus());
    QTest::keyClick(find("Edit20"), Qt::Key_Tab);
    EXPECT_FALSE(find("Edit20")->hasFocus());
    EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(0x54, 69)}));

    focus("Edit12");
    typeInto("Edit12", "12");
    find("Edit15")->setFocus(Qt::MouseFocusReason); // a click into another field
    EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(0x50, 12)}));
}

TEST_F(SetupPageTest, TypingThatIsDroppedSendsNothing)
{
    connectUnit();
    focus("Edit20");
    typeInto("Edit20", "69");
    QTest::keyClick(find("Edit20"), Qt::Key_Escape);
    EXPECT_EQ(text("Edit20"), "6800") << "Escape puts back the last accepted value";
    EXPECT_FALSE(pending("Edit20"));
    QTest::keyClick(find("Edit20"), Qt::Key_Return);

    // A page that is locked (a sequence runs) drops what was typed into it.
    typeInto("Edit12", "7");
    page->setEnabled(false);
    page->setEnabled(true);
    EXPECT_EQ(text("Edit12"), "4");
    QTest::keyClick(find("Edit12"), Qt::Key_Return);
    EXPECT_TRUE(takeWrites().empty());
    EXPECT_EQ(modelRaw(84), 68);
}

TEST_F(SetupPageTest, ARefusedEntryIsExplainedAndTheUnitKeepsItsValue)
{
    connectUnit();
    QSignalSpy said(binder.get(), &app::setup::SetupBinder::entryRefused);
    const std::string settled = setup::fieldTip(*setup::fieldByParam(table::SetupParam::RpmLimiter), setup::SourceNone, 7000);
    EXPECT_EQ(find("Edit20")->toolTip().toStdString(), settled);
    enterInto("Edit20", "99999");
    EXPECT_TRUE(takeWrites().empty());
    EXPECT_EQ(text("Edit20"), "6800");
    const std::string why = "99999 is refused: RPM Limiter takes 0 to 7000 RPM";
    EXPECT_EQ(find("Edit20")->toolTip().toStdString(), why);
    ASSERT_EQ(said.count(), 1);
    EXPECT_EQ(said[0][0].toString().toStdString(), why);
    EXPECT_TRUE(sink.entries.empty());

    // Longer than the field: refused whole, never cut to a value that fits.
    enterInto("Edit12", "123");
    EXPECT_EQ(text("Edit12"), "4");
    EXPECT_EQ(find("Edit12")->toolTip().toStdString(),
              "123 is refused: Cylinders takes 1 to 12, at most 2 characters");
    EXPECT_TRUE(takeWrites().empty());

    // The next accepted entry says again what the field takes.
    enterInto("Edit20", "6900");
    EXPECT_EQ(takeWrites(), (std::vector<link::Bytes>{wb(0x54, 69)}));
    EXPECT_EQ(find("Edit20")->toolTip().toStdString(), settled);
}
