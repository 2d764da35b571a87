#pragma once
// The "Setup" page: the vehicle texts kept in map files, the unit's identity
// fields and (to come) the setup parameter fields and option switches.

#include "app/Page.h"

class QGridLayout;
class QLineEdit;

namespace kyr::app {

class SetupPage : public Page {
    Q_OBJECT
public:
    explicit SetupPage(AppContext context, QWidget* parent = nullptr);

private:
    QLineEdit* addField(QGridLayout* grid, int row, int column, const QString& name, const QString& caption);
    void showVehicle();
    void showUnit();
    void showIdentity();
    void takeVehicle();

    QLineEdit* m_make;   // Edit9
    QLineEdit* m_model;  // Edit10
    QLineEdit* m_engine; // Edit11
    QLineEdit* m_type;   // Edit18
    QLineEdit* m_unitModel, * m_major, * m_minor; // Edit6, Edit7, Edit8
};

} // namespace kyr::app
