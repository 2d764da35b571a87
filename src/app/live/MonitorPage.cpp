// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/live/MonitorPage.h"

#include "app/live/GaugeLimitsDialog.h"
#include "app/live/LivePoll.h"
#include "app/live/RoundGauge.h"
#include "app/common/TuneModel.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include <algorithm>

namespace kyr::app::live {

namespace {

// Lays its gauges out as square cells, as many columns as give the largest
// gauges in the space it has.
class GaugeGrid : public QWidget {
public:
    static constexpr int MaxCell = 300;

    explicit GaugeGrid(QWidget* parent) : QWidget(parent)
    {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }
    void add(QWidget* w) { m_items.push_back(w); }
    QSize sizeHint() const override { return {6 * 210, 2 * 210}; }
    QSize minimumSizeHint() const override { return {240, 240}; }

protected:
    void resizeEvent(QResizeEvent*) override
    {
        const int n = static_cast<int>(m_items.size());
        int bestCols = 1, bestCell = 0;
        for (int cols = 1; cols <= n; ++cols) {
            const int rows = (n + cols - 1) / cols;
            const int cell = std::min({width() / cols, height() / rows, MaxCell});
            if (cell > bestCell) {
                bestCell = cell;
                bestCols = cols;
            }
        }
        const int left = (width() - bestCols * bestCell) / 2;
        for (int i = 0; i < n; ++i)
            m_items[i]->setGeometry(left + (i % bestCols) * bestCell, (i / bestCols) * bestCell, bestCell, bestCell);
    }

private:
    std::vector<QWidget*> m_items;
};

} // namespace

MonitorPage::MonitorPage(AppContext context, LivePoll& poll, QWidget* parent, kyr::link::Clock& clock,
                         std::unique_ptr<QSettings> settings)
    : Page(context, QStringLiteral("TabSheet6"), QStringLiteral("Engine Monitor"), parent),
      m_poll(poll), m_limitStore(std::move(settings))
{
    auto* column = new QVBoxLayout(this);
    auto* switches = new QHBoxLayout;
    m_analog = new QCheckBox(QStringLiteral("Analog Signals"), this);
    m_analog->setObjectName(QStringLiteral("AnalogEn"));
    m_analog->setEnabled(false);
    auto* fast = new QCheckBox(QStringLiteral("Fast poll"), this);
    fast->setObjectName(QStringLiteral("FastPoll"));
    fast->setEnabled(false);
    fast->setToolTip(QStringLiteral("Ask for the next record as soon as the last one is in"));
    m_track = new QCheckBox(QStringLiteral("Realtime Tracking"), this);
    m_track->setObjectName(QStringLiteral("RT_Track"));
    m_track->setEnabled(false);
    m_state = new QLabel(this);
    m_state->setObjectName(QStringLiteral("LiveState"));
    switches->addWidget(m_analog);
    switches->addWidget(fast);
    switches->addWidget(m_track);
    switches->addStretch(1);
    switches->addWidget(m_state);
    auto* limits = new QPushButton(QStringLiteral("Gauge Limits\u2026"), this);
    limits->setObjectName(QStringLiteral("GaugeLimits"));
    switches->addWidget(limits);
    column->addLayout(switches);
    m_gauges = buildGauges(clock);
    column->addWidget(m_gauges, 1);
    applyLimits(m_limitStore.load());

    // Only a click changes the state; the window sets the boxes from it with signals blocked.
    connect(m_analog, &QCheckBox::toggled, &m_poll, &LivePoll::setAnalogEnabled);
    connect(fast, &QCheckBox::toggled, &m_poll, &LivePoll::setFastPoll);
    connect(m_track, &QCheckBox::toggled, &m_poll, &LivePoll::setTracking);
    connect(limits, &QPushButton::clicked, this, &MonitorPage::editLimits);
    connect(&m_poll, &LivePoll::liveUpdated, this, &MonitorPage::showValues);
    connect(&m_poll, &LivePoll::liveMissed, this, [this](const QString& why) {
        showIdle();
        m_state->setText(why);
    });
    connect(&m_poll, &LivePoll::runningChanged, this, [this](bool on) {
        if (!on)
            showIdle();
    });
    m_staleCheck.setInterval(RoundGauge::StaleMs / 5);
    connect(&m_staleCheck, &QTimer::timeout, this, &MonitorPage::checkStale);
    showIdle();
}

QWidget* MonitorPage::buildGauges(kyr::link::Clock& clock)
{
    auto* grid = new GaugeGrid(this);
    for (int i = 0; i < kyr::live::GaugeCount; ++i) {
        m_gauge[i] = new RoundGauge(kyr::live::gaugeTable()[i], clock, grid);
        grid->add(m_gauge[i]);
    }
    return grid;
}

RoundGauge* MonitorPage::gauge(kyr::live::Gauge g) const
{
    for (RoundGauge* w : m_gauge)
        if (w->def().gauge == g)
            return w;
    return nullptr;
}

void MonitorPage::applyLimits(const GaugeLimitSet& limits)
{
    for (int i = 0; i < kyr::live::GaugeCount; ++i)
        m_gauge[i]->setLimits(limits[i]);
}

void MonitorPage::editLimits()
{
    GaugeLimitsDialog dialog(m_limitStore, messages(), this);
    if (dialog.exec() == QDialog::Accepted)
        applyLimits(dialog.limits());
}

void MonitorPage::checkStale()
{
    for (RoundGauge* g : m_gauge)
        g->checkStale();
}

void MonitorPage::showValues(const kyr::live::LiveValues& values)
{
    // Text and enabled state change only when they must: each change would
    // lay out and repaint the whole page.
    if (!m_state->text().isEmpty())
        m_state->clear();
    if (!m_gauges->isEnabled())
        m_gauges->setEnabled(true);
    if (!m_staleCheck.isActive())
        m_staleCheck.start();
    const kyr::live::ThrottleCal cal = kyr::live::throttleCalOf(model().state().setup);
    for (RoundGauge* g : m_gauge)
        g->setValue(kyr::live::gaugeValue(g->def().gauge, values, cal));
}

void MonitorPage::showIdle()
{
    m_staleCheck.stop();
    for (RoundGauge* g : m_gauge)
        g->clear();
    // Greyed out: nothing shown here is the engine's present state.
    m_gauges->setEnabled(false);
    m_state->setText(model().state().link.lost ? QStringLiteral("Link lost: no live data")
                                               : QStringLiteral("No live data"));
}

QString MonitorPage::gaugeText(kyr::live::Gauge g) const { return gauge(g)->text(); }

} // namespace kyr::app::live
