// SPDX-License-Identifier: GPL-3.0-or-later
// The window's tune history: the History panel under the pages, what its
// buttons ask for (a table opened or compared, a log shown), and the hash
// of the tune shown in the status bar.

#include "app/window/EFICom.h"

#include "app/history/HistoryPanel.h"
#include "app/history/HistoryView.h"
#include "app/history/TuneHistory.h"
#include "app/live/LoggerPage.h"
#include "files/MapFile.h"
#include "link/Protocol.h"
#include "table/Codec.h"

#include <QLabel>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>

namespace kyr::app::window {

namespace {

std::filesystem::path pathOf(const QString& name) { return std::filesystem::path(name.toStdString()); }

} // namespace

void EFICom::buildHistory()
{
    m_history = new history::TuneHistory(m_model, *m_messages, m_backupRoot, dataLoggerFolder, this);
    m_historyPanel = new history::HistoryPanel(*m_history, this);
    addDockWidget(Qt::BottomDockWidgetArea, m_historyPanel);
    m_historyPanel->hide();
    connect(m_historyPanel, &history::HistoryPanel::openRequested, this, [this](const QString& file) {
        if (takeTyping() && mayReplaceShown())
            openMapFile(pathOf(file));
    });
    connect(m_historyPanel, &history::HistoryPanel::compareRequested, this,
            [this](const QString& file, const QString& name) { compareWithFile(pathOf(file), name); });
    connect(m_historyPanel, &history::HistoryPanel::compareBeforeRequested, this,
            [this](const QString& file, const QString& before, const QString& name) {
                if (takeTyping() && mayReplaceShown())
                    openMapFile(pathOf(file), [this, before, name] { compareWithFile(pathOf(before), name); });
            });
    connect(m_historyPanel, &history::HistoryPanel::logRequested, this, &EFICom::showLog);
    connect(m_history, &history::TuneHistory::changed, this, &EFICom::showHash);
    connect(m_history, &history::TuneHistory::shownChanged, this, &EFICom::showHash);
    showHash();
}

// A table of the history opens in place of the tune shown: a tune held
// nowhere else (not in the history, not the unit's table as last read, not
// the file it came from) is not dropped without a word.
bool EFICom::mayReplaceShown()
{
    const session::TuneState& s = m_model.state();
    if (!m_model.setupShown() || !m_model.mapsShown())
        return true;
    const table::EncodedImage shown = table::encode(s.setup, m_model.maps());
    const auto sameTune = [&shown](const table::ImageBytes& other) {
        return std::equal(shown.plusOne.begin(), shown.plusOne.begin() + kyr::link::ReadTableKeep, other.begin());
    };
    bool kept = m_history->shownInHistory() || (s.unitImage && s.imageWhole && sameTune(*s.unitImage));
    if (!kept && !s.filePath.empty())
        if (const auto file = files::loadMapFile(s.filePath))
            kept = sameTune(file.value().image);
    if (kept)
        return true;
    return m_messages->question(QStringLiteral("History"),
                                QStringLiteral("The tune shown has changes that are not saved in a file or read back "
                                               "from the KYR. Open the table from the history in its place?"))
           == Answer::Yes;
}

// "History…": the panel for the unit whose tune is shown; it says so when
// there is none.
void EFICom::showHistory()
{
    const bool first = !m_historyPanel->isVisible();
    m_historyPanel->show();
    m_historyPanel->raise();
    // Tall enough for a few tables with their times, the pages above it.
    // Once the dock is laid out: before, the layout has no place to resize.
    if (first && !m_historyPanel->isFloating())
        QTimer::singleShot(0, this, [this] {
            resizeDocks({m_historyPanel}, {std::max(240, height() / 3)}, Qt::Vertical);
        });
    m_history->reload();
}

// A log recorded on a table, shown on the Data Logger page.
void EFICom::showLog(const QString& file)
{
    for (Page* p : m_pages)
        if (auto* logger = qobject_cast<live::LoggerPage*>(p)) {
            if (logger->showLogFile(file))
                m_pageControl->setCurrentWidget(logger);
            return;
        }
}

// "Table 1a2b3c4d", and " *" while the history does not hold the tune shown.
void EFICom::showHash()
{
    const std::string& hash = m_history->shownHash();
    const bool kept = m_history->shownInHistory() || !m_history->available();
    m_hashLabel->setText(history::hashText(hash, kept));
    m_hashLabel->setToolTip(history::hashTip(hash, kept));
}

} // namespace kyr::app::window
