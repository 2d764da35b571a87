// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Setup page's panels and their binding on a model and a link of their
// own, against the in-memory unit: what goes over the line is read back
// from the fake device.

#include "window/AppFixture.h"

#include "app/link/LinkWorker.h"
#include "app/setup/PendingEdits.h"
#include "app/live/LivePoll.h"
#include "app/live/RTFrame.h"
#include "app/setup/SetupBinder.h"
#include "app/setup/SetupPanels.h"
#include "app/common/TuneModel.h"
#include "link/Protocol.h"
#include "setup/SetupEngine.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <QSlider>

#include <memory>

namespace kyr::apptest {

class SetupPageTest : public ::testing::Test {
protected:
    SetupPageTest()
        : link(std::make_unique<app::link::LinkWorker>(model, unit.setup())), page(std::make_unique<QWidget>())
    {
        auto* layout = new QVBoxLayout(page.get());
        layout->addWidget(app::setup::buildSetupPanels(page.get()));
        // The real-time frame below the panels holds the target marker.
        auto* poll = new app::live::LivePoll(model, *link, &model);
        auto* frames = new app::live::RealTimeFrames(&model);
        auto* frame = new app::live::RTFrame(*poll, *frames, QStringLiteral("RT2"), page.get());
        layout->addWidget(frame);
        frames->watchTarget(page->findChild<QSlider*>(QStringLiteral("TrackBar7")), frame);
        binder = std::make_unique<app::setup::SetupBinder>(context(), engine, page.get());
        page->resize(1400, 800);
        page->show();
    }
    ~SetupPageTest() override
    {
        binder.reset();
        page.reset();
        link.reset(); // the link thread ends before the fake unit goes
    }

    app::AppContext context() { return app::AppContext{model, *link, sink}; }

    void waitIdle() { ASSERT_TRUE(waitFor([this] { return link->idle(); })) << "the link did not finish"; }

    /// Connects the unit on Com3 the way the window does; the setup is shown.
    void connectUnit()
    {
        session::TuneState s = model.state();
        s.port = session::PortAddress::comPort(3);
        model.apply(s, {});
        link->connectUnit();
        waitIdle();
        ASSERT_TRUE(model.state().flags.UnitConnected);
        ASSERT_TRUE(model.state().flags.EditsLive);
    }

    /// The WriteBytes on the line since the last call.
    std::vector<link::Bytes> takeWrites()
    {
        waitIdle();
        std::vector<link::Bytes> all = unit.writesStartingWith(link::CmdWriteByte);
        std::vector<link::Bytes> fresh(all.begin() + static_cast<std::ptrdiff_t>(m_seen), all.end());
        m_seen = all.size();
        return fresh;
    }

    template <class W = QLineEdit>
    W* find(const char* name) const
    {
        auto* w = page->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    /// A line edit's text (as std::string, for readable failures).
    std::string text(const char* name) const
    {
        QLineEdit* e = find(name);
        return e ? e->text().toStdString() : std::string();
    }

    /// Replaces a field's text by typing, one key at a time.
    void typeInto(const char* name, const QString& text)
    {
        QLineEdit* e = find(name);
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        QTest::keyClicks(e, text);
    }

    /// Types into a field and finishes the edit with Enter.
    void enterInto(const char* name, const QString& text)
    {
        typeInto(name, text);
        QTest::keyClick(find(name), Qt::Key_Return);
    }

    /// Whether a field shows typing not yet sent.
    bool pending(const char* name) const { return find(name)->property(app::setup::PendingEdits::Property).toBool(); }

    /// Gives a field the keyboard focus, as a click into it does.
    void focus(const char* name)
    {
        QApplication::setActiveWindow(page.get());
        find(name)->setFocus(Qt::MouseFocusReason);
        ASSERT_TRUE(find(name)->hasFocus()) << name;
    }

    /// A setup byte of the model's copy, raw form.
    int modelRaw(int offset) const { return model.state().setup[offset] - 1; }

    static link::Bytes wb(int offset, int value) { return link::writeByte(offset, value); }

    UnitPort unit{3};
    RecordingSink sink;
    app::TuneModel model;
    std::unique_ptr<app::link::LinkWorker> link;
    setup::SetupEngine engine{"."};
    std::unique_ptr<QWidget> page;
    std::unique_ptr<app::setup::SetupBinder> binder;

private:
    std::size_t m_seen = 0;
};

} // namespace kyr::apptest
