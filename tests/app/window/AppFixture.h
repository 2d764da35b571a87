// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the GUI tests share: a recording message sink, a file chooser with
// fixed answers, an in-memory unit on one port, and a fixture that builds
// the main window on them.

#include "app/window/EFICom.h"
#include "files/MapFile.h"
#include "FakeClock.h"
#include "FakeSerialDevice.h"
#include "SimResponder.h"

#include <QString>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace kyr::apptest {

/// Message boxes as a list; questions get a set answer.
class RecordingSink final : public app::MessageSink {
public:
    struct Entry {
        QString kind, title, text;
    };
    void information(const QString& title, const QString& text) override { entries.push_back({"information", title, text}); }
    void warning(const QString& title, const QString& text) override { entries.push_back({"warning", title, text}); }
    app::Answer question(const QString& title, const QString& text) override
    {
        entries.push_back({"question", title, text});
        return answer;
    }
    int choose(const QString& title, const QString& text, const QStringList&, int) override
    {
        entries.push_back({"choice", title, text});
        return choice;
    }
    /// The texts of the entries of one kind.
    QStringList texts(const QString& kind) const;

    std::vector<Entry> entries;
    app::Answer answer = app::Answer::No;
    int choice = -1; ///< what choose() answers
};

/// File dialogs that answer with set names.
class FixedFiles final : public app::FileChooser {
public:
    QString openFileName(const QString&, const QString& filter) override
    {
        ++opens;
        lastFilter = filter;
        return openName;
    }
    QString saveFileName(const QString&, const QString& filter) override
    {
        ++saves;
        lastFilter = filter;
        return saveName;
    }
    int chooseBackup(const QString&, const QStringList& labels) override
    {
        backupLabels = labels;
        return backupChoice;
    }
    QString openName, saveName, lastFilter;
    QStringList backupLabels;
    int backupChoice = -1;
    int opens = 0, saves = 0;
};

/// A printer that keeps the sheets it is given.
class KeptSheets final : public app::window::PrintTarget {
public:
    bool print(const std::vector<app::window::PrintSheet>& given) override
    {
        ++prints;
        sheets = given;
        return true;
    }
    std::vector<app::window::PrintSheet> sheets;
    int prints = 0;
};

/// The program's own serial devices and clock, with COM names resolved in the
/// ports folder of `folder` (where kyr-sim registers) and an empty device
/// folder, so that no real serial port is ever opened.
app::link::LinkSetup ptyLinkSetup(const std::filesystem::path& folder);

/// Runs the event loop until done() holds or the time is up.
bool waitFor(const std::function<bool()>& done, int timeoutMs = 10000);

/// A file's bytes (empty when it cannot be read).
QByteArray readAll(const QString& path);
/// Creates or replaces a file with these bytes.
void writeText(const QString& path, const QByteArray& text);

/// The demo tune that comes with the sources.
files::MapFile demoTune();
QString demoTunePath();

/// The simulated unit as an in-memory device on one COM port, holding the
/// demo tune; every other port fails to open. The fake device and clock are
/// used on the link thread: inspect them only while the link is idle.
class UnitPort : public test::SimResponder {
public:
    explicit UnitPort(int port = 3);

    /// The link of a window that talks to this unit.
    app::link::LinkSetup setup();
    /// The device path of a COM port under the fake device folder.
    static std::string pathOf(int port);
    /// Writes whose first byte is b (commands), in order.
    std::vector<link::Bytes> writesStartingWith(uint8_t b) const;

    link::FakeClock clock;
    link::FakeSerialDevice device;
    std::filesystem::path backupRoot; ///< where the window keeps backups (none when empty)
};

/// The main window on a recording sink, fixed files and a fake unit.
class WindowTest : public ::testing::Test {
protected:
    void TearDown() override;

    app::window::EFICom& makeWindow(std::optional<app::link::LinkSetup> setup = std::nullopt);
    /// Shows the window and waits for the start-up search.
    app::window::EFICom& showWindow();
    /// Shows the window, searches, connects and waits.
    app::window::EFICom& connectedWindow();

    QToolButton* button(const QString& name) const;
    QWidget* control(const QString& name) const { return window->control(name); }
    QString lineText(const QString& name) const;
    void click(const QString& name);
    /// Waits until the link queue is empty.
    void waitIdle();
    QString panel(int i) const;
    /// A file under a fresh temporary folder.
    QString tempFile(const QString& name);

    std::shared_ptr<RecordingSink> sink = std::make_shared<RecordingSink>();
    std::shared_ptr<FixedFiles> files = std::make_shared<FixedFiles>();
    std::shared_ptr<KeptSheets> printer = std::make_shared<KeptSheets>();
    std::unique_ptr<UnitPort> unit = std::make_unique<UnitPort>(3);
    /// Timer1 of the window made next: off, so that only the tests of the
    /// real-time poll see ReadLive among the commands they check.
    int livePollMs = 0;
    std::unique_ptr<app::window::EFICom> window;
    std::unique_ptr<QTemporaryDir> tmp;
};

} // namespace kyr::apptest
