// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window/WriteCheck.h"

#include "app/common/MessageSink.h"

#include <QSettings>

namespace kyr::app::window {

namespace {

const QString EnabledKey = QStringLiteral("WriteCheck/enabled");
const QString LimitKey = QStringLiteral("WriteCheck/timingLimit");

} // namespace

WriteCheck WriteCheck::load()
{
    QSettings settings;
    WriteCheck c;
    c.enabled = settings.value(EnabledKey, true).toBool();
    bool ok = false;
    const double limit = settings.value(LimitKey, DefaultTimingLimit).toDouble(&ok);
    if (ok && limit >= LowestTimingLimit && limit <= HighestTimingLimit)
        c.timingLimit = limit;
    return c;
}

void WriteCheck::save() const
{
    QSettings settings;
    settings.setValue(EnabledKey, enabled);
    settings.setValue(LimitKey, timingLimit);
}

QString WriteCheck::findingsText(const std::vector<tools::Finding>& findings)
{
    QString text = findings.size() == 1 ? QStringLiteral("Before writing, this looks like a slip:\n")
                                        : QStringLiteral("Before writing, these look like slips:\n");
    const int shown = std::min(static_cast<int>(findings.size()), Listed);
    for (int i = 0; i < shown; ++i)
        text += QStringLiteral("\n\u2022 ") + QString::fromStdString(findings[static_cast<std::size_t>(i)].message);
    if (static_cast<int>(findings.size()) > shown)
        text += QStringLiteral("\n\u2022 and %1 more").arg(static_cast<int>(findings.size()) - shown);
    text += QStringLiteral("\n\nWrite the tune to the KYR anyway?");
    return text;
}

bool WriteCheck::allowsStoredBytes(MessageSink& messages, const table::ImageBytes& plusOne)
{
    const auto zeros = tools::storedZeros(plusOne);
    if (zeros.empty())
        return true;
    QString text = QStringLiteral("The tune is not written: the KYR could not be read back.\n");
    const int shown = std::min(static_cast<int>(zeros.size()), Listed);
    for (int i = 0; i < shown; ++i)
        text += QStringLiteral("\n\u2022 ") + QString::fromStdString(zeros[static_cast<std::size_t>(i)].message);
    if (static_cast<int>(zeros.size()) > shown)
        text += QStringLiteral("\n\u2022 and %1 more").arg(static_cast<int>(zeros.size()) - shown);
    text += QStringLiteral("\n\nSet the value again, then write.");
    messages.warning(QStringLiteral("Write to KYR"), text);
    return false;
}

bool WriteCheck::confirm(MessageSink& messages, const std::vector<tools::Finding>& findings)
{
    if (findings.empty())
        return true;
    const QStringList choices{QStringLiteral("Write anyway"), QStringLiteral("Cancel")};
    return messages.choose(QStringLiteral("Write to KYR"), findingsText(findings), choices, 1) == 0;
}

} // namespace kyr::app::window
