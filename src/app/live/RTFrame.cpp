// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/live/RTFrame.h"

#include "app/live/LivePoll.h"
#include "app/common/TuneModel.h"
#include "setup/Switches.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

namespace kyr::app::live {

namespace {

constexpr char kFramesName[] = "RealTimeFrames";
constexpr char kLambdaCaption[] = "Lambda";
constexpr char kSetTarget[] = "Set Target";

QString unitText(kyr::live::LiveField f)
{
    const std::string_view unit = kyr::live::liveFieldDef(f).unit;
    return unit == "deg" ? QStringLiteral("\u00B0") : QStringLiteral(" ") + QString::fromUtf8(unit.data(), unit.size());
}

int placesOf(kyr::live::LiveField f)
{
    switch (f) {
    case kyr::live::LiveField::Timing: return 1;
    case kyr::live::LiveField::Lambda: return 2;
    default: return 0;
    }
}

QString formatted(kyr::live::LiveField f, const std::optional<kyr::live::LiveValues>& values)
{
    const std::optional<double> v = values ? values->get(f) : std::nullopt;
    if (!v)
        return QStringLiteral("--");
    return QString::number(*v, 'f', placesOf(f)) + unitText(f);
}

} // namespace

// ---------------------------------------------------------------- LambdaTargetStrip

LambdaTargetStrip::LambdaTargetStrip(QWidget* parent)
    : QWidget(parent), m_panel(new QFrame(this)), m_bar(new QFrame(m_panel)), m_marker(new QFrame(m_panel)),
      m_label(new QLabel(m_panel))
{
    m_panel->setObjectName(QStringLiteral("Panel1"));
    m_panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_bar->setObjectName(QStringLiteral("LambdaBar"));
    m_bar->setStyleSheet(QStringLiteral("background-color: #81c784;"));
    m_bar->hide();
    m_marker->setObjectName(QStringLiteral("Shape1"));
    m_marker->setFrameStyle(QFrame::Box | QFrame::Plain);
    m_marker->setFixedSize(3, 8);
    m_label->setObjectName(QStringLiteral("Label6"));
    setFixedHeight(m_label->fontMetrics().height() + 12);
    setMinimumWidth(120);
}

void LambdaTargetStrip::setPosition(int position, int labelShift)
{
    m_position = position;
    m_labelShift = labelShift;
    place();
}

void LambdaTargetStrip::setLive(std::optional<double> volts)
{
    m_live = volts;
    place();
}

void LambdaTargetStrip::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_panel->setGeometry(rect());
    place();
}

// The label is measured by the text it shows for the position, so it is
// placed right whichever order the text and the position change in.
void LambdaTargetStrip::place()
{
    const QString text = QString::fromStdString(kyr::setup::lambdaLabelText(m_position));
    m_label->resize(m_label->fontMetrics().horizontalAdvance(text) + 2, m_label->fontMetrics().height());
    const int width = m_panel->width();
    m_marker->move(kyr::setup::lambdaMarkerLeft(width, m_position, m_marker->width()), 2);
    m_label->move(kyr::setup::lambdaMarkerLeft(width, m_position, m_label->width()) + m_labelShift,
                  2 + m_marker->height());
    // The bar ends where the marker would stand for the same volts (1 V across).
    if (m_live) {
        const int end = static_cast<int>(std::lround(width * std::clamp(*m_live, 0.0, 1.0)));
        m_bar->setGeometry(1, 2, std::max(end - 1, 0), m_marker->height());
    }
    m_bar->setVisible(m_live.has_value());
}

// ---------------------------------------------------------------- RTFrame

RTFrame::RTFrame(LivePoll& poll, RealTimeFrames& frames, const QString& name, QWidget* parent)
    : QFrame(parent), m_poll(poll)
{
    setObjectName(name);
    setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 2, 6, 2);
    row->addWidget(addValue(kyr::live::LiveField::Rpm, QStringLiteral("Speed")));
    row->addWidget(addValue(kyr::live::LiveField::Timing, QStringLiteral("Timing")));
    row->addWidget(addValue(kyr::live::LiveField::Vacuum, QStringLiteral("Vacuum")));

    auto* lambdaBox = new QWidget(this);
    auto* column = new QVBoxLayout(lambdaBox);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* heading = new QHBoxLayout;
    heading->setSpacing(8);
    m_caption = new QLabel(QString::fromLatin1(kLambdaCaption), lambdaBox);
    m_caption->setObjectName(QStringLiteral("Label46"));
    m_lambdaValue = new QLabel(QStringLiteral("--"), lambdaBox);
    m_lambdaValue->setObjectName(QStringLiteral("Label56"));
    heading->addWidget(m_caption);
    heading->addWidget(m_lambdaValue);
    heading->addStretch(1);
    column->addLayout(heading);
    m_lambda = new LambdaTargetStrip(lambdaBox);
    column->addWidget(m_lambda);
    row->addWidget(lambdaBox, 1);

    m_refresh.setSingleShot(true);
    m_refresh.setInterval(RefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, [this] { show(m_next); });
    connect(&m_poll, &LivePoll::liveUpdated, this, &RTFrame::received);
    connect(&m_poll, &LivePoll::liveMissed, this, [this] {
        m_next.reset();
        show(std::nullopt);
    });
    connect(&m_poll, &LivePoll::runningChanged, this, [this](bool on) {
        if (!on) {
            m_next.reset();
            show(std::nullopt);
        }
    });
    frames.add(this);
}

QLabel* RTFrame::addValue(kyr::live::LiveField field, const QString& caption)
{
    auto* label = new QLabel(caption + QStringLiteral(" --"), this);
    label->setObjectName(QStringLiteral("RT") + caption);
    // A fixed width: a new value never moves the frame's layout.
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(caption + QStringLiteral(" 88888 RPM")));
    m_values.emplace_back(field, label);
    return label;
}

QString RTFrame::valueText(kyr::live::LiveField field) const
{
    for (const auto& [f, label] : m_values)
        if (f == field)
            return label->text().section(QLatin1Char(' '), 1);
    return field == kyr::live::LiveField::Lambda ? m_lambdaValue->text() : QString();
}

// Records may come far faster than a screen shows them: the newest waits
// for the next refresh, and a hidden frame draws nothing.
void RTFrame::received(const kyr::live::LiveValues& values)
{
    m_next = values;
    if (isVisible() && !m_refresh.isActive())
        m_refresh.start();
}

void RTFrame::showEvent(QShowEvent* event)
{
    QFrame::showEvent(event);
    show(m_poll.running() ? m_poll.latest() : std::nullopt);
}

void RTFrame::show(const std::optional<kyr::live::LiveValues>& values)
{
    for (const auto& [field, label] : m_values) {
        const QString text = label->text().section(QLatin1Char(' '), 0, 0) + QLatin1Char(' ') + formatted(field, values);
        if (label->text() != text)
            label->setText(text);
    }
    const QString lambda = formatted(kyr::live::LiveField::Lambda, values);
    if (m_lambdaValue->text() != lambda)
        m_lambdaValue->setText(lambda);
    m_lambda->setLive(values ? values->get(kyr::live::LiveField::Lambda) : std::nullopt);
}

void RTFrame::setTargetEditing(bool editing)
{
    m_caption->setText(QString::fromLatin1(editing ? kSetTarget : kLambdaCaption));
    m_lambdaValue->setVisible(!editing);
}

// ---------------------------------------------------------------- RealTimeFrames

void RealTimeFrames::add(RTFrame* frame)
{
    m_frames.emplace_back(frame);
    if (m_slider)
        frame->lambda()->setPosition(m_slider->value(), -1);
}

std::vector<RTFrame*> RealTimeFrames::frames() const
{
    std::vector<RTFrame*> out;
    for (const auto& f : m_frames)
        if (f)
            out.push_back(f.data());
    return out;
}

void RealTimeFrames::watchTarget(QSlider* slider, RTFrame* home)
{
    m_slider = slider;
    m_home = home;
    slider->installEventFilter(this);
    connect(slider, &QSlider::valueChanged, this, &RealTimeFrames::targetMoved);
    placeEverywhere(slider->value(), false);
    if (home)
        home->lambda()->setPosition(slider->value());
}

// While the tuner slides, the frame beside the slider follows; a target set
// from a table (the slider without the focus) reaches every frame at once.
void RealTimeFrames::targetMoved(int position)
{
    if (m_home)
        m_home->lambda()->setPosition(position);
    if (m_slider && !m_slider->hasFocus())
        placeEverywhere(position, false);
}

void RealTimeFrames::placeEverywhere(int position, bool home)
{
    // The setup engine gives the label beside the slider its text, or none
    // for a unit without lambda control; the other frames show the same.
    const bool shown = !m_home || !m_home->lambda()->label()->text().isEmpty();
    const QString text = shown ? QString::fromStdString(kyr::setup::lambdaLabelText(position)) : QString();
    for (RTFrame* f : frames()) {
        if (f != m_home)
            f->lambda()->label()->setText(text);
        if (home || f != m_home)
            f->lambda()->setPosition(position, -1);
    }
}

bool RealTimeFrames::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_slider && m_home) {
        if (event->type() == QEvent::FocusIn)
            m_home->setTargetEditing(true);
        if (event->type() == QEvent::FocusOut) {
            m_home->setTargetEditing(false);
            placeEverywhere(m_slider->value(), true);
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace kyr::app::live
