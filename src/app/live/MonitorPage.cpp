#include "app/live/MonitorPage.h"

#include "app/live/LivePoll.h"
#include "app/window/TuneModel.h"
#include "table/Rounding.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace kyr::app {

namespace {

const QString NoReading = QStringLiteral("--");

// The bars count in the gauge's last shown place, so a tenth moves them.
int barSteps(double value, int decimals) { return static_cast<int>(std::lround(value * std::pow(10.0, decimals))); }

} // namespace

MonitorPage::MonitorPage(AppContext context, QWidget* parent)
    : Page(context, QStringLiteral("TabSheet6"), QStringLiteral("Engine Monitor"), parent),
      m_poll(LivePoll::of(context.model, context.link))
{
    auto* column = new QVBoxLayout(this);
    auto* switches = new QHBoxLayout;
    m_analog = new QCheckBox(QStringLiteral("Analog Signals"), this);
    m_analog->setObjectName(QStringLiteral("AnalogEn"));
    m_analog->setEnabled(false);
    m_track = new QCheckBox(QStringLiteral("Realtime Tracking"), this);
    m_track->setObjectName(QStringLiteral("RT_Track"));
    m_track->setEnabled(false);
    m_state = new QLabel(this);
    m_state->setObjectName(QStringLiteral("LiveState"));
    switches->addWidget(m_analog);
    switches->addWidget(m_track);
    switches->addStretch(1);
    switches->addWidget(m_state);
    column->addLayout(switches);
    m_gauges = buildGauges();
    column->addWidget(m_gauges);
    column->addStretch(1);

    // Only a click changes the state; the window sets the boxes from it with signals blocked.
    connect(m_analog, &QCheckBox::toggled, &m_poll, &LivePoll::setAnalogEnabled);
    connect(m_track, &QCheckBox::toggled, &m_poll, &LivePoll::setTracking);
    connect(&m_poll, &LivePoll::liveUpdated, this, &MonitorPage::showValues);
    connect(&m_poll, &LivePoll::liveMissed, this, [this](const QString& why) {
        showIdle();
        m_state->setText(why);
    });
    connect(&m_poll, &LivePoll::runningChanged, this, [this](bool on) {
        if (!on)
            showIdle();
    });
    showIdle();
}

QWidget* MonitorPage::buildGauges()
{
    auto* box = new QWidget(this);
    auto* grid = new QGridLayout(box);
    constexpr int PerRow = 4;
    for (const live::GaugeDef& def : live::gaugeTable()) {
        const int i = static_cast<int>(def.gauge);
        auto* group = new QGroupBox(QString::fromUtf8(def.unit.data(), static_cast<int>(def.unit.size())), box);
        group->setObjectName(QStringLiteral("Gauge%1").arg(i));
        auto* inner = new QVBoxLayout(group);
        m_values[i] = new QLabel(group);
        m_values[i]->setObjectName(QStringLiteral("GaugeValue%1").arg(i));
        m_values[i]->setAlignment(Qt::AlignCenter);
        QFont big = m_values[i]->font();
        big.setPointSizeF(big.pointSizeF() * 2.5);
        big.setBold(true);
        m_values[i]->setFont(big);
        m_bars[i] = new QProgressBar(group);
        m_bars[i]->setRange(barSteps(def.min, def.decimals), barSteps(def.max, def.decimals));
        m_bars[i]->setTextVisible(false);
        inner->addWidget(m_values[i]);
        inner->addWidget(m_bars[i]);
        grid->addWidget(group, i / PerRow, i % PerRow);
    }
    return box;
}

void MonitorPage::showValues(const live::LiveValues& values)
{
    m_state->clear();
    m_gauges->setEnabled(true);
    for (const live::GaugeDef& def : live::gaugeTable()) {
        const int i = static_cast<int>(def.gauge);
        const auto v = live::gaugeValue(def.gauge, values);
        m_values[i]->setText(v ? QString::number(roundTo(*v, def.decimals), 'f', def.decimals) : NoReading);
        QProgressBar* bar = m_bars[i];
        bar->setValue(v ? std::clamp(barSteps(*v, def.decimals), bar->minimum(), bar->maximum()) : bar->minimum());
    }
}

void MonitorPage::showIdle()
{
    for (int i = 0; i < live::GaugeCount; ++i) {
        m_values[i]->setText(NoReading);
        m_bars[i]->setValue(m_bars[i]->minimum());
    }
    // Greyed out: nothing shown here is the engine's present state.
    m_gauges->setEnabled(false);
    m_state->setText(model().state().link.lost ? QStringLiteral("Link lost: no live data")
                                               : QStringLiteral("No live data"));
}

QString MonitorPage::gaugeText(live::Gauge gauge) const { return m_values[static_cast<int>(gauge)]->text(); }

} // namespace kyr::app
