// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window/EFICom.h"

#include "app/common/ControlNames.h"
#include "app/window/RecentFiles.h"
#include "app/window/WheelGuard.h"
#include "app/window/WriteCheck.h"

#include "app/dialogs/AboutDialog.h"
#include "app/compare/TuneComparer.h"
#include "app/maps/MapEditSession.h"
#include "app/live/RTFrame.h"
#include "app/maps/CorrectionPage.h"
#include "app/maps/FuelPage.h"
#include "app/live/LivePoll.h"
#include "app/live/LoggerPage.h"
#include "app/live/MonitorPage.h"
#include "app/dialogs/SerialDialog.h"
#include "app/setup/PendingEdits.h"
#include "app/setup/SetupPage.h"
#include "app/dialogs/TimingAnalysisDialog.h"
#include "app/maps/TimingPage.h"
#include "app/dialogs/TpsCalDialog.h"
#include "link/Protocol.h"

#include <QAbstractButton>

#include <algorithm>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QSettings>
#include <QShowEvent>
#include <QStatusBar>
#include <QTabWidget>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QInputDialog>
#include <QMenu>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

namespace kyr::app::window {

namespace {

template <class T>
std::shared_ptr<T> orDefault(std::shared_ptr<T> given, std::shared_ptr<T> fallback)
{
    return given ? std::move(given) : std::move(fallback);
}

} // namespace

EFICom::EFICom(EFIComServices services, QWidget* parent)
    : QMainWindow(parent),
      m_messages(orDefault<MessageSink>(std::move(services.messages), std::make_shared<QtMessageSink>(this))),
      m_files(orDefault<FileChooser>(std::move(services.files), std::make_shared<QtFileChooser>(this))),
      m_print(orDefault<PrintTarget>(std::move(services.print), std::make_shared<QtPrintTarget>(this))),
      m_backupRoot(services.link.backupRoot)
{
    m_link = std::make_unique<link::LinkWorker>(m_model, std::move(services.link));
    setObjectName(QStringLiteral("EFICom"));
    setWindowTitle(QStringLiteral("KYR Tuner"));
    m_poll = new live::LivePoll(m_model, *m_link, &m_model);
    m_poll->setInterval(services.livePollMs);
    m_frames = new live::RealTimeFrames(&m_model);
    m_session = new maps::MapEditSession(m_model, *m_link, &m_model);
    m_comparer = new compare::TuneComparer(m_model, &m_model);
    connect(m_poll, &live::LivePoll::trackingCursor, m_session, &maps::MapEditSession::trackCursor);
    m_recovery = std::make_unique<link::LinkRecovery>(m_model, *m_link, *m_messages, services.reconnectMs);
    buildToolBar();
    buildPages();
    buildStatusBar();
    buildDialogs();
    buildCompare();
    buildHistory();

    Presenter::Controls controls;
    controls.connect = control(QStringLiteral("spConnect"));
    controls.disconnect = control(QStringLiteral("spDisconnect"));
    controls.readTable = control(QStringLiteral("spRead"));
    controls.writeTable = control(QStringLiteral("spWrite"));
    controls.refreshPorts = control(QStringLiteral("spRetry"));
    controls.portChooser = m_combo;
    for (int i = 0; i < 3; ++i)
        controls.panels[i] = m_panels[i];
    controls.linkIndicator = m_linkIndicator;
    verifyControlNames(*m_pageControl);
    m_presenter = std::make_unique<Presenter>(*this, controls, *m_pageControl);
    connect(&m_model, &TuneModel::stateChanged, this, &EFICom::applyControls);
    connect(&m_model, &TuneModel::mapsChanged, this, &EFICom::applyControls);
    connect(m_link.get(), &link::LinkWorker::tableWritten, this, &EFICom::tableWritten);
    connect(m_link.get(), &link::LinkWorker::connected, this, &EFICom::connectFinished);
    connect(&m_model, &TuneModel::busyChanged, this, &EFICom::lockPages);
    connect(m_link.get(), &link::LinkWorker::status, this, &EFICom::showStatus);
    connect(m_link.get(), &link::LinkWorker::progressChanged, this, &EFICom::setProgress);
    applyControls();
    // The window sees every key before the focused control does.
    qApp->installEventFilter(this);
    qApp->installEventFilter(new WheelGuard(this));
    // Wide enough for the whole tool bar where the screen allows.
    int width = m_toolBar->sizeHint().width() + 24;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        width = std::min(width, screen->availableGeometry().width());
    resize(std::max(1200, width), 720);
}

EFICom::~EFICom()
{
    qApp->removeEventFilter(this);
    // The link thread ends before the model it applies results to.
    m_recovery.reset();
    m_link.reset();
}

QToolButton* EFICom::addButton(const QString& name, const QString& caption, void (EFICom::*handler)())
{
    auto* b = new QToolButton(m_toolBar);
    b->setObjectName(name);
    b->setText(caption);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    // A value still being typed is finished (and sent) before the button
    // acts, by a click or its key alike: Write to KYR then carries it. The
    // button never takes the focus, so the field keeps it if it refuses.
    b->setFocusPolicy(Qt::NoFocus);
    if (handler)
        connect(b, &QToolButton::clicked, this, [this, handler] {
            if (takeTyping())
                (this->*handler)();
        });
    m_toolBar->addWidget(b);
    return b;
}

void EFICom::buildToolBar()
{
    m_toolBar = addToolBar(QStringLiteral("Tools"));
    m_toolBar->setObjectName(QStringLiteral("ToolBar1"));
    m_toolBar->setMovable(false);
    addButton(QStringLiteral("spOpen"), QStringLiteral("Open file"), &EFICom::spOpenClick);
    addButton(QStringLiteral("spClose"), QStringLiteral("Close all"), &EFICom::spCloseClick);
    addButton(QStringLiteral("spRestore"), QString::fromUtf8("Restore backup\u2026"), &EFICom::restoreBackupClick);
    addButton(QStringLiteral("spSave"), QStringLiteral("Save settings"), &EFICom::spSaveClick);
    addButton(QStringLiteral("spPrint"), QStringLiteral("Print"), &EFICom::spPrintClick);
    addButton(QStringLiteral("spSetup"), QStringLiteral("Setup"), &EFICom::spSetupClick);
    m_combo = new QComboBox(m_toolBar);
    m_combo->setObjectName(QStringLiteral("ComboBox1"));
    m_combo->setMinimumContentsLength(6);
    // Only the user's choice counts as a change; refilling the list does not.
    connect(m_combo, &QComboBox::textActivated, this, &EFICom::ComboBox1Change);
    m_toolBar->addWidget(m_combo);
    addButton(QStringLiteral("spRetry"), QStringLiteral("Refresh Com Port"), &EFICom::spRetryClick);
    addButton(QStringLiteral("spConnect"), QStringLiteral("Connect"), &EFICom::spConnectClick);
    addButton(QStringLiteral("spDisconnect"), QStringLiteral("Disconnect"), &EFICom::spDisconnectClick);
    addButton(QStringLiteral("spRead"), QStringLiteral("Read from KYR"), &EFICom::spReadClick);
    addButton(QStringLiteral("spWrite"), QStringLiteral("Write to KYR"), &EFICom::spWriteClick);
    addButton(QStringLiteral("sp3D"), QStringLiteral("Analyse Maps"), &EFICom::sp3DClick);
    addButton(QStringLiteral("spCompare"), QString::fromUtf8("Compare\u2026"), &EFICom::spCompareClick);
    addButton(QStringLiteral("spHistory"), QString::fromUtf8("History\u2026"), &EFICom::showHistory);
    QToolButton* mouse = addButton(QStringLiteral("SpeedButton3"), QStringLiteral("Enable/Disable mouse tuning"), nullptr);
    mouse->setCheckable(true);
    mouse->setChecked(false);
    connect(mouse, &QToolButton::toggled, &m_model, &TuneModel::setMouseTuning);
    addButton(QStringLiteral("spAbout"), QStringLiteral("About"), &EFICom::spAboutClick);
    addButton(QStringLiteral("spExit"), QStringLiteral("Exit"), &EFICom::spExitClick);
    addHabits();
}

// Keys and icons as desktop programs have them. A key does what a click on
// its button does, and nothing while the button is disabled.
void EFICom::addHabits()
{
    struct Habit {
        const char* name;
        QKeySequence key;
        QStyle::StandardPixmap icon;
    };
    const Habit habits[] = {
        {"spOpen", QKeySequence(Qt::CTRL | Qt::Key_O), QStyle::SP_DialogOpenButton},
        {"spClose", QKeySequence(Qt::CTRL | Qt::Key_W), QStyle::SP_DialogCloseButton},
        {"spRestore", {}, QStyle::SP_BrowserReload},
        {"spSave", QKeySequence(Qt::CTRL | Qt::Key_S), QStyle::SP_DialogSaveButton},
        {"spPrint", QKeySequence(Qt::CTRL | Qt::Key_P), QStyle::SP_FileDialogDetailedView},
        {"spSetup", {}, QStyle::SP_FileDialogInfoView},
        {"spRetry", QKeySequence(Qt::Key_F5), QStyle::SP_BrowserReload},
        {"spConnect", {}, QStyle::SP_DriveNetIcon},
        {"spDisconnect", {}, QStyle::SP_BrowserStop},
        {"spRead", QKeySequence(Qt::CTRL | Qt::Key_R), QStyle::SP_ArrowDown},
        {"spWrite", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_W), QStyle::SP_ArrowUp},
        {"sp3D", {}, QStyle::SP_FileDialogContentsView},
        {"spCompare", {}, QStyle::SP_FileDialogListView},
        {"spHistory", {}, QStyle::SP_FileDialogBack},
        {"SpeedButton3", {}, QStyle::SP_ArrowRight},
        {"spAbout", {}, QStyle::SP_MessageBoxInformation},
        {"spExit", {}, QStyle::SP_TitleBarCloseButton},
    };
    for (const Habit& h : habits) {
        auto* b = m_toolBar->findChild<QToolButton*>(QLatin1String(h.name));
        if (!b)
            continue;
        b->setIcon(style()->standardIcon(h.icon));
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        if (!h.key.isEmpty()) {
            b->setShortcut(h.key);
            b->setToolTip(b->text() + QStringLiteral(" (") + h.key.toString(QKeySequence::NativeText) + QLatin1Char(')'));
        }
    }
    // The longest caption shows as its button's tip, so that the bar fits a laptop's screen.
    if (auto* mouse = m_toolBar->findChild<QToolButton*>(QStringLiteral("SpeedButton3"))) {
        mouse->setToolButtonStyle(Qt::ToolButtonIconOnly);
        mouse->setToolTip(mouse->text());
    }
    // "Open file" keeps the tunes opened or saved last in its menu.
    auto* open = m_toolBar->findChild<QToolButton*>(QStringLiteral("spOpen"));
    auto* recent = new QMenu(open);
    recent->setObjectName(QStringLiteral("RecentFiles"));
    open->setMenu(recent);
    open->setPopupMode(QToolButton::MenuButtonPopup);
    connect(recent, &QMenu::aboutToShow, this, &EFICom::fillRecentFiles);
    addWriteCheckMenu();
    addConnectMenu();
}

// "Connect" keeps "Quick connect" in its menu, remembered.
void EFICom::addConnectMenu()
{
    auto* button = m_toolBar->findChild<QToolButton*>(QStringLiteral("spConnect"));
    auto* menu = new QMenu(button);
    menu->setObjectName(QStringLiteral("ConnectMenu"));
    QAction* quick = menu->addAction(QStringLiteral("Quick connect"));
    quick->setObjectName(QStringLiteral("QuickConnect"));
    quick->setCheckable(true);
    quick->setToolTip(QStringLiteral("Take each reply of the KYR as soon as it is whole instead of waiting its fixed pauses"));
    connect(menu, &QMenu::aboutToShow, this, [quick] { quick->setChecked(connectPace() == session::ConnectPace::Quick); });
    connect(quick, &QAction::toggled, this, [](bool on) { QSettings().setValue(QStringLiteral("Link/QuickConnect"), on); });
    button->setMenu(menu);
    button->setPopupMode(QToolButton::MenuButtonPopup);
}

// "Write to KYR" keeps the look before writing in its menu: on or off, and
// the timing limit, both remembered.
void EFICom::addWriteCheckMenu()
{
    auto* write = m_toolBar->findChild<QToolButton*>(QStringLiteral("spWrite"));
    auto* menu = new QMenu(write);
    menu->setObjectName(QStringLiteral("WriteCheckMenu"));
    QAction* on = menu->addAction(QStringLiteral("Check before writing"));
    on->setObjectName(QStringLiteral("WriteCheckOn"));
    on->setCheckable(true);
    QAction* limit = menu->addAction(QString());
    limit->setObjectName(QStringLiteral("WriteCheckLimit"));
    auto refresh = [on, limit] {
        const WriteCheck c = WriteCheck::load();
        on->setChecked(c.enabled);
        limit->setText(QStringLiteral("Timing limit: %1\u00b0\u2026").arg(c.timingLimit));
    };
    connect(menu, &QMenu::aboutToShow, this, refresh);
    connect(on, &QAction::toggled, this, [](bool checked) {
        WriteCheck c = WriteCheck::load();
        c.enabled = checked;
        c.save();
    });
    connect(limit, &QAction::triggered, this, [this] {
        WriteCheck c = WriteCheck::load();
        bool ok = false;
        const double value = QInputDialog::getDouble(this, QStringLiteral("Check before writing"),
                                                     QStringLiteral("Highest timing advance the Timing Map may hold (\u00b0):"),
                                                     c.timingLimit, WriteCheck::LowestTimingLimit,
                                                     WriteCheck::HighestTimingLimit, 1, &ok);
        if (!ok)
            return;
        c.timingLimit = value;
        c.save();
    });
    refresh();
    write->setMenu(menu);
    write->setPopupMode(QToolButton::MenuButtonPopup);
}

void EFICom::fillRecentFiles()
{
    auto* menu = findChild<QMenu*>(QStringLiteral("RecentFiles"));
    menu->clear();
    const QStringList files = RecentFiles::list();
    if (files.isEmpty())
        menu->addAction(QStringLiteral("No recent files"))->setEnabled(false);
    for (const QString& path : files)
        connect(menu->addAction(QDir::toNativeSeparators(path)), &QAction::triggered, this,
                [this, path] {
                    if (takeTyping())
                        openMapFile(std::filesystem::path(path.toStdString()));
                });
}

void EFICom::buildPages()
{
    const AppContext context{m_model, *m_link, *m_messages};
    m_pageControl = new QTabWidget(this);
    m_pageControl->setObjectName(QStringLiteral("PageControl1"));
    const maps::MapServices mapServices{*m_session, *m_comparer, *m_poll, *m_frames};
    m_pages = {new setup::SetupPage(context, *m_poll, *m_frames), new maps::TimingPage(context, mapServices),
               new maps::FuelPage(context, mapServices, m_files), new maps::CorrectionPage(context, mapServices),
               new live::LoggerPage(context, *m_poll, m_files), new live::MonitorPage(context, *m_poll)};
    for (Page* p : m_pages) {
        m_pageControl->addTab(p, p->caption());
        connect(p, &Page::statusText, this, &EFICom::showStatus);
    }
    setCentralWidget(m_pageControl);
}

void EFICom::buildStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    const int stretch[3] = {3, 3, 1};
    for (int i = 0; i < 3; ++i) {
        m_panels[i] = new QLabel(bar);
        m_panels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        m_panels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        bar->addWidget(m_panels[i], stretch[i]);
    }
    m_hashLabel = new QLabel(bar);
    m_hashLabel->setObjectName(QStringLiteral("TableHash"));
    bar->addPermanentWidget(m_hashLabel);
    m_linkIndicator = new QLabel(bar);
    m_linkIndicator->setObjectName(QStringLiteral("LinkIndicator"));
    bar->addPermanentWidget(m_linkIndicator);
    m_progress = new QProgressBar(bar);
    m_progress->setObjectName(QStringLiteral("LinkProgress"));
    m_progress->setRange(0, 0); // busy: a transfer has no progress to report
    m_progress->setMaximumWidth(120);
    m_progress->setTextVisible(false);
    m_progress->hide();
    bar->addPermanentWidget(m_progress);
}

// Created once, in this order, and kept until the program ends.
void EFICom::buildDialogs()
{
    const AppContext context{m_model, *m_link, *m_messages};
    m_timing = new dialogs::TimingAnalysisDialog(m_model, this);
    auto* about = new dialogs::AboutDialog(m_model, this);
    m_about = about;
    m_setupChanged = new dialogs::SetupChangedDialog(this);
    m_tpsCal = new dialogs::TpsCalDialog(context, this);
    m_serial = new dialogs::SerialDialog(context, about);
    about->setSerialDialog(m_serial);
    m_saveFrom = new dialogs::SaveFromDialog(m_model, this);
    m_dialogs = {m_timing, m_about, m_setupChanged, m_tpsCal, m_serial, m_saveFrom};
    connect(m_setupChanged, &dialogs::SetupChangedDialog::answered, this, &EFICom::setupChangedAnswered);
    connect(m_saveFrom, &dialogs::SaveFromDialog::saveChosen, this, &EFICom::saveFrom);
    if (auto* setupPage = qobject_cast<setup::SetupPage*>(m_pages.front()))
        connect(setupPage, &setup::SetupPage::throttleCalibrationRequested, m_tpsCal, &QDialog::show);
}

QWidget* EFICom::control(const QString& name) const
{
    if (auto* w = m_toolBar->findChild<QWidget*>(name))
        return w;
    return m_pageControl->findChild<QWidget*>(name);
}

// The controls as the tune session's state says, through the one presenter.
void EFICom::applyControls()
{
    if (m_presenter)
        m_presenter->show(m_model.state(), differsFromUnit());
}

// The tune shown differs from the unit's when an edit is not yet stored in
// it, or when it is not the table last read from or written to the unit.
bool EFICom::differsFromUnit() const
{
    const session::TuneState& s = m_model.state();
    if (s.flags.ImageChanged)
        return true;
    if (!s.unitImage || !s.imageWhole || !m_model.mapsShown())
        return false;
    const table::EncodedImage shown = table::encode(s.setup, m_model.maps());
    return !std::equal(shown.plusOne.begin(), shown.plusOne.begin() + kyr::link::ReadTableKeep, s.unitImage->begin());
}

// A field's typing not yet taken is judged before a command acts; a refused
// entry stops the command, and the field says why.
bool EFICom::takeTyping() { return setup::PendingEdits::finishTyping(QApplication::focusWidget()); }

void EFICom::showStatus(const QString& text) { m_panels[0]->setText(text); }

void EFICom::setProgress(bool on) { m_progress->setVisible(on); }

// While a sequence is queued or running the pages take no edits: an edit
// would be lost under the state the sequence brings back.
void EFICom::lockPages(bool locked)
{
    for (Page* p : m_pages)
        p->setEnabled(!locked);
}

void EFICom::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // Restoring after a minimise shows the window again: the search runs
    // once, or it would close the port of a connected unit.
    if (!m_searched && !event->spontaneous()) {
        m_searched = true;
        FormShow();
    }
}

void EFICom::closeEvent(QCloseEvent* event)
{
    if (m_exitDone) {
        event->accept();
        return;
    }
    // The title bar's close is Exit: the port is closed and a changed setup offered first.
    event->ignore();
    if (takeTyping())
        spExitClick();
}

bool EFICom::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || !isEnabled())
        return QMainWindow::eventFilter(watched, event);
    auto* w = qobject_cast<QWidget*>(watched);
    // Once per key: the event is offered again to each parent it propagates to.
    const bool first = w && (w == QApplication::focusWidget() || (!QApplication::focusWidget() && w == this));
    if (!first || w->window() != this)
        return QMainWindow::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    // Shift, Ctrl and Alt make no difference to Escape.
    if (key->key() == Qt::Key_Escape) {
        // A field with typing not yet sent takes Escape to put its value back.
        // So does a prompt that closes on Escape.
        if (setup::PendingEdits::holds(w) || w->property("takesEscape").toBool())
            return false;
        spExitClick();
        return true;
    }
    if (auto* page = qobject_cast<Page*>(m_pageControl->currentWidget()); page && page->isEnabled())
        return page->previewKey(key);
    return false;
}

} // namespace kyr::app::window
