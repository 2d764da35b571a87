// SPDX-License-Identifier: GPL-3.0-or-later
// Compare: another tune beside the one shown, its differences listed and
// drawn faintly on the charts, and a value of it taken through the normal
// editing, over an in-memory unit.

#include "window/AppFixture.h"

#include "app/compare/ComparePanel.h"
#include "app/compare/TuneComparer.h"
#include "app/maps/FuelPage.h"
#include "app/maps/JetControls.h"
#include "app/maps/MapChartView.h"
#include "app/maps/TimingPage.h"
#include "link/Protocol.h"

#include <QAction>
#include <QLegend>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QUndoStack>
#include <QXYSeries>

using namespace kyr;
using namespace kyr::apptest;
using app::maps::FuelPage;
using app::maps::MapChartView;
using app::maps::TimingPage;

namespace {

const table::MapDef& timingMap() { return table::mapDef(table::MapId::TimingRpm); }
const table::MapDef& cruiseMap() { return table::mapDef(table::MapId::FuelCruise); }
int coilOffset() { return table::setupOffset(table::SetupParam::CoilTime); }

class CompareTest : public WindowTest {
protected:
    /// The demo tune with timing point 11 5° higher, cruise fuel point 4 3 % richer
    /// and Coil Time 0.5 ms longer, saved as other.kyr.
    QString changedCopy()
    {
        files::MapFile f = demoTune();
        f.image[table::pointOffset(timingMap(), 11)] += 5;
        f.image[table::pointOffset(cruiseMap(), 4)] += 3;
        f.image[coilOffset()] += 1;
        const QString path = tempFile("other.kyr");
        EXPECT_TRUE(files::saveMapFile(path.toStdString(), f));
        return path;
    }
    void openDemo()
    {
        files->openName = demoTunePath();
        click("spOpen");
        waitIdle();
    }
    void compareWith(const QString& path)
    {
        files->openName = path;
        click("spCompare");
        waitIdle();
    }
    MapChartView* timingChart() const { return page<TimingPage>()->timingChart(); }
    template <class P>
    P* page() const
    {
        for (app::Page* p : window->pages())
            if (auto* found = qobject_cast<P*>(p))
                return found;
        return nullptr;
    }
    app::compare::ComparePanel& comparePanel() const { return *window->comparePanel(); }
    QStringList rows() const
    {
        QStringList out;
        for (int i = 0; i < comparePanel().list()->count(); ++i)
            out << comparePanel().list()->item(i)->text();
        return out;
    }
    /// Selects the row that holds text and presses "Use this value".
    void use(const QString& text)
    {
        const QStringList all = rows();
        int row = 0;
        while (row < all.size() && !all[row].contains(text))
            ++row;
        ASSERT_LT(row, all.size()) << text.toStdString();
        comparePanel().list()->setCurrentRow(row);
        comparePanel().useButton()->click();
        waitIdle();
    }
    double shownTiming(int index) const { return window->model().maps().at(table::MapId::TimingRpm, index); }
};

} // namespace

TEST_F(CompareTest, ListsTheDifferencesAndDrawsTheOtherCurvesUntilStopped)
{
    makeWindow();
    openDemo();
    compareWith(changedCopy());
    ASSERT_TRUE(sink->entries.empty()) << sink->entries.front().text.toStdString();
    EXPECT_TRUE(comparePanel().isVisibleTo(window.get()));
    EXPECT_EQ(comparePanel().summary()->text(), "1 setup value and 2 map points differ from other.kyr.");
    const QStringList list = rows();
    ASSERT_EQ(list.size(), 3) << list.join('\n').toStdString();
    const double coil = (demoTune().image[coilOffset()] - 1) / 2.0;
    EXPECT_EQ(list[0], QStringLiteral("Coil Time: %1 ms here, %2 ms in other.kyr").arg(coil).arg(coil + 0.5));
    const double timing = shownTiming(11);
    EXPECT_EQ(list[1], QString::fromUtf8("Timing Map point 11 (1100 RPM): %1\u00b0 here, %2\u00b0 in other.kyr")
                           .arg(timing).arg(timing + 5));
    EXPECT_TRUE(list[2].startsWith("RPM Map, Cruise point 4 (")) << list[2].toStdString();

    // The other tune's curve lies beside the shown one, at the same x, differing at point 11 only.
    QXYSeries* mine = timingChart()->curve(table::MapId::TimingRpm);
    QXYSeries* other = timingChart()->otherCurve(table::MapId::TimingRpm);
    ASSERT_EQ(other->count(), mine->count());
    for (int i = 0; i < mine->count(); ++i) {
        EXPECT_DOUBLE_EQ(other->at(i).x(), mine->at(i).x()) << i;
        EXPECT_DOUBLE_EQ(other->at(i).y(), mine->at(i).y() + (i == 10 ? 5 : 0)) << i;
    }
    // The legend names the faint curve after the tune it is of.
    EXPECT_TRUE(timingChart()->chart()->legend()->isVisible());
    EXPECT_EQ(other->name(), "other.kyr");
    EXPECT_EQ(page<FuelPage>()->chart(maps::ChartId::FuelRpm)->otherCurve(table::MapId::FuelCruise)->at(3).y(),
              window->model().maps().at(table::MapId::FuelCruise, 4) + 3);

    comparePanel().findChild<QPushButton*>("StopCompare")->click();
    EXPECT_FALSE(comparePanel().isVisibleTo(window.get()));
    EXPECT_FALSE(window->tuneComparer().active());
    EXPECT_EQ(other->count(), 0);
    EXPECT_FALSE(timingChart()->chart()->legend()->isVisible());
    EXPECT_EQ(mine->count(), 70);
}

// The setup value goes the way of a typed entry: the field, the image, the
// WriteByte to the unit, and Write to KYR enabled; the row goes from the list.
TEST_F(CompareTest, UsingASetupValueCommitsItLikeATypedEntry)
{
    connectedWindow();
    compareWith(changedCopy());
    const auto before = unit->writesStartingWith(link::CmdWriteByte).size();
    const uint8_t stored = demoTune().image[coilOffset()] + 1;
    use("Coil Time");
    EXPECT_EQ(lineText("Edit14"), QString::number((stored - 1) / 2.0));
    EXPECT_EQ(window->model().state().setup[coilOffset()], stored);
    EXPECT_EQ(window->model().state().image[coilOffset()], stored);
    EXPECT_TRUE(window->model().state().flags.ImageChanged);
    EXPECT_TRUE(button("spWrite")->isEnabled());
    const auto writes = unit->writesStartingWith(link::CmdWriteByte);
    ASSERT_EQ(writes.size(), before + 1);
    EXPECT_EQ(writes.back(), (link::Bytes{link::CmdWriteByte, static_cast<uint8_t>(coilOffset()),
                                          static_cast<uint8_t>(stored - 1)}));
    EXPECT_EQ(rows().filter("Coil Time").size(), 0);
    EXPECT_EQ(comparePanel().summary()->text(), "0 setup values and 2 map points differ from other.kyr.");
}

// A map point taken is sent as its WritePoint and one undo puts it back,
// which lists it again.
TEST_F(CompareTest, UsingAMapPointSendsItAndUndoTakesItBack)
{
    connectedWindow();
    compareWith(changedCopy());
    const double timing = shownTiming(11);
    use("Timing Map point 11");
    EXPECT_EQ(shownTiming(11), timing + 5);
    EXPECT_EQ(timingChart()->curve(table::MapId::TimingRpm)->at(10).y(), timing + 5);
    const auto points = unit->writesStartingWith(0xE8);
    ASSERT_FALSE(points.empty());
    EXPECT_EQ(points.back(), (link::Bytes{0xE8, 10, static_cast<uint8_t>(timing + 5)}));
    EXPECT_EQ(rows().filter("Timing Map").size(), 0);

    QUndoStack* undo = page<TimingPage>()->undoStack();
    ASSERT_TRUE(undo->canUndo());
    undo->undo();
    waitIdle();
    EXPECT_EQ(shownTiming(11), timing);
    EXPECT_EQ(unit->writesStartingWith(0xE8).back(), (link::Bytes{0xE8, 10, static_cast<uint8_t>(timing)}));
    EXPECT_EQ(rows().filter("Timing Map point 11").size(), 1);
}

// The unit's table as read now: the one point changed in it since the
// connect, and no trailer byte (the unit's reply has none).
TEST_F(CompareTest, ComparesWithTheUnitsTableReadNow)
{
    connectedWindow();
    unit->table[table::pointOffset(timingMap(), 20)] += 2;
    auto* menu = window->findChild<QMenu*>("CompareMenu");
    emit menu->aboutToShow();
    QAction* fromUnit = menu->findChild<QAction*>("CompareUnit");
    ASSERT_TRUE(fromUnit->isEnabled());
    fromUnit->trigger();
    waitIdle();
    ASSERT_TRUE(waitFor([&] { return window->tuneComparer().active(); }));
    EXPECT_EQ(comparePanel().summary()->text(), "0 setup values and 1 map point differ from the KYR.");
    EXPECT_TRUE(rows()[0].startsWith("Timing Map point 20")) << rows()[0].toStdString();
}

// A file that is no map file says why and leaves the comparison, the list
// and the charts as they were; with no tune shown there is nothing to compare.
TEST_F(CompareTest, ABadFileSaysWhyAndChangesNothing)
{
    makeWindow();
    files->openName = demoTunePath();
    click("spCompare");
    ASSERT_EQ(sink->texts("warning").size(), 1);
    EXPECT_TRUE(sink->texts("warning")[0].startsWith("There is no tune to compare with"));
    EXPECT_EQ(files->opens, 0);

    openDemo();
    compareWith(changedCopy());
    const QStringList before = rows();
    const auto maps = window->model().maps().values;
    QByteArray text = readAll(demoTunePath());
    text[text.indexOf(',', text.indexOf("#Table")) - 1] = 'x';
    const QString bad = tempFile("bad.kyr");
    writeText(bad, text);
    compareWith(bad);
    ASSERT_EQ(sink->texts("warning").size(), 2);
    EXPECT_TRUE(sink->texts("warning")[1].startsWith("bad.kyr cannot be compared: Incorrect .KYR file"))
        << sink->texts("warning")[1].toStdString();
    EXPECT_EQ(rows(), before);
    EXPECT_EQ(window->tuneComparer().otherName(), "other.kyr");
    EXPECT_EQ(timingChart()->otherCurve(table::MapId::TimingRpm)->at(10).y(), shownTiming(11) + 5);
    EXPECT_EQ(window->model().maps().values, maps);
}

// The jets' fields are on the Fuel Maps page: a jet taken goes in there.
TEST_F(CompareTest, UsingAJetValueGoesThroughTheFuelMapsPage)
{
    connectedWindow();
    files::MapFile f = demoTune();
    f.image = unit->table;
    f.image[3] = static_cast<uint8_t>(f.image[3] + 7);
    const QString path = tempFile("jet.kyr");
    ASSERT_TRUE(files::saveMapFile(path.toStdString(), f));
    compareWith(path);
    ASSERT_EQ(rows().size(), 1) << rows().join('|').toStdString();
    const auto before = unit->writesStartingWith(link::CmdWriteByte).size();
    comparePanel().list()->setCurrentRow(0);
    comparePanel().useButton()->click();
    waitIdle();
    EXPECT_EQ(page<FuelPage>()->jets()->edit(maps::Jet::Main)->text(), QString::number(f.image[3] - 1));
    const auto writes = unit->writesStartingWith(link::CmdWriteByte);
    ASSERT_EQ(writes.size(), before + 1);
    EXPECT_EQ(writes.back(), (link::Bytes{link::CmdWriteByte, 3, static_cast<uint8_t>(f.image[3] - 1)}));
    EXPECT_TRUE(rows().isEmpty());
}

