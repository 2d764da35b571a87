// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/live/GaugeLimitStore.h"

#include <QSettings>

namespace kyr::app::live {

namespace {

QString keyOf(const kyr::live::GaugeDef& d)
{
    return QStringLiteral("GaugeLimits/") + QString::fromUtf8(d.key.data(), static_cast<qsizetype>(d.key.size()));
}

} // namespace

GaugeLimitSet defaultGaugeLimits()
{
    GaugeLimitSet set;
    for (int i = 0; i < kyr::live::GaugeCount; ++i)
        set[i] = kyr::live::gaugeTable()[i].limits;
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
    for (int i = 0; i < kyr::live::GaugeCount; ++i) {
        const kyr::live::GaugeDef& d = kyr::live::gaugeTable()[i];
        const QVariant v = m_settings->value(keyOf(d));
        if (!v.isValid())
            continue;
        // An entry edited by hand into nonsense leaves the defaults.
        if (auto parsed = kyr::live::parseLimits(d.scale(), v.toString().toStdString()); parsed.ok())
            set[i] = parsed.value();
    }
    return set;
}

void GaugeLimitStore::save(const GaugeLimitSet& limits)
{
    for (int i = 0; i < kyr::live::GaugeCount; ++i)
        m_settings->setValue(keyOf(kyr::live::gaugeTable()[i]), QString::fromStdString(kyr::live::limitsText(limits[i])));
    m_settings->sync();
}

} // namespace kyr::app::live
