// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/setup/SetupPage.h"

#include "app/live/RTFrame.h"
#include "app/setup/SetupBinder.h"
#include "app/setup/SetupPanels.h"
#include "app/common/TuneModel.h"
#include "files/MapFile.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QSlider>
#include <QVBoxLayout>

namespace kyr::app::setup {

SetupPage::SetupPage(AppContext context, live::LivePoll& poll, live::RealTimeFrames& frames, QWidget* parent)
    : Page(context, QStringLiteral("TabSheet1"), QStringLiteral("Setup"), parent)
{
    // Everything scrolls together when the window is smaller than the page.
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->addWidget(buildIdentityRow());
    column->addWidget(buildSetupPanels(content));
    column->addStretch(1);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("SetupScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(content);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);
    // The real-time frame stays in view below the panels as they scroll.
    auto* frame = new live::RTFrame(poll, frames, QStringLiteral("RT2"), this);
    layout->addWidget(frame);
    if (auto* target = content->findChild<QSlider*>(QStringLiteral("TrackBar7")))
        frames.watchTarget(target, frame);

    // The whole page: the target label the engine gives a text is in the frame.
    m_binder = new SetupBinder(context, model().setupEngine(), this, this);

    connect(m_binder, &SetupBinder::vacuumMarkerMoved, &model(), &TuneModel::vacuumMarkerMoved);
    connect(m_binder, &SetupBinder::entryRefused, this, &Page::statusText);
    if (auto* calibrate = content->findChild<QPushButton*>(QStringLiteral("CalBtn")))
        connect(calibrate, &QPushButton::clicked, this, &SetupPage::throttleCalibrationRequested);

    connect(&model(), &TuneModel::vehicleChanged, this, &SetupPage::showVehicle);
    connect(&model(), &TuneModel::stateChanged, this, &SetupPage::showUnit);
    connect(&model(), &TuneModel::setupChanged, this, &SetupPage::showIdentity);
}

// The binding goes before the fields: a field that loses the focus while the
// window is taken down must not reach for a link that is gone already.
SetupPage::~SetupPage() { delete m_binder; }

// The vehicle texts and the unit's identity, side by side above the panels.
QWidget* SetupPage::buildIdentityRow()
{
    auto* row = new QWidget;
    auto* boxes = new QHBoxLayout(row);
    boxes->setContentsMargins(0, 0, 0, 0);

    auto* vehicleBox = new QGroupBox(QStringLiteral("Vehicle"), row);
    auto* vehicleGrid = new QGridLayout(vehicleBox);
    m_make = addField(vehicleGrid, 0, 0, QStringLiteral("Edit9"), QStringLiteral("Vehicle Make"));
    m_model = addField(vehicleGrid, 0, 2, QStringLiteral("Edit10"), QStringLiteral("Vehicle Model"));
    m_engine = addField(vehicleGrid, 0, 4, QStringLiteral("Edit11"), QStringLiteral("Engine Type"));
    // "~" separates the three texts in a map file, so a text holding one
    // would open shifted; control characters have no place there either.
    static const QRegularExpression allowed(QStringLiteral("[^~\\x00-\\x1f\\x7f]*"));
    const std::pair<QLineEdit*, QString> vehicle[] = {
        {m_make, QStringLiteral("Vehicle Make")}, {m_model, QStringLiteral("Vehicle Model")},
        {m_engine, QStringLiteral("Engine Type")}};
    for (const auto& [e, caption] : vehicle) {
        e->setMaxLength(files::MaxVehicleText);
        e->setValidator(new QRegularExpressionValidator(allowed, e));
        connect(e, &QLineEdit::textEdited, this, &SetupPage::takeVehicle);
        connect(e, &QLineEdit::inputRejected, this, [this, caption = caption] {
            emit statusText(caption + QStringLiteral(" takes at most %1 characters, without \"~\" or control characters")
                                          .arg(files::MaxVehicleText));
        });
    }

    auto* unitBox = new QGroupBox(QStringLiteral("KYR"), row);
    auto* unitGrid = new QGridLayout(unitBox);
    m_type = addField(unitGrid, 0, 0, QStringLiteral("Edit18"), QStringLiteral("Unit Type"));
    m_unitModel = addField(unitGrid, 0, 2, QStringLiteral("Edit6"), QStringLiteral("Model"));
    m_major = addField(unitGrid, 0, 4, QStringLiteral("Edit7"), QStringLiteral("Major"));
    m_minor = addField(unitGrid, 0, 6, QStringLiteral("Edit8"), QStringLiteral("Minor"));
    for (QLineEdit* e : {m_type, m_unitModel, m_major, m_minor})
        e->setReadOnly(true);
    // The identity numbers are short; the type name takes the room.
    for (QLineEdit* e : {m_unitModel, m_major, m_minor})
        e->setMaximumWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12);

    boxes->addWidget(vehicleBox, 3);
    boxes->addWidget(unitBox, 2);
    return row;
}

QLineEdit* SetupPage::addField(QGridLayout* grid, int row, int column, const QString& name, const QString& caption)
{
    auto* edit = new QLineEdit(grid->parentWidget());
    edit->setObjectName(name);
    auto* label = new QLabel(caption, grid->parentWidget());
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

void SetupPage::showUnit() { m_type->setText(QString::fromStdString(model().state().unitTypeText)); }

// Edit6, Edit7 and Edit8 follow the setup decode of Connect; a cleared tune empties them.
void SetupPage::showIdentity()
{
    if (!model().setupShown()) {
        for (QLineEdit* e : {m_unitModel, m_major, m_minor})
            e->clear();
        return;
    }
    const kyr::link::UnitIdentity& id = model().state().unit.identity;
    m_unitModel->setText(QString::number(id.model()));
    m_major->setText(QString::number(id.major()));
    m_minor->setText(QString::number(id.minor()));
}

void SetupPage::takeVehicle() { model().setVehicle({m_make->text(), m_model->text(), m_engine->text()}); }

} // namespace kyr::app::setup
