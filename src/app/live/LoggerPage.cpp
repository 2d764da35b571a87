#include "app/live/LoggerPage.h"

#include "app/window/FileChooser.h"
#include "app/live/LivePoll.h"
#include "app/window/MessageSink.h"
#include "app/window/TuneModel.h"
#include "files/MapFile.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <initializer_list>
#include <limits>

namespace kyr::app {

namespace {

const QString Title = QStringLiteral("Data Logger");

QString captionOf(const live::LogColumnDef& d)
{
    return QString::fromUtf8(d.caption.data(), static_cast<int>(d.caption.size()));
}

// A tune is never lost to a log: no log under a map file's name, none over a map file.
bool isMapFile(const QString& path)
{
    const QFileInfo info(path);
    if (info.suffix().compare(suffixOfFilter(MapFileFilter), Qt::CaseInsensitive) == 0)
        return true;
    return info.isFile() && files::loadMapFile(std::filesystem::path(path.toStdString())).ok();
}

} // namespace

LoggerPage::LoggerPage(AppContext context, std::shared_ptr<FileChooser> files, QWidget* parent)
    : Page(context, QStringLiteral("TabSheet5"), QStringLiteral("Data Logger"), parent),
      m_files(files ? std::move(files) : std::make_shared<QtFileChooser>(this)),
      m_poll(LivePoll::of(context.model, context.link))
{
    m_timer.setObjectName(QStringLiteral("DataLogTimer"));
    m_timer.setInterval(IntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &LoggerPage::DataLogTimerTimer);

    auto* row = new QHBoxLayout(this);
    row->addWidget(buildControls());
    row->addWidget(buildChart(), 1);

    connect(m_on, &QPushButton::clicked, this, &LoggerPage::OnClick);
    connect(m_off, &QPushButton::clicked, this, &LoggerPage::OffClick);
    connect(m_display, &QCheckBox::toggled, m_view, &QWidget::setVisible);
    setRunning(false);
}

QWidget* LoggerPage::buildControls()
{
    auto* side = new QWidget(this);
    auto* column = new QVBoxLayout(side);
    m_on = new QPushButton(QStringLiteral("On"), side);
    m_on->setObjectName(QStringLiteral("LogOn"));
    m_off = new QPushButton(QStringLiteral("Off"), side);
    m_off->setObjectName(QStringLiteral("LogOff"));
    m_display = new QCheckBox(QStringLiteral("Display Chart"), side);
    m_display->setObjectName(QStringLiteral("DisplayChart"));
    m_display->setChecked(true);
    m_record = new QCheckBox(QStringLiteral("Record to File"), side);
    m_record->setObjectName(QStringLiteral("RecordToFile"));

    auto* values = new QGroupBox(QStringLiteral("Values"), side);
    auto* grid = new QGridLayout(values);
    for (const live::LogColumnDef& d : live::logColumnTable()) {
        const int i = static_cast<int>(d.column);
        m_boxes[i] = new QCheckBox(captionOf(d), values);
        m_boxes[i]->setObjectName(QStringLiteral("LogValue%1").arg(i));
        grid->addWidget(m_boxes[i], i / 2, i % 2);
    }
    columnBox(live::LogColumn::Rpm)->setChecked(true);

    m_status = new QLabel(side);
    m_status->setObjectName(QStringLiteral("LogStatus"));
    m_status->setWordWrap(true);
    for (QWidget* w : std::initializer_list<QWidget*>{m_on, m_off, m_display, m_record, values, m_status})
        column->addWidget(w);
    column->addStretch(1);
    return side;
}

QWidget* LoggerPage::buildChart()
{
    auto* chart = new QChart;
    chart->setTitle(QStringLiteral("Data Logger"));
    m_x = new QValueAxis(chart);
    m_x->setTitleText(QStringLiteral("Time (s)"));
    m_x->setRange(0, ChartSeconds);
    m_y = new QValueAxis(chart);
    chart->addAxis(m_x, Qt::AlignBottom);
    chart->addAxis(m_y, Qt::AlignLeft);
    m_view = new QChartView(chart, this);
    m_view->setObjectName(QStringLiteral("LogChart"));
    m_view->setRenderHint(QPainter::Antialiasing);
    return m_view;
}

LoggerPage::~LoggerPage() { stopRecording(); }

QChart* LoggerPage::chart() const { return m_view->chart(); }

QString LoggerPage::recordingFile() const
{
    return m_writer ? QString::fromStdString(m_writer->path()) : QString();
}

std::vector<live::LogColumn> LoggerPage::chosen() const
{
    std::vector<live::LogColumn> out;
    for (const live::LogColumnDef& d : live::logColumnTable())
        if (columnBox(d.column)->isChecked())
            out.push_back(d.column);
    return out;
}

void LoggerPage::OnClick()
{
    if (logging())
        return;
    const std::vector<live::LogColumn> columns = chosen();
    if (columns.empty()) {
        messages().warning(Title, QStringLiteral("Choose at least one value to log."));
        return;
    }
    if (m_record->isChecked() && !startRecording(columns))
        return;
    resetChart(columns);
    m_seen = m_poll.records();
    m_clock.start();
    m_timer.start();
    setRunning(true);
    if (!m_poll.running())
        m_status->setText(QStringLiteral("Waiting for live data: \"Analog Signals\" must be on and a KYR connected."));
}

void LoggerPage::OffClick()
{
    m_timer.stop();
    stopRecording();
    setRunning(false);
}

// The file is chosen and its header written before the logger runs, so a
// place that cannot be written is known at once, not at the first tick.
bool LoggerPage::startRecording(const std::vector<live::LogColumn>& columns)
{
    const QString path = m_files->saveFileName(QStringLiteral("Record to File"), DataLogFilter);
    if (path.isEmpty())
        return false;
    if (isMapFile(path)) {
        messages().warning(Title, QStringLiteral("%1 names a KYR map file. A data log is never written over a tune: "
                                                 "choose a name ending in .%2.")
                                      .arg(QFileInfo(path).fileName(), suffixOfFilter(DataLogFilter)));
        return false;
    }
    auto writer = live::DataLogWriter::create(path.toStdString(), columns);
    if (!writer.ok()) {
        messages().warning(Title, QString::fromStdString(writer.error().message));
        return false;
    }
    m_writer.emplace(std::move(writer).value());
    return true;
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

void LoggerPage::DataLogTimerTimer()
{
    if (!logging() || !m_poll.latest() || m_poll.records() == m_seen)
        return;
    m_seen = m_poll.records();
    const double seconds = static_cast<double>(m_clock.elapsed()) / 1000.0;
    const live::LiveValues& values = *m_poll.latest();
    const live::ThrottleCal cal = live::throttleCalOf(model().state().setup);
    m_status->clear();
    if (m_writer) {
        Status written = m_writer->append(seconds, values, cal);
        if (!written.ok()) {
            // The lines so far stay in the file; recording stops, the chart goes on.
            m_writer.reset();
            m_record->setChecked(false);
            messages().warning(Title, QString::fromStdString(written.error().message));
        }
    }
    plot(seconds, values, cal);
}

void LoggerPage::resetChart(const std::vector<live::LogColumn>& columns)
{
    QChart* c = chart();
    c->removeAllSeries();
    m_series.fill(nullptr);
    for (live::LogColumn col : columns) {
        auto* s = new QLineSeries;
        s->setName(captionOf(live::logColumnDef(col)));
        c->addSeries(s);
        s->attachAxis(m_x);
        s->attachAxis(m_y);
        m_series[static_cast<int>(col)] = s;
    }
    m_x->setRange(0, ChartSeconds);
    m_y->setRange(0, 1);
}

void LoggerPage::plot(double seconds, const live::LiveValues& values, live::ThrottleCal cal)
{
    for (const live::LogColumnDef& d : live::logColumnTable()) {
        QLineSeries* s = series(d.column);
        if (!s)
            continue;
        // Points that scrolled out of the window go, so a long run keeps a short chart.
        int old = 0;
        while (old < s->count() && s->at(old).x() < seconds - ChartSeconds)
            ++old;
        if (old > 0)
            s->removePoints(0, old);
        if (auto v = live::logValue(d.column, values, cal))
            s->append(seconds, *v);
    }
    fitAxes(seconds);
}

void LoggerPage::fitAxes(double seconds)
{
    const double start = std::max(0.0, seconds - ChartSeconds);
    m_x->setRange(start, std::max(start + ChartSeconds, seconds));
    double lo = std::numeric_limits<double>::max(), hi = std::numeric_limits<double>::lowest();
    for (QLineSeries* s : m_series)
        if (s)
            for (const QPointF& p : s->points()) {
                lo = std::min(lo, p.y());
                hi = std::max(hi, p.y());
            }
    if (lo > hi)
        return;
    const double pad = std::max(1.0, (hi - lo) * 0.05);
    m_y->setRange(lo - pad, hi + pad);
}

// While the logger runs its columns and file are fixed.
void LoggerPage::setRunning(bool on)
{
    m_on->setEnabled(!on);
    m_off->setEnabled(on);
    m_record->setEnabled(!on);
    for (QCheckBox* b : m_boxes)
        b->setEnabled(!on);
}

} // namespace kyr::app
