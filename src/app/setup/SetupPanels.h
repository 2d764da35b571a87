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

namespace kyr::app {

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

/// The lambda panel's target marker: a bar (`Shape1`) and its label
/// (`Label6`, whose text the engine gives) placed at the target volts.
class LambdaTargetStrip : public QWidget {
    Q_OBJECT
public:
    explicit LambdaTargetStrip(QWidget* parent = nullptr);

    /// Moves marker and label to a TrackBar7 position (volts x 100).
    void setPosition(int position);
    int position() const { return m_position; }
    QFrame* marker() const { return m_marker; }
    QLabel* label() const { return m_label; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void place();

    QFrame* m_panel;  // Panel1
    QFrame* m_marker; // Shape1
    QLabel* m_label;  // Label6
    int m_position = 50;
};

/// Builds every panel of the Setup page into one widget (no vehicle or
/// identity boxes: the page adds those). "CalBtn" is a plain button here;
/// the page decides what it opens.
QWidget* buildSetupPanels(QWidget* parent = nullptr);

/// The titles of the panels, in the order they are laid out.
QStringList setupPanelTitles();

} // namespace kyr::app
