#include "app/SetupPage.h"

#include "app/TuneModel.h"
#include "files/MapFile.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace kyr::app {

SetupPage::SetupPage(AppContext context, QWidget* parent)
    : Page(context, QStringLiteral("TabSheet1"), QStringLiteral("Setup"), parent)
{
    auto* vehicleBox = new QGroupBox(QStringLiteral("Vehicle"), this);
    auto* vehicleGrid = new QGridLayout(vehicleBox);
    m_make = addField(vehicleGrid, 0, 0, QStringLiteral("Edit9"), QStringLiteral("Vehicle Make"));
    m_model = addField(vehicleGrid, 0, 2, QStringLiteral("Edit10"), QStringLiteral("Vehicle Model"));
    m_engine = addField(vehicleGrid, 0, 4, QStringLiteral("Edit11"), QStringLiteral("Engine Type"));
    for (QLineEdit* e : {m_make, m_model, m_engine}) {
        e->setMaxLength(files::MaxVehicleText);
        connect(e, &QLineEdit::textEdited, this, &SetupPage::takeVehicle);
    }

    auto* unitBox = new QGroupBox(QStringLiteral("KYR"), this);
    auto* unitGrid = new QGridLayout(unitBox);
    m_type = addField(unitGrid, 0, 0, QStringLiteral("Edit18"), QStringLiteral("Unit Type"));
    m_unitModel = addField(unitGrid, 0, 2, QStringLiteral("Edit6"), QStringLiteral("Model"));
    m_major = addField(unitGrid, 0, 4, QStringLiteral("Edit7"), QStringLiteral("Major"));
    m_minor = addField(unitGrid, 0, 6, QStringLiteral("Edit8"), QStringLiteral("Minor"));
    for (QLineEdit* e : {m_type, m_unitModel, m_major, m_minor})
        e->setReadOnly(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(vehicleBox);
    layout->addWidget(unitBox);
    layout->addStretch(1);

    connect(&model(), &TuneModel::vehicleChanged, this, &SetupPage::showVehicle);
    connect(&model(), &TuneModel::stateChanged, this, &SetupPage::showUnit);
    connect(&model(), &TuneModel::setupChanged, this, &SetupPage::showIdentity);
}

QLineEdit* SetupPage::addField(QGridLayout* grid, int row, int column, const QString& name, const QString& caption)
{
    auto* edit = new QLineEdit(this);
    edit->setObjectName(name);
    auto* label = new QLabel(caption, this);
    label->setBuddy(edit);
    grid->addWidget(label, row, column);
    grid->addWidget(edit, row, column + 1);
    return edit;
}

void SetupPage::showVehicle()
{
    const VehicleInfo& v = model().vehicle();
    // Only what differs: setting a field's own text would move its cursor.
    if (m_make->text() != v.make)
        m_make->setText(v.make);
    if (m_model->text() != v.model)
        m_model->setText(v.model);
    if (m_engine->text() != v.engine)
        m_engine->setText(v.engine);
}

void SetupPage::showUnit() { m_type->setText(QString::fromStdString(model().state().edit18)); }

// Edit6, Edit7 and Edit8 follow the setup decode of Connect; a cleared tune empties them.
void SetupPage::showIdentity()
{
    if (!model().setupShown()) {
        for (QLineEdit* e : {m_unitModel, m_major, m_minor})
            e->clear();
        return;
    }
    const link::UnitIdentity& id = model().state().unit.identity;
    m_unitModel->setText(QString::number(id.model()));
    m_major->setText(QString::number(id.major()));
    m_minor->setText(QString::number(id.minor()));
}

void SetupPage::takeVehicle() { model().setVehicle({m_make->text(), m_model->text(), m_engine->text()}); }

} // namespace kyr::app
