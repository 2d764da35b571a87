// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/maps/FuelSuggestPanel.h"

#include "app/common/FileChooser.h"
#include "app/common/MessageSink.h"
#include "app/common/TuneModel.h"
#include "app/live/LivePoll.h"
#include "app/maps/MapEditSession.h"
#include "live/DataLog.h"
#include "live/LogFile.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace kyr::app::maps {

namespace {

using kyr::live::FuelCurve;

const QString LogOpenFilter = QStringLiteral("Logs (*.mlg *.msl *.csv);;All files (*)");
constexpr double GapSeconds = 10; // between one log (or live run) and the next
const QColor AddsFuel(0, 70, 200);
const QColor RemovesFuel(200, 0, 0);
const QColor Faint(165, 165, 165);

struct CurveChoice {
    FuelCurve curve;
    const char* caption;
};
constexpr CurveChoice Curves[] = {
    {FuelCurve::Cruise, "Cruise"}, {FuelCurve::Low, "Low"}, {FuelCurve::High, "High"}, {FuelCurve::Vacuum, "Vacuum"}};

kyr::maps::ChartId chartOf(FuelCurve curve)
{
    return curve == FuelCurve::Vacuum ? kyr::maps::ChartId::FuelVac : kyr::maps::ChartId::FuelRpm;
}

std::optional<FuelCurve> curveOfRpmMap(kyr::maps::FuelRpmMap map)
{
    switch (map) {
    case kyr::maps::FuelRpmMap::Low: return FuelCurve::Low;
    case kyr::maps::FuelRpmMap::High: return FuelCurve::High;
    case kyr::maps::FuelRpmMap::Cruise: return FuelCurve::Cruise;
    }
    return std::nullopt;
}

kyr::maps::FuelRpmMap rpmMapOf(FuelCurve curve)
{
    return curve == FuelCurve::Low ? kyr::maps::FuelRpmMap::Low
         : curve == FuelCurve::High ? kyr::maps::FuelRpmMap::High
                                    : kyr::maps::FuelRpmMap::Cruise;
}

QString curveName(FuelCurve curve)
{
    for (const auto& c : Curves)
        if (c.curve == curve)
            return QString::fromLatin1(c.caption);
    return {};
}

// A raw setup value of the setup copy (plus-one form); none for a byte that holds no value.
std::optional<int> rawSetup(const table::SetupCopy& setup, table::SetupParam p)
{
    const auto offset = static_cast<std::size_t>(table::setupOffset(p));
    if (offset >= setup.size() || setup[offset] < 1 || setup[offset] == table::AbsentPlusOne)
        return std::nullopt;
    return setup[offset] - 1;
}

double valueOr(const std::optional<double>& v) { return v ? *v : NAN; }

} // namespace

FuelSuggestPanel::FuelSuggestPanel(AppContext context, MapEditSession& session, live::LivePoll& poll,
                                   std::shared_ptr<FileChooser> files, QWidget* parent)
    : QGroupBox(QStringLiteral("Fuel Suggestions"), parent), m_context(context), m_session(session),
      m_files(std::move(files))
{
    setObjectName(QStringLiteral("FuelSuggestions"));
    auto* column = new QVBoxLayout(this);
    auto* top = new QHBoxLayout();
    top->addWidget(new QLabel(QStringLiteral("Curve"), this));
    m_curveChoice = new QComboBox(this);
    m_curveChoice->setObjectName(QStringLiteral("FuelSuggestCurve"));
    for (const auto& c : Curves)
        m_curveChoice->addItem(QString::fromLatin1(c.caption), static_cast<int>(c.curve));
    top->addWidget(m_curveChoice, 1);
    column->addLayout(top);

    m_table = new QTableWidget(0, ColumnCount, this);
    m_table->setObjectName(QStringLiteral("FuelSuggestTable"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Point"), QStringLiteral("x"), QStringLiteral("Hits"),
                                        QStringLiteral("Volts"), QStringLiteral("Rich/Lean"),
                                        QStringLiteral("Suggest"), QStringLiteral("Lock")});
    m_table->horizontalHeaderItem(ShareCol)->setToolTip(QStringLiteral("Share of the time rich / lean, %"));
    m_table->horizontalHeaderItem(ChangeCol)->setToolTip(QStringLiteral("Suggested change of the point, %"));
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    column->addWidget(m_table, 1);

    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("FuelSuggestSummary"));
    m_summary->setWordWrap(true);
    column->addWidget(m_summary);
    column->addWidget(buildButtons());

    connect(m_curveChoice, &QComboBox::activated, this,
            [this](int i) { setCurve(static_cast<FuelCurve>(m_curveChoice->itemData(i).toInt())); });
    connect(m_table, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!m_filling && item->column() == LockCol)
            lockClicked(item->row(), item->checkState() == Qt::Checked);
    });
    m_refresh.setSingleShot(true);
    m_refresh.setInterval(RefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &FuelSuggestPanel::refresh);
    m_clock.start();
    connect(&poll, &live::LivePoll::liveUpdated, this, &FuelSuggestPanel::takeLive);
    // A new run of live records goes on after what the panel holds.
    connect(&poll, &live::LivePoll::runningChanged, this, [this] { m_liveStart.reset(); });
    connect(&m_session, &MapEditSession::tableShown, this, &FuelSuggestPanel::rebuild);
    connect(&m_session, &MapEditSession::selectionChanged, this, &FuelSuggestPanel::followPageChoice);
    connect(&m_session, &MapEditSession::curveChanged, this, [this](table::MapId map) {
        if (map == kyr::live::mapOfCurve(m_curve))
            showSuggestedCurve();
    });
    followPageChoice();
    rebuild();
}

FuelSuggestPanel::~FuelSuggestPanel() = default;

QWidget* FuelSuggestPanel::buildButtons()
{
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* open = new QPushButton(QStringLiteral("Open log…"), row);
    open->setObjectName(QStringLiteral("FuelSuggestOpen"));
    m_apply = new QPushButton(QStringLiteral("Apply"), row);
    m_apply->setObjectName(QStringLiteral("FuelSuggestApply"));
    m_apply->setToolTip(QStringLiteral("Apply the suggestions of the selected rows (all rows when none is selected)"));
    auto* clearButton = new QPushButton(QStringLiteral("Clear"), row);
    clearButton->setObjectName(QStringLiteral("FuelSuggestClear"));
    layout->addWidget(open);
    layout->addWidget(m_apply);
    layout->addWidget(clearButton);
    connect(open, &QPushButton::clicked, this, &FuelSuggestPanel::openLog);
    connect(m_apply, &QPushButton::clicked, this, &FuelSuggestPanel::apply);
    connect(clearButton, &QPushButton::clicked, this, &FuelSuggestPanel::clear);
    return row;
}

// The target volts and the Control Percentage come from the setup copy, the
// points from the axes the charts were fixed at.
kyr::live::FuelAnalysis FuelSuggestPanel::makeAnalysis() const
{
    const table::SetupCopy& setup = m_context.model.state().setup;
    kyr::live::FuelSettings settings;
    if (const auto target = rawSetup(setup, table::SetupParam::LambdaTarget); target && *target > 0)
        settings.targetVolts = *target / 100.0;
    const int control = rawSetup(setup, table::SetupParam::LambdaPercent).value_or(0);
    kyr::live::FuelAnalysis analysis(m_curve, m_session.editor().axes(), settings, control);
    const auto low = rawSetup(setup, table::SetupParam::LowThrottleVac);
    const auto high = rawSetup(setup, table::SetupParam::HighThrottleVac);
    if (low && high)
        analysis.setPressureBand(*low, *high);
    for (int index : m_locks[static_cast<int>(m_curve)])
        analysis.setLocked(index, true);
    return analysis;
}

// Judges again what the panel holds, in the order it came.
void FuelSuggestPanel::rebuild()
{
    m_analysis = std::make_unique<kyr::live::FuelAnalysis>(makeAnalysis());
    std::size_t live = 0;
    for (const auto& log : m_logs) {
        // Live samples taken before this log went on before its (moved) times.
        std::vector<kyr::live::FuelSample> before;
        while (live < m_live.size() && m_live[live].seconds < log.times.front())
            before.push_back(m_live[live++]);
        m_analysis->addSamples(before);
        m_analysis->addLog(log);
    }
    m_analysis->addSamples(std::vector<kyr::live::FuelSample>(m_live.begin() + static_cast<std::ptrdiff_t>(live),
                                                              m_live.end()));
    refresh();
}

void FuelSuggestPanel::setCurve(FuelCurve curve)
{
    m_curveChoice->setCurrentIndex(m_curveChoice->findData(static_cast<int>(curve)));
    if (curve == m_curve)
        return;
    emit suggestionShown(kyr::live::mapOfCurve(m_curve), {});
    m_curve = curve;
    rebuild();
}

// The panel starts on the fuel-by-RPM map chosen on the page and follows that choice.
void FuelSuggestPanel::followPageChoice()
{
    if (const auto curve = curveOfRpmMap(m_session.editor().fuelRpm()); curve && m_curve != FuelCurve::Vacuum)
        setCurve(*curve);
}

kyr::live::FuelReport FuelSuggestPanel::report() const { return m_analysis->report(); }

bool FuelSuggestPanel::openLog()
{
    const QString path = m_files->openFileName(QStringLiteral("Open log"), LogOpenFilter);
    return !path.isEmpty() && addLogFile(path);
}

bool FuelSuggestPanel::addLogFile(const QString& path)
{
    auto log = kyr::live::readLog(path.toStdString());
    const auto refuse = [&](const std::string& why) {
        m_context.messages.warning(QStringLiteral("Fuel Suggestions"),
                                   QString::fromStdString(why) + QStringLiteral("; nothing was added."));
        return false;
    };
    if (!log)
        return refuse(log.error().message);
    kyr::live::LogData data = std::move(log.value());
    if (data.rows() == 0)
        return refuse(path.toStdString() + ": the log has no rows");
    // The log goes on after what the panel holds.
    const double shift = m_end + GapSeconds - data.times.front();
    for (double& t : data.times)
        t += shift;
    kyr::live::FuelAnalysis probe = makeAnalysis();
    if (auto taken = probe.addLog(data); !taken)
        return refuse(path.toStdString() + ": " + taken.error().message);
    m_end = data.times.back();
    m_liveStart.reset();
    m_logs.push_back(std::move(data));
    rebuild();
    emit statusText(QStringLiteral("Fuel Suggestions: added %1").arg(path));
    return true;
}

void FuelSuggestPanel::takeLive(const kyr::live::LiveValues& values)
{
    if (!isHidden())
        addLive(values, static_cast<double>(m_clock.elapsed()) / 1000.0);
}

void FuelSuggestPanel::addLive(const kyr::live::LiveValues& values, double seconds)
{
    using kyr::live::LiveField;
    if (!m_liveStart)
        m_liveStart = m_end + GapSeconds - seconds;
    const double t = seconds + *m_liveStart;
    const auto cal = kyr::live::throttleCalOf(m_context.model.state().setup);
    double throttle = NAN;
    if (const auto reading = values.get(LiveField::Throttle))
        throttle = valueOr(kyr::live::throttlePercent(*reading, cal.lowRaw, cal.highRaw));
    const kyr::live::FuelSample sample{t,
                                       valueOr(values.get(LiveField::Rpm)),
                                       valueOr(values.get(LiveField::Vacuum)),
                                       valueOr(values.get(LiveField::Lambda)),
                                       valueOr(values.get(LiveField::WaterTemp)),
                                       throttle,
                                       valueOr(values.get(LiveField::InjectorDuty))};
    m_end = std::max(m_end, t);
    m_live.push_back(sample);
    m_analysis->addSamples({sample});
    if (!m_refresh.isActive())
        m_refresh.start();
}

void FuelSuggestPanel::clear()
{
    m_logs.clear();
    m_live.clear();
    m_liveStart.reset();
    rebuild();
}

void FuelSuggestPanel::lockClicked(int row, bool locked)
{
    const int index = row + 1;
    auto& locks = m_locks[static_cast<int>(m_curve)];
    if (locked)
        locks.insert(index);
    else
        locks.erase(index);
    m_analysis->setLocked(index, locked);
    refresh();
}

void FuelSuggestPanel::refresh()
{
    m_refresh.stop();
    const kyr::live::FuelReport r = m_analysis->report();
    m_filling = true;
    m_table->setRowCount(static_cast<int>(r.points.size()));
    for (const auto& p : r.points)
        fillRow(p.index - 1, p);
    m_filling = false;
    showSummary(r);
    showSuggestedCurve();
}

void FuelSuggestPanel::fillRow(int row, const kyr::live::PointSuggestion& p)
{
    const bool judged = p.weight >= m_analysis->settings().minWeight;
    QString change = QStringLiteral("—");
    if (p.locked)
        change = QStringLiteral("locked");
    else if (p.change)
        change = QStringLiteral("%1%2 %").arg(*p.change > 0 ? QStringLiteral("+") : QString()).arg(*p.change);
    const QString texts[] = {QString::number(p.index),
                             QString::number(p.x, 'g', 4),
                             QString::number(p.hits),
                             p.weight > 0 ? QString::number(p.meanVolts, 'f', 2) : QString(),
                             p.weight > 0 ? QStringLiteral("%1 / %2").arg(std::lround(p.richShare * 100))
                                                .arg(std::lround(p.leanShare * 100))
                                          : QString(),
                             change};
    QColor colour = m_table->palette().color(QPalette::Text);
    if (!judged)
        colour = Faint;
    else if (p.change && *p.change > 0)
        colour = AddsFuel;
    else if (p.change && *p.change < 0)
        colour = RemovesFuel;
    for (int c = 0; c < LockCol; ++c) {
        auto* item = new QTableWidgetItem(texts[c]);
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        item->setForeground(colour);
        m_table->setItem(row, c, item);
    }
    auto* lock = new QTableWidgetItem();
    lock->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    lock->setCheckState(p.locked ? Qt::Checked : Qt::Unchecked);
    m_table->setItem(row, LockCol, lock);
}

void FuelSuggestPanel::showSummary(const kyr::live::FuelReport& r)
{
    const auto& c = r.counts;
    QString text = QStringLiteral("Samples used %1; removed: no reading %2, cold %3, throttle moving %4, "
                                  "overrun %5, off the axis %6, another curve's pressure %7.")
                       .arg(c.used).arg(c.noReading).arg(c.cold).arg(c.transient).arg(c.overrun).arg(c.offAxis)
                       .arg(c.otherCurve);
    if (r.warning)
        text += QStringLiteral("\nWarning: ") + QString::fromStdString(*r.warning);
    m_summary->setText(text);
}

std::vector<double> FuelSuggestPanel::curveValues() const
{
    return m_session.editor().maps()[kyr::live::mapOfCurve(m_curve)];
}

// The tune's curve with the suggestions in it; none while no point would change.
void FuelSuggestPanel::showSuggestedCurve()
{
    const table::MapId map = kyr::live::mapOfCurve(m_curve);
    const std::vector<double> before = curveValues();
    const std::vector<double> after = m_analysis->applied(before);
    std::vector<kyr::maps::CurvePoint> points;
    if (after != before && m_session.chartEnabled(chartOf(m_curve))) {
        points = m_session.editor().pointsOf(map);
        for (std::size_t i = 0; i < points.size() && i < after.size(); ++i)
            points[i].y = after[i];
    }
    emit suggestionShown(map, points);
}

std::vector<int> FuelSuggestPanel::chosenPoints() const
{
    std::vector<int> points;
    for (const QModelIndex& row : m_table->selectionModel()->selectedRows())
        points.push_back(row.row() + 1);
    if (points.empty())
        for (int row = 0; row < m_table->rowCount(); ++row)
            points.push_back(row + 1);
    std::sort(points.begin(), points.end());
    return points;
}

// The data were judged against the values before: once they are applied
// the panel starts over, and the next logs judge the new values.
bool FuelSuggestPanel::apply()
{
    const kyr::maps::ChartId chart = chartOf(m_curve);
    const table::MapId map = kyr::live::mapOfCurve(m_curve);
    if (!m_session.chartEnabled(chart)) {
        m_context.messages.warning(QStringLiteral("Fuel Suggestions"),
                                   QStringLiteral("There is no tune with fuel maps to apply the suggestions to."));
        return false;
    }
    // The fuel-by-RPM chart edits the chosen map: make it this curve.
    if (m_curve != FuelCurve::Vacuum)
        m_session.selectFuelRpm(rpmMapOf(m_curve));
    const std::vector<double> before = curveValues();
    const std::vector<double> after = m_analysis->applied(before);
    std::vector<kyr::maps::PointChange> changes;
    for (int index : chosenPoints()) {
        const auto i = static_cast<std::size_t>(index - 1);
        if (i < after.size() && after[i] != before[i])
            changes.push_back({map, index, before[i], after[i]});
    }
    if (changes.empty() || !m_session.applyRange(chart, changes)) {
        emit statusText(QStringLiteral("Fuel Suggestions: no point to change"));
        return false;
    }
    clear();
    emit statusText(QStringLiteral("Fuel Suggestions: %1 points of the %2 curve changed; log again to judge them")
                        .arg(changes.size())
                        .arg(curveName(m_curve)));
    return true;
}

} // namespace kyr::app::maps
