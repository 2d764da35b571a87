// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Gauge Limits": the low and high warning and danger limits of every gauge
// of the "Engine Monitor", an empty field for a limit not used. OK checks
// every gauge's set before it keeps any: a bad one is named in a warning and
// nothing is saved; "Restore Defaults" puts the table's limits back in the
// fields.

#include "app/live/GaugeLimitStore.h"

#include <QDialog>

class QLineEdit;

namespace kyr::app {
class MessageSink;
}

namespace kyr::app::live {

class GaugeLimitsDialog : public QDialog {
    Q_OBJECT
public:
    /// The four limits of a gauge, in the order of the columns.
    enum Column { LowDanger, LowWarning, HighWarning, HighDanger, ColumnCount };

    /// Shows the limits store holds and saves the accepted ones there.
    GaugeLimitsDialog(GaugeLimitStore& store, MessageSink& messages, QWidget* parent = nullptr);

    QLineEdit* field(kyr::live::Gauge gauge, Column column) const;
    /// The limits the dialog accepted last.
    const GaugeLimitSet& limits() const { return m_limits; }

    /// Fills the fields with the default limits.
    void restoreDefaults();
    /// Checks and saves the fields; stays open on a bad value.
    void accept() override;

private:
    void fill(const GaugeLimitSet& set);

    GaugeLimitStore& m_store;
    MessageSink& m_messages;
    GaugeLimitSet m_limits;
    std::array<std::array<QLineEdit*, ColumnCount>, kyr::live::GaugeCount> m_fields{};
};

} // namespace kyr::app::live
