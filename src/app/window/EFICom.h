// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: tool bar, the six pages, the status bar, the dialogs, and
// the tool bar handlers with their enable/disable rules. The pages and
// dialogs are separate classes; the window only composes them.

#include "app/common/AppContext.h"
#include "app/common/FileChooser.h"
#include "app/link/LinkRecovery.h"
#include "app/link/LinkWorker.h"
#include "app/live/LivePoll.h"
#include "app/common/MessageSink.h"
#include "app/window/Presenter.h"
#include "app/window/PrintTarget.h"
#include "session/WriteRules.h"
#include "app/dialogs/SaveFromDialog.h"
#include "app/dialogs/SetupChangedDialog.h"
#include "app/common/TuneModel.h"

#include <QMainWindow>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QComboBox;
class QLabel;
class QProgressBar;
class QTabWidget;
class QToolBar;
class QToolButton;

namespace kyr::app {
class Page;
}
namespace kyr::app::compare {
class ComparePanel;
class TuneComparer;
}
namespace kyr::app::history {
class HistoryPanel;
class TuneHistory;
}
namespace kyr::app::live {
class RealTimeFrames;
}
namespace kyr::app::maps {
class MapEditSession;
}

namespace kyr::app::window {

/// What the window is given; anything left empty takes the program's own.
struct EFIComServices {
    std::shared_ptr<MessageSink> messages; ///< default: message boxes over the window
    std::shared_ptr<FileChooser> files;    ///< default: the file dialogs
    link::LinkSetup link;                        ///< default: the serial devices, the steady clock
    int livePollMs = live::LivePoll::IntervalMs; ///< Timer1's interval; 0 leaves the real-time poll off
    int reconnectMs = link::LinkRecovery::RetryMs; ///< how often a lost link is tried again
    std::shared_ptr<PrintTarget> print;    ///< default: the print dialog and its printer
};

class EFICom : public QMainWindow {
    Q_OBJECT
public:
    explicit EFICom(EFIComServices services = {}, QWidget* parent = nullptr);
    ~EFICom() override;

    TuneModel& model() { return m_model; }
    link::LinkWorker& linkWorker() { return *m_link; }
    link::LinkRecovery& linkRecovery() { return *m_recovery; }
    /// The real-time poll the pages and the logger share.
    live::LivePoll& livePoll() { return *m_poll; }
    /// The real-time frames of the pages and the target marker they share.
    live::RealTimeFrames& realTimeFrames() { return *m_frames; }
    /// The map edit session every map page edits through.
    maps::MapEditSession& mapEditSession() { return *m_session; }
    /// The tune compared with, shared by the map pages and the compare panel.
    compare::TuneComparer& tuneComparer() { return *m_comparer; }
    /// The pages in tab order.
    const std::vector<Page*>& pages() const { return m_pages; }
    /// The dialogs in the order they were created.
    const std::vector<QDialog*>& dialogs() const { return m_dialogs; }
    /// A tool bar or page control by its form name ("spConnect", "Edit18"), or null.
    QWidget* control(const QString& name) const;

    /// Opens a map file as Open file does with the file chosen; then runs
    /// once the file is shown.
    void openMapFile(const std::filesystem::path& path, std::function<void()> then = {});
    /// Compares the tune shown with a map file, called name in the list (its
    /// file name when empty); a file that cannot be used is told and changes nothing.
    void compareWithFile(const std::filesystem::path& path, const QString& name = {});
    /// The list of what differs while a tune is compared.
    compare::ComparePanel* comparePanel() const { return m_compare; }
    /// "History…": the tables of the unit whose tune is shown.
    void showHistory();
    history::HistoryPanel* historyPanel() const { return m_historyPanel; }
    history::TuneHistory& tuneHistory() { return *m_history; }

signals:
    /// Exit has closed the port; the window closes next.
    void exitFinished();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// What the setup-changed prompt was shown for.
    enum class PendingAction { None, Exit, CloseAll, Disconnect };
    /// How a table write ended.
    enum class WriteResult { Written, Declined, Failed };

    // ---- building (EFICom.cpp)
    void buildToolBar();
    void addHabits();
    void fillRecentFiles();
    void addWriteCheckMenu();
    void addConnectMenu();
    QToolButton* addButton(const QString& name, const QString& caption, void (EFICom::*handler)());
    void buildPages();
    void buildStatusBar();
    void buildDialogs();
    void applyControls();
    bool mayReplaceShown();
    bool takeTyping();
    void showStatus(const QString& text);
    void setProgress(bool on);
    void lockPages(bool locked);

    /// Runs then once, with the answer that carries ticket t.
    template <class... Args, class F>
    void onAnswer(void (link::LinkWorker::*signal)(link::Ticket, Args...), link::Ticket t, F then)
    {
        auto once = std::make_shared<QMetaObject::Connection>();
        *once = connect(m_link.get(), signal, this, [t, once, then = std::move(then)](link::Ticket got, Args... args) {
            if (got != t)
                return;
            QObject::disconnect(*once);
            then(args...);
        });
    }

    // ---- the link (EFIComLink.cpp)
    void FormShow();
    void ComboBox1Change(const QString& text);
    void spConnectClick();
    static session::ConnectPace connectPace();
    void spDisconnectClick();
    void disconnectUnit();
    void spRetryClick();
    void spReadClick();
    void spWriteClick();
    void spExitClick();
    void writeImage(std::function<void(WriteResult)> then);
    void tableWritten(link::Ticket t, const session::SessionResult& result);
    void connectFinished(link::Ticket t, const session::SessionResult& result);
    bool confirmWrite(const session::WritePlan& plan);
    void askSetupChanged(PendingAction action);
    void setupChangedAnswered(dialogs::SetupChangedDialog::Choice choice);
    void carryOut(PendingAction action);
    void finishExit();

    // ---- files and the other buttons (EFIComFiles.cpp)
    void spOpenClick();
    void spSaveClick();
    void saveFrom(dialogs::SaveFromDialog::Source source);
    void storeMapFile(const table::ImageBytes& image, const std::array<uint8_t, 7>& identity);
    void spCloseClick();
    void closeAll();
    void spPrintClick();
    void spSetupClick();
    void sp3DClick();
    void spAboutClick();
    void restoreBackupClick();
    bool differsFromUnit() const;

    // ---- comparing (EFIComCompare.cpp)
    void buildCompare();
    void spCompareClick();
    void compareWithUnit();
    void fillCompareMenu();
    bool canCompare();

    // ---- the history (EFIComHistory.cpp)
    void buildHistory();
    void showLog(const QString& file);
    void showHash();

    std::shared_ptr<MessageSink> m_messages;
    std::shared_ptr<FileChooser> m_files;
    std::shared_ptr<PrintTarget> m_print;
    TuneModel m_model;
    std::unique_ptr<link::LinkWorker> m_link;
    std::unique_ptr<Presenter> m_presenter;
    std::unique_ptr<link::LinkRecovery> m_recovery;
    // Children of the model, made before the pages and handed to them.
    live::LivePoll* m_poll = nullptr;
    live::RealTimeFrames* m_frames = nullptr;
    maps::MapEditSession* m_session = nullptr;
    compare::TuneComparer* m_comparer = nullptr;
    history::TuneHistory* m_history = nullptr;
    std::filesystem::path m_backupRoot;

    QToolBar* m_toolBar = nullptr;
    QComboBox* m_combo = nullptr;       // ComboBox1
    QTabWidget* m_pageControl = nullptr; // PageControl1
    std::vector<Page*> m_pages;
    QLabel* m_panels[3] = {};
    QLabel* m_linkIndicator = nullptr;
    QLabel* m_hashLabel = nullptr; // the table hash of the tune shown
    QProgressBar* m_progress = nullptr;

    std::vector<QDialog*> m_dialogs;
    QDialog* m_timing = nullptr;
    QDialog* m_about = nullptr;
    dialogs::SetupChangedDialog* m_setupChanged = nullptr;
    QDialog* m_tpsCal = nullptr;
    QDialog* m_serial = nullptr;
    dialogs::SaveFromDialog* m_saveFrom = nullptr;
    compare::ComparePanel* m_compare = nullptr;
    history::HistoryPanel* m_historyPanel = nullptr;

    std::map<link::Ticket, std::function<void(WriteResult)>> m_afterWrite; // writes someone waits for
    std::map<link::Ticket, std::function<void()>> m_afterConnect;
    bool m_searched = false;   // the start-up port search has run
    PendingAction m_pending = PendingAction::None;
    bool m_exiting = false;    // Exit is closing the port
    bool m_exitDone = false;   // the port is closed: the window may close
};

} // namespace kyr::app::window
