// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/live/GaugeLimitStore.h"

#include <QSettings>

namespace kyr::app {

namespace {

QString keyOf(const live::GaugeDef& d)
{
    return QStringLiteral("GaugeLimits/") + QString::fromUtf8(d.key.data(), static_cast<qsizetype>(d.key.size()));
}

} // namespace

GaugeLimitSet defaultGaugeLimits()
{
    GaugeLimitSet set;
    for (int i = 0; i < live::GaugeCount; ++i)
        set[i] = live::gaugeTable()[i].limits;
    return set;
}

GaugeLimitStore::GaugeLimitStore(std::unique_ptr<QSettings> settings)
    : m_settings(settings ? std::move(settings) : std::make_unique<QSettings>())
{
}

GaugeLimitStore::~GaugeLimitStore() = default;

GaugeLimitSet GaugeLimitStore::load() const
{
    GaugeLimitSet set = defaultGaugeLimits();
    for (int i = 0; i < live::GaugeCount; ++i) {
        const live::GaugeDef& d = live::gaugeTable()[i];
        const QVariant v = m_settings->value(keyOf(d));
        if (!v.isValid())
            continue;
        // An entry edited by hand into nonsense leaves the defaults.
        if (auto parsed = live::parseLimits(d.scale(), v.toString().toStdString()); parsed.ok())
            set[i] = parsed.value();
    }
    return set;
}

void GaugeLimitStore::save(const GaugeLimitSet& limits)
{
    for (int i = 0; i < live::GaugeCount; ++i)
        m_settings->setValue(keyOf(live::gaugeTable()[i]), QString::fromStdString(live::limitsText(limits[i])));
    m_settings->sync();
}

} // namespace kyr::app
