// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The panels of the Setup page, built from the setup field and switch tables:
// every field, check box, radio button, radio group and track bar is made
// from its row and named after its form control ("Edit12", "RadioGroup3",
// "TrackBar7"), so the binder and the link sequences find it by that name.

#include <QGroupBox>
#include <QString>
#include <QStringList>
#include <QWidget>

class QAbstractButton;
class QButtonGroup;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedLayout;

namespace kyr::app::setup {

/// A captioned box of radio buttons with one item checked, or none.
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    /// Items in order; item i is the radio button with id i.
    RadioGroup(const QString& name, const QString& caption, const QStringList& items, int columns,
               QWidget* parent = nullptr);

    /// The checked item, -1 when none is.
    int itemIndex() const;
    /// Checks an item (-1 clears the group); itemChanged follows when it changes.
    void setItemIndex(int index);
    /// The radio button of an item.
    QAbstractButton* item(int index) const;

signals:
    /// The user or the program checked another item.
    void itemChanged(int index);

private:
    QButtonGroup* m_group;
};

/// The place of a "Calibrate" button of the "Active Sensors" panel: a click
/// shows the row's hidden calibration field there, and the field hides again
/// when it loses the focus.
class CalibrationSlot : public QWidget {
    Q_OBJECT
public:
    CalibrationSlot(QPushButton* button, QLineEdit* field, QWidget* parent = nullptr);

    QPushButton* button() const { return m_button; }
    QLineEdit* field() const { return m_field; }
    /// Whether the field is shown in the button's place.
    bool fieldShown() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showField();
    void showButton();

    QPushButton* m_button;
    QLineEdit* m_field;
    QStackedLayout* m_stack;
};

/// Builds every panel of the Setup page into one widget (no vehicle or
/// identity boxes: the page adds those). "CalBtn" is a plain button here;
/// the page decides what it opens.
QWidget* buildSetupPanels(QWidget* parent = nullptr);

/// The name of the label that shows a field's unit beside it ("Edit16Unit").
QString unitLabelName(const QString& control);

/// The titles of the panels, in the order they are laid out.
QStringList setupPanelTitles();

} // namespace kyr::app::setup
