// SPDX-License-Identifier: GPL-3.0-or-later
// The map edit session's selections and whole-range edits: the keys that
// select and edit a range, the clipboard, and the count of points still
// going out.

#include "app/maps/MapEditSession.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>

#include <algorithm>

namespace kyr::app::maps {

using kyr::maps::ChartId;
using kyr::maps::Selection;

std::optional<Selection> MapEditSession::selection(ChartId chart) const
{
    const auto& s = m_selection[static_cast<int>(chart)];
    // A selection belongs to the map it was made on, not to the chart's next choice.
    if (!s || s->map != m_editor.editedMap(chart))
        return std::nullopt;
    return s;
}

void MapEditSession::select(ChartId chart, std::optional<Selection> range)
{
    const int c = static_cast<int>(chart);
    if (range) {
        auto checked = kyr::maps::checkedSelection(*range, m_editor.axes());
        if (!checked)
            range.reset();
    }
    if (m_selection[c] == range)
        return;
    m_selection[c] = range;
    if (range && !range->contains(m_anchor[c]))
        m_anchor[c] = range->first;
    emit rangeSelected(chart);
}

std::optional<int> MapEditSession::cursorIndex(ChartId chart) const
{
    return kyr::maps::pointIndexAt(m_editor.editedMap(chart), m_editor.cursorX(chart), m_editor.axes());
}

std::optional<Selection> MapEditSession::target(ChartId chart) const
{
    if (auto s = selection(chart))
        return s;
    const int last = m_editor.lastKeyIndex(chart);
    const auto at = last > 0 ? std::optional<int>(last) : cursorIndex(chart);
    if (!at)
        return std::nullopt;
    return Selection{m_editor.editedMap(chart), *at, *at};
}

// Shift+Left/Right moves the key cursor as Left/Right do and stretches the
// selection from where it started to the cursor's new point.
bool MapEditSession::extendSelection(ChartId chart, bool right)
{
    const int c = static_cast<int>(chart);
    if (!selection(chart)) {
        const auto start = target(chart);
        if (!start)
            return false;
        m_anchor[c] = start->first;
    }
    const QKeyEvent plain(QEvent::KeyPress, right ? Qt::Key_Right : Qt::Key_Left, Qt::NoModifier);
    keyPress(plain);
    const int now = m_editor.lastKeyIndex(chart);
    if (now <= 0)
        return true;
    select(chart, Selection{m_editor.editedMap(chart), std::min(m_anchor[c], now), std::max(m_anchor[c], now)});
    return true;
}

bool MapEditSession::rangeKey(const QKeyEvent& event)
{
    const auto chart = m_editor.keyTarget();
    if (textFieldFocused() || !chart || !keyTargetShown())
        return false;
    const bool ctrl = event.modifiers() & Qt::ControlModifier;
    const bool shift = event.modifiers() & Qt::ShiftModifier;
    const int key = event.key();
    if (ctrl) {
        if (key == Qt::Key_A) {
            const auto map = m_editor.editedMap(*chart);
            select(*chart, Selection{map, 1, kyr::maps::pointCount(map, m_editor.axes())});
        } else if (key == Qt::Key_C) {
            QGuiApplication::clipboard()->setText(copyTarget(*chart));
        } else if (key == Qt::Key_V) {
            pasteText(*chart, QGuiApplication::clipboard()->text());
        } else {
            return false;
        }
        return true;
    }
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (shift)
            return extendSelection(*chart, key == Qt::Key_Right);
        select(*chart, std::nullopt); // a plain move leaves the range
        return false;
    case Qt::Key_Plus: stepTarget(*chart, +1); return true;
    case Qt::Key_Minus: stepTarget(*chart, -1); return true;
    case Qt::Key_Slash: interpolateTarget(*chart); return true;
    case Qt::Key_Equal: emit promptWanted(*chart, false); return true;
    case Qt::Key_Asterisk: emit promptWanted(*chart, true); return true;
    case Qt::Key_S:
        // Without a range, S stays the jet key of the Fuel Maps page.
        if (!selection(*chart))
            return false;
        smoothTarget(*chart);
        return true;
    default:
        return false;
    }
}

double MapEditSession::step(kyr::maps::StepKind kind) const { return m_steps[static_cast<int>(kind)]; }

void MapEditSession::setStep(kyr::maps::StepKind kind, double step)
{
    if (step > 0)
        m_steps[static_cast<int>(kind)] = step;
}

bool MapEditSession::stepTarget(ChartId chart, int sign)
{
    const auto t = target(chart);
    return t && applyRange(chart, kyr::maps::addStep(m_editor.maps(), *t, sign * step(kyr::maps::stepKindOf(t->map))));
}

bool MapEditSession::setTarget(ChartId chart, double value)
{
    const auto t = target(chart);
    return t && applyRange(chart, kyr::maps::setRange(m_editor.maps(), *t, value));
}

bool MapEditSession::scaleTarget(ChartId chart, double percent)
{
    const auto t = target(chart);
    return t && applyRange(chart, kyr::maps::scaleRange(m_editor.maps(), *t, percent));
}

bool MapEditSession::interpolateTarget(ChartId chart)
{
    const auto t = selection(chart);
    return t && applyRange(chart, kyr::maps::interpolateRange(m_editor.maps(), *t));
}

bool MapEditSession::smoothTarget(ChartId chart)
{
    const auto t = selection(chart);
    return t && applyRange(chart, kyr::maps::smoothRange(m_editor.maps(), *t));
}

QString MapEditSession::copyTarget(ChartId chart) const
{
    const auto t = target(chart);
    return t ? QString::fromStdString(kyr::maps::copyText(m_editor.maps(), *t)) : QString();
}

bool MapEditSession::pasteText(ChartId chart, const QString& text, kyr::maps::PasteMode mode)
{
    const auto t = target(chart);
    if (!t || !m_editor.isEnabled(chart))
        return false;
    auto values = kyr::maps::parseValues(text.toStdString());
    if (!values) {
        emit rangeRefused(QString::fromStdString(values.error().message));
        return false;
    }
    const auto count = static_cast<int>(values.value().size());
    if (t->count() > 1 && count != t->count()) {
        emit rangeRefused(QStringLiteral("%1 values do not fit the %2 points selected: nothing was pasted")
                              .arg(count)
                              .arg(t->count()));
        return false;
    }
    auto changes = kyr::maps::pasteValues(m_editor.maps(), t->map, t->first, values.value(), mode, m_editor.axes());
    if (!changes) {
        emit rangeRefused(QString::fromStdString(changes.error().message));
        return false;
    }
    if (t->count() == 1 && count > 1)
        select(chart, Selection{t->map, t->first, t->first + count - 1});
    applyRange(chart, std::move(changes.value()));
    return true;
}

bool MapEditSession::applyRange(ChartId chart, std::vector<kyr::maps::PointChange> changes)
{
    if (changes.empty() || !m_editor.isEnabled(chart))
        return false;
    restore(changes, true);
    push(std::move(changes), chart, 0);
    if (m_rangeTotal > 0)
        emit sendProgress(m_rangeTotal - static_cast<int>(m_rangeSends.size()), m_rangeTotal);
    return true;
}

void MapEditSession::countSent(quint64 ticket)
{
    const auto it = std::find(m_rangeSends.begin(), m_rangeSends.end(), ticket);
    if (it == m_rangeSends.end())
        return;
    m_rangeSends.erase(it);
    if (m_rangeSends.empty()) {
        m_rangeTotal = 0;
        emit sendProgress(0, 0);
        return;
    }
    emit sendProgress(m_rangeTotal - static_cast<int>(m_rangeSends.size()), m_rangeTotal);
}

} // namespace kyr::app::maps
