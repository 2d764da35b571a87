// SPDX-License-Identifier: GPL-3.0-or-later
// The Setup page and the throttle calibration against kyr-sim over a
// pseudo-terminal: a field edit lands in the simulated unit's table, and the
// calibration's two writes reach it at least 200 ms apart by its own log.

#ifdef KYR_WITH_SIM

#include "window/AppFixture.h"

#include "Memory.h"
#include "SimProcess.h"
#include "app/common/ControlNames.h"
#include "app/link/LinkWorker.h"
#include "app/setup/SetupBinder.h"
#include "app/setup/SetupPanels.h"
#include "app/setup/TpsCalibrationPanel.h"
#include "app/common/TuneModel.h"
#include "link/PosixSerialDevice.h"
#include "setup/Fields.h"
#include "setup/Switches.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QVBoxLayout>

#include <fstream>

using namespace kyr;
using namespace kyr::apptest;

namespace {

constexpr int kPort = 4;

class SetupSimTest : public ::testing::Test {
protected:
    SetupSimTest()
    {
        writeThrottle(0);
        sim = std::make_unique<test::SimProcess>(
            dir.path(), test::SimOptions{.port = kPort, .args = {"--throttle-file", throttlePath().string()}});
        worker = std::make_unique<app::link::LinkWorker>(model, ptyLinkSetup(dir.path()));
        page = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(page.get());
        layout->addWidget(app::setup::buildSetupPanels(page.get()));
        binder = std::make_unique<app::setup::SetupBinder>(context(), engine, page.get());
    }
    ~SetupSimTest() override
    {
        binder.reset();
        page.reset();
        worker.reset();
    }

    app::AppContext context() { return app::AppContext{model, *worker, sink}; }
    std::filesystem::path throttlePath() const { return dir / "throttle"; }
    void writeThrottle(int percent) { std::ofstream(throttlePath()) << percent << "\n"; }

    void connectUnit()
    {
        session::TuneState s = model.state();
        s.port = session::PortAddress::comPort(kPort);
        model.apply(s, {});
        worker->connectUnit();
        ASSERT_TRUE(waitFor([this] { return worker->idle(); }, 15000));
        ASSERT_TRUE(model.state().flags.UnitConnected) << sim->stderrText();
    }

    /// The simulator's WriteByte log entries, once there are at least n.
    std::vector<nlohmann::json> writeBytes(std::size_t n)
    {
        std::vector<nlohmann::json> found;
        waitFor([&] { return (found = sim->logWhere("cmd", "WriteByte")).size() >= n; });
        return found;
    }

    table::ImageBytes simMemory() const
    {
        auto raw = sim::loadMemory(sim->memoryPath());
        EXPECT_TRUE(raw.ok());
        return raw.ok() ? raw.value() : table::ImageBytes{};
    }

    template <class W = QLineEdit>
    W* find(const char* name) const
    {
        return page->findChild<W*>(QString::fromLatin1(name));
    }

    test::TempFolder dir{"kyr-setup-sim"};
    std::unique_ptr<test::SimProcess> sim;
    RecordingSink sink;
    app::TuneModel model;
    std::unique_ptr<app::link::LinkWorker> worker;
    setup::SetupEngine engine{"."};
    std::unique_ptr<QWidget> page;
    std::unique_ptr<app::setup::SetupBinder> binder;
};

} // namespace

TEST_F(SetupSimTest, AFieldEditChangesTheUnitsTable)
{
    connectUnit();
    EXPECT_TRUE(sim->logWhere("cmd", "WriteByte").empty()) << "connecting sends no field";
    find("Edit15")->setText("20");
    find<QCheckBox>("CheckBox5")->click();
    auto writes = writeBytes(2);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0]["offset"], 83);
    EXPECT_EQ(writes[0]["value"], 20);
    EXPECT_EQ(writes[1]["offset"], 9);
    EXPECT_EQ(writes[1]["value"], 1);
    table::ImageBytes memory{};
    waitFor([&] { return (memory = simMemory())[83] == 20 && memory[9] == 1; });
    EXPECT_EQ(memory[83], 20);
    EXPECT_EQ(memory[9], 1);
}

// Every field and sensor switch of the page reaches the unit's table at its
// offset: a new value typed as its own units shows, and each switch toggled.
TEST_F(SetupSimTest, EveryFieldAndSensorSwitchChangesTheUnitsTable)
{
    connectUnit();
    const table::ImageBytes before = simMemory();
    std::vector<std::pair<int, int>> expected; // offset, raw
    auto typeField = [&](const setup::FieldDef& f) {
        auto* edit = page->findChild<QLineEdit*>(app::controlName(f.param));
        if (!edit)
            return; // the jets live on the Fuel Maps page
        SCOPED_TRACE(app::controlName(f.param).toStdString());
        ASSERT_TRUE(edit->isEnabled());
        const int offset = setup::fieldOffset(f);
        const int target = before[offset] == 5 ? 6 : 5;
        const int source = f.output ? engine.outputSource(f.output) : 0;
        edit->setText(QString::fromStdString(setup::shownText(setup::effectiveScale(f, source), target, ".")));
        expected.emplace_back(offset, target);
    };
    for (const auto& f : setup::fieldTable())
        if (f.param != table::SetupParam::RpmRange) // the RPM range bounds the limiter: typed last
            typeField(f);
    typeField(*setup::fieldByParam(table::SetupParam::RpmRange));
    for (const auto& sw : setup::switchTable()) {
        if (sw.type != setup::SwitchType::Sensor)
            continue;
        auto* box = find<QCheckBox>(app::controlName(sw.id).toStdString().c_str());
        ASSERT_NE(box, nullptr) << app::controlName(sw.id).toStdString();
        const int offset = table::setupOffset(sw.param);
        box->click();
        expected.emplace_back(offset, before[offset] == 2 ? 1 : 2);
    }
    writeBytes(expected.size());
    // The unit stores each write a moment after it logs it.
    table::ImageBytes after{};
    waitFor([&] {
        after = simMemory();
        for (const auto& [offset, raw] : expected)
            if (after[offset] != raw)
                return false;
        return true;
    });
    for (const auto& [offset, raw] : expected)
        EXPECT_EQ(after[offset], raw) << "offset " << offset;
    EXPECT_TRUE(sink.entries.empty()) << "no value was refused";
}

TEST_F(SetupSimTest, ThrottleCalibrationWritesBothPointsApart)
{
    connectUnit();
    app::setup::TpsCalibrationPanel panel(context(), engine);
    panel.start();
    // Closed throttle: the simulated sensor gives 20 counts, wide open 230.
    ASSERT_TRUE(waitFor([&] { return panel.calibration().lastReading() == 20; }));
    panel.pressF1();
    writeThrottle(100);
    ASSERT_TRUE(waitFor([&] { return panel.calibration().lastReading() == 230; }));
    panel.pressF1();
    ASSERT_EQ(panel.calibration().step(), setup::TpsCalibration::Step::Done);

    auto writes = writeBytes(2);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0]["offset"], 38);
    EXPECT_EQ(writes[0]["value"], 20);
    EXPECT_EQ(writes[1]["offset"], 39);
    EXPECT_EQ(writes[1]["value"], 230);
    const double gap = writes[1]["t_ms"].get<double>() - writes[0]["t_ms"].get<double>();
    EXPECT_GE(gap, 190.0) << "the high point follows the low one after the pause (less the log's read jitter)";
    table::ImageBytes memory{};
    waitFor([&] { return (memory = simMemory())[38] == 20 && memory[39] == 230; });
    EXPECT_EQ(memory[38], 20);
    EXPECT_EQ(memory[39], 230);
    EXPECT_EQ(model.state().setup[39], 231);
}

#endif // KYR_WITH_SIM
