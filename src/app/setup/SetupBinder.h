// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Binds the controls of the setup field and switch tables, found by their
// form names under a root widget, to the setup engine. A field's typing goes
// to the engine when the edit is finished (PendingEdits), a text the program
// sets (a jet's track bar moved) at once, and so does every change of a
// switch: a click or a track bar step is a whole value. What the engine answers is
// carried out here: the send and the model's copy (SetupCommit), texts put
// back, the companion texts, the enabled states and the marker moves. A
// refused entry is explained beside its field, in a tooltip that stays until
// the field's next entry, and told to the page for the status bar: never a
// message box, which would stop the typing. A settled field's tooltip says
// what it takes.
//
// Showing a setup copy sends nothing: the field texts are set with their
// signals blocked, and the switches report states the engine already holds,
// which it answers with nothing.

#include "app/common/AppContext.h"
#include "setup/SetupEngine.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <map>
#include <set>
#include <string>

class QLineEdit;
class QWidget;

namespace kyr::app::setup {

class PendingEdits;

class SetupBinder : public QObject {
    Q_OBJECT
public:
    /// Binds every control of the tables that root holds; the engine must
    /// outlive the binder. Follows the model's setupChanged and stateChanged.
    SetupBinder(AppContext context, kyr::setup::SetupEngine& engine, QWidget* root, QObject* parent = nullptr);

    /// Shows the model's setup copy, or an empty, disabled page when the
    /// model has none (after Close all). Sends nothing.
    void showSetup();
    /// Lets the engine act once the model's EditsLive flag is set.
    void followFlags();

    kyr::setup::SetupEngine& engine() const { return m_engine; }
    /// Takes a setup value of another plus-one image as the user would enter
    /// it: its text into the field, committed as Enter commits typing, or
    /// its state on the switch, as a click sets it. False when no enabled
    /// control here shows the value, or the other image holds none.
    bool takeValue(const table::SetupDef& def, const table::ImageBytes& otherPlusOne);
    /// A bound field by its form name, or null.
    QLineEdit* field(const QString& control) const;

signals:
    /// "Low throttle vacuum " or "High throttle vacuum" took a value: the
    /// FuelVacChart marker of that end moves to x (bar).
    void vacuumMarkerMoved(kyr::setup::VacuumMarkerId which, double x);
    /// A field refused an entry: why, and what the field takes.
    void entryRefused(const QString& why);

private:
    void bindFields();
    void bindSwitches();
    void fieldChanged(QLineEdit* edit);
    void showTyping(QLineEdit* edit);
    void finishEdit(QLineEdit* edit);
    void dropEdit(QLineEdit* edit);
    void commit(QLineEdit* edit);
    QString takenText(const QLineEdit* edit) const;
    void explain(QLineEdit* edit, const QString& why);
    void showTips();
    void switchChanged(kyr::setup::SwitchId id, int state);
    void apply(const kyr::setup::Outcome& out, QLineEdit* source);
    void showFill(const kyr::setup::FillResult& r);
    void setFieldText(QLineEdit* edit, const QString& text);
    void setSwitchState(kyr::setup::SwitchId id, int state);
    void setText(const kyr::setup::SetupControl& control, const std::string& text);
    void applyEnables(const std::vector<kyr::setup::EnableUpdate>& enables);
    QWidget* control(const QString& name) const;
    QWidget* control(const kyr::setup::SetupControl& id) const;
    table::SetupParam fieldOf(const QLineEdit* edit) const;

    AppContext m_context;
    kyr::setup::SetupEngine& m_engine;
    QPointer<QWidget> m_root;
    std::map<table::SetupParam, QLineEdit*> m_fields;
    std::set<QLineEdit*> m_refused; // fields whose tooltip says why their entry was refused
    std::map<kyr::setup::SwitchId, QWidget*> m_switches;
    PendingEdits* m_pending;
    QLineEdit* m_typedInto = nullptr; // the field whose text the user is changing
};

} // namespace kyr::app::setup
