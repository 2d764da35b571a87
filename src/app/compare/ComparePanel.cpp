// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/compare/ComparePanel.h"

#include "app/compare/TuneComparer.h"
#include "app/common/TuneModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace kyr::app::compare {

namespace {

constexpr int KindRole = Qt::UserRole;
constexpr int IndexRole = Qt::UserRole + 1;

QString qs(const std::string& s) { return QString::fromStdString(s); }

QString plural(std::size_t n, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

// The caption without the unit it carries ("Coil Time (ms)"), where the
// values say their unit themselves.
std::string shortName(const std::string& name, const std::string& unit)
{
    const auto open = name.rfind(" (");
    if (unit.empty() || name.empty() || name.back() != ')' || open == std::string::npos)
        return name;
    return name.substr(0, open);
}

} // namespace

ComparePanel::ComparePanel(AppContext context, TuneComparer& comparer, PointSetter setPoint,
                           SettingTaker takeSetting, QWidget* parent)
    : QDockWidget(QStringLiteral("Compare"), parent), m_context(context), m_takeSetting(std::move(takeSetting)),
      m_setPoint(std::move(setPoint)), m_comparer(comparer)
{
    setObjectName(QStringLiteral("CompareDialog"));
    setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    auto* body = new QWidget(this);
    auto* column = new QVBoxLayout(body);
    m_summary = new QLabel(body);
    m_summary->setObjectName(QStringLiteral("CompareSummary"));
    m_summary->setWordWrap(true);
    m_list = new QListWidget(body);
    m_list->setObjectName(QStringLiteral("CompareList"));
    m_list->setWordWrap(true);
    m_use = new QPushButton(QStringLiteral("Use this value"), body);
    m_use->setObjectName(QStringLiteral("UseValue"));
    m_stop = new QPushButton(QStringLiteral("Stop comparing"), body);
    m_stop->setObjectName(QStringLiteral("StopCompare"));
    auto* buttons = new QHBoxLayout();
    buttons->addWidget(m_use);
    buttons->addStretch(1);
    buttons->addWidget(m_stop);
    column->addWidget(m_summary);
    column->addWidget(m_list, 1);
    column->addLayout(buttons);
    setWidget(body);
    setMinimumWidth(340);

    connect(m_use, &QPushButton::clicked, this, &ComparePanel::useClicked);
    connect(m_stop, &QPushButton::clicked, &m_comparer, &TuneComparer::stop);
    connect(m_list, &QListWidget::currentRowChanged, this, &ComparePanel::selectionMoved);
    // Queued: taking a value rebuilds the list under the item clicked.
    connect(m_list, &QListWidget::itemDoubleClicked, this, &ComparePanel::useClicked, Qt::QueuedConnection);
    connect(&m_comparer, &TuneComparer::changed, this, &ComparePanel::rebuild);
    rebuild();
}

QString ComparePanel::summaryText() const
{
    const tools::TuneComparison& c = m_comparer.comparison();
    const QString other = m_comparer.otherName();
    if (c.setup.empty() && c.points.empty() && c.bytes.empty())
        return QStringLiteral("No differences from %1.").arg(other);
    QString text = QStringLiteral("%1 and %2 differ from %3")
                       .arg(plural(c.setup.size(), "setup value", "setup values"),
                            plural(c.points.size(), "map point", "map points"), other);
    if (!c.bytes.empty())
        text += QStringLiteral(", and %1").arg(plural(c.bytes.size(), "other byte", "other bytes"));
    return text + QLatin1Char('.');
}

// The rows in the units the pages show; the row selected stays where it was,
// so that taking values one after another walks down the list.
void ComparePanel::rebuild()
{
    if (!m_comparer.active()) {
        m_list->clear();
        m_summary->clear();
        hide();
        return;
    }
    const int row = m_list->currentRow();
    const tools::TuneComparison& c = m_comparer.comparison();
    const QString there = QStringLiteral(" in ") + m_comparer.otherName();
    m_list->clear();
    auto add = [this](const QString& text, RowKind kind, int index) {
        auto* item = new QListWidgetItem(text, m_list);
        item->setData(KindRole, kind);
        item->setData(IndexRole, index);
    };
    for (std::size_t i = 0; i < c.setup.size(); ++i) {
        const tools::SettingDifference& s = c.setup[i];
        const std::string otherUnit(tools::settingUnit(*s.def, m_comparer.other()));
        add(qs(shortName(s.name, s.unit) + ": " + tools::withUnit(s.mine.text, s.unit) + " here, " +
               tools::withUnit(s.other.text, otherUnit)) + there,
            SettingRow, static_cast<int>(i));
    }
    for (std::size_t i = 0; i < c.points.size(); ++i) {
        const tools::PointDifference& p = c.points[i];
        add(qs(tools::mapName(p.map) + " point " + std::to_string(p.index) + " (" + tools::pointXText(p.map, p.x) +
               "): " + tools::pointValueText(p.map, p.mine) + " here, " + tools::pointValueText(p.map, p.other)) +
                there,
            PointRow, static_cast<int>(i));
    }
    for (std::size_t i = 0; i < c.bytes.size(); ++i)
        add(QStringLiteral("Byte %1: %2 here, %3").arg(c.bytes[i].offset).arg(c.bytes[i].mine).arg(c.bytes[i].other) +
                there + QStringLiteral(" (stored)"),
            ByteRow, static_cast<int>(i));
    m_summary->setText(summaryText());
    if (m_list->count() > 0)
        m_list->setCurrentRow(std::clamp(row, 0, m_list->count() - 1));
    selectionMoved();
    show();
}

void ComparePanel::selectionMoved()
{
    const QListWidgetItem* item = m_list->currentItem();
    m_use->setEnabled(item && item->data(KindRole).toInt() != ByteRow);
}

void ComparePanel::useClicked()
{
    if (useSelected() || !m_list->currentItem())
        return;
    m_context.model.showStatus("This value cannot be taken now: its field takes no edits");
}

bool ComparePanel::useSelected()
{
    const QListWidgetItem* item = m_list->currentItem();
    if (!item || !m_comparer.active())
        return false;
    const int index = item->data(IndexRole).toInt();
    const tools::TuneComparison& c = m_comparer.comparison();
    switch (item->data(KindRole).toInt()) {
    case SettingRow:
        return m_takeSetting && m_takeSetting(*c.setup[index].def, m_comparer.other());
    case PointRow: {
        // The edit compares again, which replaces the list this row is of.
        const tools::PointDifference p = c.points[index];
        return m_setPoint && m_setPoint(p.map, p.index, p.other);
    }
    default:
        return false;
    }
}

} // namespace kyr::app::compare
