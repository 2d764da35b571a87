// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/AppFixture.h"

#include "link/Protocol.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <utility>


namespace kyr::apptest {

namespace {

const std::string FakeDevRoot = "/kyr-fake-dev";

} // namespace

QStringList RecordingSink::texts(const QString& kind) const
{
    QStringList out;
    for (const Entry& e : entries)
        if (e.kind == kind)
            out << e.text;
    return out;
}

bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(2);
    }
    return true;
}

QString demoTunePath() { return QStringLiteral(KYR_SOURCE_DIR "/examples/demo.kyr"); }

files::MapFile demoTune()
{
    auto file = files::loadMapFile(demoTunePath().toStdString());
    EXPECT_TRUE(file.ok());
    return file.ok() ? file.value() : files::MapFile{};
}

// ---------------------------------------------------------------- UnitPort

UnitPort::UnitPort(int port) : SimResponder(demoTune().image), device(&clock)
{
    live = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
    device.setOpenable(false);
    device.setOpenable(pathOf(port), true);
    device.setResponder([this](const link::Bytes& w) { return answer(w); });
}

app::link::LinkSetup UnitPort::setup()
{
    return app::link::LinkSetup{device.factory(), &clock, link::PortEnv::withVariables({}, FakeDevRoot), backupRoot};
}

std::string UnitPort::pathOf(int port)
{
    return *link::fixedDevicePath(port, link::PortEnv::withVariables({}, FakeDevRoot));
}

std::vector<link::Bytes> UnitPort::writesStartingWith(uint8_t b) const
{
    std::vector<link::Bytes> out;
    for (const auto& w : device.writes())
        if (!w.empty() && w[0] == b)
            out.push_back(w);
    return out;
}

// ---------------------------------------------------------------- WindowTest

void WindowTest::TearDown()
{
    window.reset(); // ends the link thread before the fake unit goes
    QSettings().clear(); // what one test's window remembered is not the next one's start
}

app::window::EFICom& WindowTest::makeWindow(std::optional<app::link::LinkSetup> setup)
{
    app::window::EFIComServices services{sink, files, setup ? std::move(*setup) : unit->setup(), livePollMs};
    services.print = printer;
    window = std::make_unique<app::window::EFICom>(std::move(services));
    return *window;
}

app::window::EFICom& WindowTest::showWindow()
{
    if (!window)
        makeWindow();
    window->show();
    waitIdle();
    return *window;
}

app::window::EFICom& WindowTest::connectedWindow()
{
    showWindow();
    click("spConnect");
    waitIdle();
    EXPECT_TRUE(window->model().state().flags.UnitConnected);
    return *window;
}

QToolButton* WindowTest::button(const QString& name) const
{
    auto* b = qobject_cast<QToolButton*>(window->control(name));
    EXPECT_NE(b, nullptr) << name.toStdString();
    return b;
}

QString WindowTest::lineText(const QString& name) const
{
    auto* e = qobject_cast<QLineEdit*>(window->control(name));
    EXPECT_NE(e, nullptr) << name.toStdString();
    return e ? e->text() : QString();
}

void WindowTest::click(const QString& name)
{
    if (QToolButton* b = button(name))
        b->click();
}

void WindowTest::waitIdle()
{
    ASSERT_TRUE(waitFor([this] { return window->linkWorker().idle(); })) << "the link did not finish";
}

QString WindowTest::panel(int i) const
{
    auto* l = window->findChild<QLabel*>(QStringLiteral("StatusPanel%1").arg(i));
    EXPECT_NE(l, nullptr);
    return l ? l->text() : QString();
}

QString WindowTest::tempFile(const QString& name)
{
    if (!tmp)
        tmp = std::make_unique<QTemporaryDir>();
    return tmp->filePath(name);
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeText(const QString& path, const QByteArray& text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

app::link::LinkSetup ptyLinkSetup(const std::filesystem::path& folder)
{
    std::filesystem::create_directories(folder / "dev");
    auto env = link::PortEnv::withVariables({{"KYR_PORT_DIR", (folder / "ports").string()}}, (folder / "dev").string());
    return app::link::LinkSetup{link::posixDeviceFactory(), &link::systemClock(), std::move(env), folder / "backups"};
}

} // namespace kyr::apptest
