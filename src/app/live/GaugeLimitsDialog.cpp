// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/live/GaugeLimitsDialog.h"

#include "app/common/MessageSink.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace kyr::app::live {

namespace {

const QString Title = QStringLiteral("Gauge Limits");

QString fromView(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

std::array<std::optional<double>*, GaugeLimitsDialog::ColumnCount> limitSlots(kyr::live::GaugeLimits& l)
{
    return {&l.lowDanger, &l.lowWarning, &l.highWarning, &l.highDanger};
}

} // namespace

GaugeLimitsDialog::GaugeLimitsDialog(GaugeLimitStore& store, MessageSink& messages, QWidget* parent)
    : QDialog(parent), m_store(store), m_messages(messages), m_limits(store.load())
{
    setWindowTitle(Title);
    setObjectName(QStringLiteral("GaugeLimitsDialog"));
    auto* column = new QVBoxLayout(this);
    column->addWidget(new QLabel(QStringLiteral("Leave a field empty for a limit not used."), this));
    auto* grid = new QGridLayout;
    const QStringList heads{QStringLiteral("Gauge"), QStringLiteral("Scale"), QStringLiteral("Low danger"),
                            QStringLiteral("Low warning"), QStringLiteral("High warning"),
                            QStringLiteral("High danger")};
    for (int c = 0; c < heads.size(); ++c)
        grid->addWidget(new QLabel(QStringLiteral("<b>%1</b>").arg(heads[c]), this), 0, c);
    for (int i = 0; i < kyr::live::GaugeCount; ++i) {
        const kyr::live::GaugeDef& d = kyr::live::gaugeTable()[i];
        grid->addWidget(new QLabel(fromView(d.name) + QStringLiteral(" (") + fromView(d.unit) + QStringLiteral(")"),
                                   this), i + 1, 0);
        grid->addWidget(new QLabel(QStringLiteral("%1 to %2").arg(d.min).arg(d.max), this), i + 1, 1);
        for (int c = 0; c < ColumnCount; ++c) {
            auto* edit = new QLineEdit(this);
            edit->setObjectName(QStringLiteral("Limit_%1_%2").arg(fromView(d.key)).arg(c));
            edit->setMaximumWidth(90);
            grid->addWidget(edit, i + 1, c + 2);
            m_fields[i][c] = edit;
        }
    }
    column->addLayout(grid);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                         QDialogButtonBox::RestoreDefaults, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &GaugeLimitsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &GaugeLimitsDialog::reject);
    connect(buttons->button(QDialogButtonBox::RestoreDefaults), &QPushButton::clicked, this,
            &GaugeLimitsDialog::restoreDefaults);
    column->addWidget(buttons);
    fill(m_limits);
}

QLineEdit* GaugeLimitsDialog::field(kyr::live::Gauge gauge, Column column) const
{
    for (int i = 0; i < kyr::live::GaugeCount; ++i)
        if (kyr::live::gaugeTable()[i].gauge == gauge)
            return m_fields[i][column];
    return nullptr;
}

void GaugeLimitsDialog::fill(const GaugeLimitSet& set)
{
    for (int i = 0; i < kyr::live::GaugeCount; ++i) {
        kyr::live::GaugeLimits l = set[i];
        const auto values = limitSlots(l);
        for (int c = 0; c < ColumnCount; ++c)
            m_fields[i][c]->setText(*values[c] ? QString::number(**values[c]) : QString());
    }
}

void GaugeLimitsDialog::restoreDefaults() { fill(defaultGaugeLimits()); }

void GaugeLimitsDialog::accept()
{
    GaugeLimitSet set;
    for (int i = 0; i < kyr::live::GaugeCount; ++i) {
        const kyr::live::GaugeDef& d = kyr::live::gaugeTable()[i];
        const auto values = limitSlots(set[i]);
        for (int c = 0; c < ColumnCount; ++c) {
            QLineEdit* edit = m_fields[i][c];
            const QString text = edit->text().trimmed();
            if (text.isEmpty())
                continue;
            bool ok = false;
            const double v = QLocale::c().toDouble(text, &ok);
            if (!ok) {
                m_messages.warning(Title, QStringLiteral("%1: \"%2\" is not a number.").arg(fromView(d.name), text));
                edit->setFocus();
                return;
            }
            *values[c] = v;
        }
        if (auto valid = kyr::live::validateLimits(d.scale(), set[i]); !valid.ok()) {
            m_messages.warning(Title, QString::fromStdString(valid.error().message) + QLatin1Char('.'));
            m_fields[i][0]->setFocus();
            return;
        }
    }
    m_limits = set;
    m_store.save(set);
    QDialog::accept();
}

} // namespace kyr::app::live
