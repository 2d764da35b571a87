// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/live/LoggerPage.h"

#include "app/live/LivePoll.h"
#include "app/live/StripChart.h"
#include "app/common/FileChooser.h"
#include "app/common/MessageSink.h"
#include "app/common/TuneModel.h"
#include "files/MapFile.h"
#include "live/LogTrace.h"
#include "session/History.h"
#include "tools/SerialNumber.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include <algorithm>
#include <initializer_list>

namespace kyr::app::live {

const QString LogSaveFilter = QStringLiteral(
    "MLG binary logs (*.mlg);;MSL text logs (*.msl);;CSV logs (*.csv)");
const QString LogOpenFilter = QStringLiteral("Logs (*.mlg *.msl *.csv);;All files (*)");

namespace {

const QString Title = QStringLiteral("Data Logger");
const QString ChoiceKey = QStringLiteral("DataLogger/values");

QString captionOf(kyr::live::LogColumn c)
{
    const std::string_view caption = kyr::live::logColumnDef(c).caption;
    return QString::fromUtf8(caption.data(), static_cast<int>(caption.size()));
}

// A tune is never lost to a log: no log under a map file's name, none over a map file.
bool isMapFile(const QString& path)
{
    const QFileInfo info(path);
    if (info.suffix().compare(suffixOfFilter(MapFileFilter), Qt::CaseInsensitive) == 0)
        return true;
    return info.isFile() && files::loadMapFile(std::filesystem::path(path.toStdString())).ok();
}

// "1:05.3", or "1:02:05" past the hour; a span beyond any real log in seconds.
QString clockText(double seconds)
{
    if (!(seconds >= 0 && seconds < 1e9))
        return QStringLiteral("%1 s").arg(seconds, 0, 'g', 6);
    const auto whole = static_cast<long long>(seconds);
    if (whole >= 3600)
        return QStringLiteral("%1:%2:%3").arg(whole / 3600).arg(whole / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(whole % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(whole / 60).arg(std::fmod(seconds, 60.0), 4, 'f', 1, QLatin1Char('0'));
}

} // namespace

LoggerPage::LoggerPage(AppContext context, LivePoll& poll, std::shared_ptr<FileChooser> files, QWidget* parent)
    : Page(context, QStringLiteral("TabSheet5"), QStringLiteral("Data Logger"), parent),
      m_files(files ? std::move(files) : std::make_shared<QtFileChooser>(this)),
      m_poll(poll)
{
    m_elapsed.start();
    m_clock = [this] { return m_elapsed.elapsed(); };
    m_timer.setObjectName(QStringLiteral("DataLogTimer"));
    m_timer.setInterval(IntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &LoggerPage::DataLogTimerTimer);

    m_chart = new StripChart(this);
    m_chart->setObjectName(QStringLiteral("LogChart"));
    auto* row = new QHBoxLayout(this);
    row->addWidget(buildControls());
    row->addWidget(m_chart, 1);

    connect(m_on, &QPushButton::clicked, this, &LoggerPage::OnClick);
    connect(m_off, &QPushButton::clicked, this, &LoggerPage::OffClick);
    connect(m_marker, &QPushButton::clicked, this, &LoggerPage::addMarker);
    connect(m_open, &QPushButton::clicked, this, &LoggerPage::openLog);
    connect(m_live, &QPushButton::clicked, this, &LoggerPage::showLive);
    connect(m_display, &QCheckBox::toggled, m_chart, &QWidget::setVisible);
    connect(&m_poll, &LivePoll::liveUpdated, this, &LoggerPage::record);
    connect(m_chart, &StripChart::cursorMoved, this, [this](double, std::size_t row) { cursorMoved(row); });
    connect(m_chart, &StripChart::shownChanged, this, [this] { m_channels->setText(m_chart->shownText()); });
    loadChoice();
    setRunning(false);
}

QWidget* LoggerPage::buildControls()
{
    auto* side = new QWidget(this);
    auto* column = new QVBoxLayout(side);
    auto button = [side](const QString& text, const QString& name) {
        auto* b = new QPushButton(text, side);
        b->setObjectName(name);
        return b;
    };
    m_on = button(QStringLiteral("On"), QStringLiteral("LogOn"));
    m_off = button(QStringLiteral("Off"), QStringLiteral("LogOff"));
    m_marker = button(QStringLiteral("Marker"), QStringLiteral("LogMarker"));
    m_marker->setToolTip(QStringLiteral("Marks this moment in the log (M)"));
    m_open = button(QStringLiteral("Open log..."), QStringLiteral("LogOpen"));
    m_live = button(QStringLiteral("Live"), QStringLiteral("LogLive"));
    m_display = new QCheckBox(QStringLiteral("Display Chart"), side);
    m_display->setObjectName(QStringLiteral("DisplayChart"));
    m_display->setChecked(true);
    m_record = new QCheckBox(QStringLiteral("Record to File"), side);
    m_record->setObjectName(QStringLiteral("RecordToFile"));

    auto label = [side](const QString& name) {
        auto* l = new QLabel(side);
        l->setObjectName(name);
        l->setWordWrap(true);
        return l;
    };
    m_status = label(QStringLiteral("LogStatus"));
    m_recording = label(QStringLiteral("LogRecording"));
    m_shown = label(QStringLiteral("LogShown"));
    m_channels = label(QStringLiteral("LogChannels"));
    auto* onOff = new QHBoxLayout;
    onOff->addWidget(m_on);
    onOff->addWidget(m_off);
    column->addLayout(onOff);
    for (QWidget* w : std::initializer_list<QWidget*>{m_display, m_record, buildValues(side), m_marker, m_recording,
                                                       m_status, m_open, m_live, m_shown, m_channels})
        column->addWidget(w);
    column->addStretch(1);
    side->setMaximumWidth(260);
    return side;
}

QWidget* LoggerPage::buildValues(QWidget* parent)
{
    auto* values = new QGroupBox(QStringLiteral("Values"), parent);
    auto* grid = new QGridLayout(values);
    for (const kyr::live::LogColumnDef& d : kyr::live::logColumnTable()) {
        const int i = static_cast<int>(d.column);
        m_boxes[i] = new QCheckBox(captionOf(d.column), values);
        m_boxes[i]->setObjectName(QStringLiteral("LogValue%1").arg(i));
        grid->addWidget(m_boxes[i], i / 2, i % 2);
    }
    return values;
}

// The poll is not touched here: the window's model, and with it the poll, may be gone already.
LoggerPage::~LoggerPage() { stopRecording(); }

void LoggerPage::setClock(std::function<qint64()> msClock) { m_clock = std::move(msClock); }

double LoggerPage::seconds() const { return static_cast<double>(m_clock() - m_started) / 1000.0; }

QString LoggerPage::recordingFile() const
{
    return m_writer ? QString::fromStdString(m_writer->path()) : QString();
}

std::vector<kyr::live::LogColumn> LoggerPage::chosen() const
{
    std::vector<kyr::live::LogColumn> out;
    for (const kyr::live::LogColumnDef& d : kyr::live::logColumnTable())
        if (columnBox(d.column)->isChecked())
            out.push_back(d.column);
    return out;
}

// The values chosen last time, by caption; RPM on the first run.
void LoggerPage::loadChoice()
{
    QSettings settings;
    const QStringList saved = settings.value(ChoiceKey, QStringList{captionOf(kyr::live::LogColumn::Rpm)}).toStringList();
    for (const kyr::live::LogColumnDef& d : kyr::live::logColumnTable())
        columnBox(d.column)->setChecked(saved.contains(captionOf(d.column)));
    for (QCheckBox* b : m_boxes)
        connect(b, &QCheckBox::toggled, this, &LoggerPage::saveChoice);
}

void LoggerPage::saveChoice() const
{
    QStringList captions;
    for (kyr::live::LogColumn c : chosen())
        captions << captionOf(c);
    QSettings settings;
    settings.setValue(ChoiceKey, captions);
}

void LoggerPage::OnClick()
{
    if (logging())
        return;
    const std::vector<kyr::live::LogColumn> columns = chosen();
    if (columns.empty()) {
        messages().warning(Title, QStringLiteral("Choose at least one value to log."));
        return;
    }
    if (m_viewing)
        showLive();
    if (m_record->isChecked() && !startRecording(columns))
        return;
    m_columns = columns;
    m_cal = kyr::live::throttleCalOf(model().state().setup);
    m_markers = 0;
    m_rows = 0;
    std::vector<kyr::live::LogChannel> channels;
    for (kyr::live::LogColumn c : columns)
        channels.push_back(kyr::live::channelOf(c));
    m_chart->startLive(std::move(channels));
    m_started = m_clock();
    m_timer.start();
    setRunning(true);
    m_status->setText(m_poll.running() ? QString()
                                       : QStringLiteral("Waiting for live data: \"Analog Signals\" must be on and a "
                                                        "KYR connected."));
    DataLogTimerTimer();
}

void LoggerPage::OffClick()
{
    m_timer.stop();
    stopRecording();
    setRunning(false);
    m_recording->setText(m_rows > 0 ? QStringLiteral("Stopped: %1 records in %2.")
                                          .arg(m_rows).arg(clockText(m_chart->log().times.empty()
                                                                         ? 0.0 : m_chart->log().times.back()))
                                    : QString());
}

// The file is chosen and its header written before the logger runs, so a
// place that cannot be written is known at once, not at the first record.
bool LoggerPage::startRecording(const std::vector<kyr::live::LogColumn>& columns)
{
    const QString path = m_files->saveFileName(QStringLiteral("Record to File"), LogSaveFilter);
    if (path.isEmpty())
        return false;
    if (isMapFile(path)) {
        messages().warning(Title, QStringLiteral("%1 names a KYR map file. A data log is never written over a tune: "
                                                 "choose a name ending in .mlg, .msl or .csv.")
                                      .arg(QFileInfo(path).fileName()));
        return false;
    }
    auto writer = kyr::live::LogWriter::create(path.toStdString(), columns, logInfo());
    if (!writer.ok()) {
        messages().warning(Title, QString::fromStdString(writer.error().message));
        return false;
    }
    m_writer = std::move(writer).value();
    rememberDataLoggerFolder(path);
    return true;
}

// The tune the log runs on: the unit, its serial number, the open file and the table.
kyr::live::LogInfo LoggerPage::logInfo() const
{
    const session::TuneState& s = model().state();
    kyr::live::LogInfo info;
    info.unit = s.status.unitLine.empty() ? "KYR " + s.unit.modelText + " v" + s.unit.versionText
                                          : s.status.unitLine;
    if (!s.unit.typeName.empty())
        info.unit += ", " + s.unit.typeName;
    if (s.flags.UnitConnected)
        info.serial = tools::serialText(s.setup);
    info.tuneFile = s.filePath.filename().string();
    info.tableHash = kyr::session::tuneHash(s.image); // as the unit's history hashes its tables
    info.started = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
    return info;
}

void LoggerPage::stopRecording()
{
    if (!m_writer)
        return;
    Status closed = m_writer->close();
    m_writer.reset();
    if (!closed.ok())
        messages().warning(Title, QString::fromStdString(closed.error().message));
}

// One row per record, at the poll's full rate.
void LoggerPage::record(const kyr::live::LiveValues& values)
{
    if (!logging())
        return;
    const double at = seconds();
    std::vector<float> row;
    row.reserve(m_columns.size());
    for (kyr::live::LogColumn c : m_columns) {
        const auto v = kyr::live::logValue(c, values, m_cal);
        row.push_back(v ? static_cast<float>(*v) : kyr::live::LogData::missing());
    }
    m_chart->appendRow(at, row);
    ++m_rows;
    if (!m_writer)
        return;
    Status written = m_writer->append(at, values, m_cal);
    if (!written.ok()) {
        // The records so far stay in the file; recording stops, the chart goes on.
        m_writer.reset();
        m_record->setChecked(false);
        messages().warning(Title, QString::fromStdString(written.error().message));
    }
}

void LoggerPage::DataLogTimerTimer()
{
    if (!logging())
        return;
    if (m_rows > 0)
        m_status->clear();
    m_recording->setText(recordingText());
}

QString LoggerPage::recordingText() const
{
    if (!logging())
        return m_recording->text();
    const QString counts = QStringLiteral("%1, %2 records").arg(clockText(seconds())).arg(m_rows);
    if (!m_writer)
        return QStringLiteral("Logging (not recorded): %1").arg(counts);
    return QStringLiteral("Recording %1: %2").arg(QFileInfo(recordingFile()).fileName(), counts);
}

void LoggerPage::addMarker()
{
    if (!logging())
        return;
    const double at = seconds();
    const std::string text = "Marker " + std::to_string(++m_markers);
    m_chart->addMarker(at, text);
    if (m_writer) {
        Status marked = m_writer->mark(at, text);
        if (!marked.ok())
            messages().warning(Title, QString::fromStdString(marked.error().message));
    }
}

bool LoggerPage::previewKey(QKeyEvent* event)
{
    const bool plainM = event->key() == Qt::Key_M && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (!plainM || !logging() || qobject_cast<QLineEdit*>(QApplication::focusWidget()))
        return false;
    addMarker();
    return true;
}

void LoggerPage::openLog()
{
    if (logging())
        return;
    const QString path = m_files->openFileName(QStringLiteral("Open log"), LogOpenFilter);
    if (!path.isEmpty())
        showLogFile(path);
}

bool LoggerPage::showLogFile(const QString& path)
{
    if (logging()) {
        messages().warning(Title, QStringLiteral("The Data Logger is recording: press \"Off\" before showing a log."));
        return false;
    }
    auto read = kyr::live::readLog(path.toStdString());
    if (!read.ok()) {
        messages().warning(Title, QStringLiteral("Cannot show the log %1: %2")
                                      .arg(QFileInfo(path).fileName(), QString::fromStdString(read.error().message)));
        return false;
    }
    if (!m_viewing)
        m_liveLog = m_chart->takeLog();
    m_viewing = true;
    kyr::live::LogData& log = read.value();
    const double duration = log.times.empty() ? 0.0 : log.times.back() - log.times.front();
    m_shownName = QFileInfo(path).fileName();
    QString text = QStringLiteral("Log shown: %1\n%2, %3 records").arg(m_shownName, clockText(duration)).arg(log.rows());
    for (const auto& [key, value] : log.info)
        if (!value.empty())
            text += QStringLiteral("\n%1: %2").arg(QString::fromStdString(key), QString::fromStdString(value));
    m_shown->setText(text);
    m_logFields = kyr::live::liveFieldsOf(log);
    m_chart->setLog(std::move(log));
    m_chart->setFocus();
    setRunning(false);
    return true;
}

QString LoggerPage::shownText() const { return m_shown->text(); }

QString LoggerPage::channelsText() const { return m_channels->text(); }

void LoggerPage::showLive()
{
    if (!m_viewing)
        return;
    m_viewing = false;
    m_chart->setLog(std::move(m_liveLog));
    m_liveLog = {};
    m_shown->clear();
    m_poll.endReplay();
    setRunning(logging());
}

// While a log file is shown, its cursor owns the map charts' live bars.
void LoggerPage::cursorMoved(std::size_t row)
{
    if (m_viewing)
        m_poll.showReplay(kyr::live::liveValuesAt(m_chart->log(), m_logFields, row));
}

// While the logger runs its columns and file are fixed.
void LoggerPage::setRunning(bool on)
{
    m_on->setEnabled(!on);
    m_off->setEnabled(on);
    m_marker->setEnabled(on);
    m_record->setEnabled(!on);
    m_open->setEnabled(!on);
    m_live->setEnabled(m_viewing);
    for (QCheckBox* b : m_boxes)
        b->setEnabled(!on);
}

} // namespace kyr::app::live
