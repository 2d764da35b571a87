// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "About the KYR Interface" (TForm2): what the program knows of the unit, and
// the hidden access field that opens the serial-number dialog.

#include "app/dialogs/OwnedDialog.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace kyr::app {
class TuneModel;
}

namespace kyr::app::dialogs {

class AboutDialog : public OwnedDialog {
    Q_OBJECT
public:
    AboutDialog(const TuneModel& model, QWidget* owner);

    /// The dialog the access code opens (created after this one). When it
    /// is the serial-number dialog, its updates are reported in Memo1.
    void setSerialDialog(QDialog* serial);
    /// Memo1 after a serial number update: "Serial number updated..." and
    /// "New serial number is " + serial.
    void reportSerialUpdated(const QString& serial);
    /// The lines Memo1 shows.
    QStringList memo() const;
    /// The five lines of Memo1 for the model's state.
    static QStringList memoLines(const TuneModel& model);
    /// The product line, first line of the memo.
    static QString productLine();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void image4Click(Qt::KeyboardModifiers modifiers);
    void hideAccess();
    void button2Click();

    const TuneModel& m_model;
    QPlainTextEdit* m_memo;    // Memo1
    QLabel* m_image;           // Image4
    QLineEdit* m_code;         // Edit1
    QPushButton* m_confirm;    // Button2
    QPushButton* m_ok = nullptr; // Button1
    QDialog* m_serial = nullptr;
};

} // namespace kyr::app::dialogs
