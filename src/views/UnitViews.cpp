// Views of a track's panel units and plug-ins: the generic panel built from
// a unit's parameters, one row (name, control, value text) per parameter,
// and a "Reset" button.

#include "views/UnitViews.h"

#include "engine/EngineConstants.h"
#include "engine/MusicFilter.h"
#include "platform/units/EventListener.h"
#include "platform/units/Unit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

ParameterSlider::ParameterSlider(double minValue, double maxValue, QWidget* parent)
    : QSlider(Qt::Horizontal, parent), min_(minValue), max_(maxValue) {
    setRange(0, kSteps);
}

double ParameterSlider::doubleValue() const {
    if (max_ <= min_) return min_;
    return min_ + (max_ - min_) * double(value()) / kSteps;
}

void ParameterSlider::setDoubleValue(double v) {
    const QSignalBlocker block(this);
    const double t = max_ > min_ ? (std::clamp(v, min_, max_) - min_) / (max_ - min_) : 0.0;
    setValue(int(std::lround(t * kSteps)));
}

namespace unitviews {

QString valueText(units::ParameterUnit unit, double value) {
    using U = units::ParameterUnit;
    switch (unit) {
    case U::Indexed: return QString();
    case U::Boolean: return value != 0 ? QStringLiteral("Enabled") : QStringLiteral("Disabled");
    case U::Percent:
    case U::EqualPowerCrossfade: return QString::asprintf("%.2f %%", value);
    case U::Seconds: return QString::asprintf("%.3f s", value);
    case U::Hertz: return QString::asprintf("%.2f Hz", value);
    case U::Decibels: return QString::asprintf("%.2f dB", value);
    case U::Degrees: return QString::asprintf("%.2f \u00B0", value);
    default: return QString::asprintf("%.2f", value);
    }
}

}  // namespace unitviews

namespace {

using units::ParameterUnit;
using units::Scope;

constexpr int kPopUpWidth = 160, kPopUpHeight = 25;
constexpr int kCheckBoxWidth = 61, kCheckBoxHeight = 18;
constexpr int kSliderWidth = 200;
constexpr int kMaxPanelHeight = 550;
constexpr int kMaxPopUpIndex = 100;

int textWidth(const QLabel* label) {
    return QFontMetrics(label->font()).horizontalAdvance(label->text()) + 4;
}

// The first item of an indexed parameter's pop-up is its minimum.
float indexedMinimum(units::Unit* unit, uint32_t id) {
    units::ParameterInfo info;
    if (unit && units::ok(unit->parameterInfo(Scope::Global, id, &info))) return info.minValue;
    return 0.0f;
}

}  // namespace


// A plug-in's own view. The LV2 plug-ins hosted here offer none that can
// live inside a Qt window (an in-process GTK or Qt 5 interface cannot), so
// every plug-in is shown in the generic panel.
GenericUnitViewFactory& GenericUnitViewFactory::shared() {
    static GenericUnitViewFactory factory;
    return factory;
}

QWidget* GenericUnitViewFactory::createCocoaViewForPlugin(MusicFilter& track, units::Unit* unit,
                                                          const QString& name) {
    (void)track, (void)unit, (void)name;
    return nullptr;
}

// The built-in units up to the pitch unit have views of their own; the
// matrix reverb and the panner use the generic panel.
QWidget* GenericUnitViewFactory::createCocoaView(MusicFilter& track, units::Unit* unit) {
    if (!unit) return nullptr;
    const uint64_t type = track.getTypeForAudioUnit(unit);
    if (type > unittype::PitchFilter) return nullptr;
    auto* view = new BuiltInUnitView(track, type, unit);
    if (unittype::isFilterSliderUnit(type)) {
        auto* reset = new QPushButton(QStringLiteral("Reset"), view);
        reset->resize(reset->sizeHint());
        reset->move(view->width() - 10 - reset->width(), view->height() - 10 - reset->height());
        QObject::connect(reset, &QPushButton::clicked, view, [this, type] {
            if (resetFilterView) resetFilterView(type);
        });
    }
    if (view->height() <= kMaxPanelHeight) return view;
    auto* scroll = new QScrollArea;
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFrameShape(QFrame::NoFrame);
    const QSize inner = view->size();
    scroll->setWidget(view);
    scroll->resize(inner.width() + scroll->verticalScrollBar()->sizeHint().width(), kMaxPanelHeight);
    return scroll;
}

QWidget* GenericUnitViewFactory::createCustomViewForAudioUnit(MusicFilter& track, units::Unit* unit) {
    track.audioUnitArray.clear();
    if (!unit) return nullptr;
    const uint64_t type = track.getTypeForAudioUnit(unit);

    struct Row {
        QLabel* label;
        QWidget* control;
        QLabel* text;
        int labelWidth;
    };
    std::vector<Row> rows;
    int widestLabel = 0, widestValue = 0;
    int y = 12;
    auto* content = new QWidget;
    std::weak_ptr<MusicFilter> weak = track.weak_from_this();

    for (const MAudioParameter& p : track.listenerParameters) {
        if (track.getAudioUnitForType(p.type) != unit) continue;
        units::ParameterInfo info;
        unit->parameterInfo(Scope::Global, p.parameterID, &info);

        auto* label = new QLabel(info.name, content);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        const int labelWidth = textWidth(label);
        label->resize(labelWidth, label->sizeHint().height());
        widestLabel = std::max(widestLabel, labelWidth);

        auto* text = new QLabel(unitviews::valueText(info.unit, p.value), content);
        text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        const int valueWidth = textWidth(text);
        text->resize(valueWidth + 20, text->sizeHint().height());
        widestValue = std::max(widestValue, valueWidth);

        const int controlX = 5 + labelWidth + 10;
        QWidget* control = nullptr;
        if (info.unit == ParameterUnit::Indexed) {
            auto* popUp = new QComboBox(content);
            popUp->setFixedSize(kPopUpWidth, kPopUpHeight);
            const QStringList strings = unit->parameterValueStrings(Scope::Global, p.parameterID);
            const int first = int(std::lround(info.minValue));
            const int last = std::min(int(std::lround(info.maxValue)), kMaxPopUpIndex);
            for (int v = first, n = 0; v <= last && n < strings.size(); ++v, ++n) popUp->addItem(strings[n]);
            popUp->setCurrentIndex(int(std::lround(p.value - info.minValue)));
            label->move(5, y + 6);
            popUp->move(controlX, y + 5);
            text->move(controlX + kPopUpWidth + 15, y + 5);
            y += kPopUpHeight + 8;
            QObject::connect(popUp, &QComboBox::currentIndexChanged, popUp, [weak, popUp](int) {
                if (auto t = weak.lock()) t->updateValueForCustomViewObject(popUp);
            });
            control = popUp;
        } else if (info.unit == ParameterUnit::Boolean) {
            auto* check = new QCheckBox(QString(), content);
            check->setFixedSize(kCheckBoxWidth, kCheckBoxHeight);
            check->setChecked(p.value != 0);
            label->move(5, y + 4);
            check->move(controlX, y + 5);
            text->move(controlX + kCheckBoxWidth + 15, y + 5);
            y += kCheckBoxHeight + 8;
            QObject::connect(check, &QCheckBox::toggled, check, [weak, check](bool) {
                if (auto t = weak.lock()) t->updateValueForCustomViewObject(check);
            });
            control = check;
        } else {
            auto* slider = new ParameterSlider(info.minValue, info.maxValue, content);
            const int height = slider->sizeHint().height();
            slider->setFixedSize(kSliderWidth, height);
            slider->setDoubleValue(p.value);
            // The track colour, on a grey groove.
            slider->setStyleSheet(QStringLiteral(
                "QSlider::groove:horizontal { height: 4px; background: #8a8a8a; border-radius: 2px; }"
                "QSlider::sub-page:horizontal { background: rgb(255, 186, 38); border-radius: 2px; }"
                "QSlider::handle:horizontal { width: 12px; margin: -5px 0; border-radius: 6px;"
                " background: #e8e8e8; border: 1px solid #6a6a6a; }"));
            label->move(5, y + 4);
            slider->move(controlX, y);
            text->move(controlX + kSliderWidth + 15, y + 2);
            y += height;
            QObject::connect(slider, &QSlider::valueChanged, slider, [weak, slider](int) {
                if (auto t = weak.lock()) t->updateValueForCustomViewObject(slider);
            });
            control = slider;
        }
        rows.push_back({label, control, text, labelWidth});
        track.audioUnitArray.push_back(
            CustomParameterControlRecord{control, text, uint32_t(info.unit), p.parameterID, type});
    }

    // Room for the widest label and value text, the 200-point slider and the gaps.
    const int width = widestLabel + widestValue + 255;
    const int height = y + 46;
    content->setFixedSize(width, height);
    // Every label ends at the same x.
    for (const Row& r : rows) {
        const int dx = widestLabel - r.labelWidth;
        for (QWidget* w : {static_cast<QWidget*>(r.label), r.control, static_cast<QWidget*>(r.text)})
            w->move(w->x() + dx, w->y());
    }

    auto* reset = new QPushButton(QStringLiteral("Reset"), content);
    reset->resize(reset->sizeHint());
    reset->move(width - 10 - reset->width(), height - 13 - reset->height());
    QObject::connect(reset, &QPushButton::clicked, reset, [weak] {
        if (auto t = weak.lock()) t->resetAudioUnitInView();
    });

    auto* scroll = new QScrollArea;
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->viewport()->setAutoFillBackground(false);
    scroll->setWidget(content);
    scroll->resize(width + scroll->verticalScrollBar()->sizeHint().width(), std::min(height, kMaxPanelHeight));
    return scroll;
}

std::optional<float> GenericUnitViewFactory::takeRowValue(const CustomParameterControlRecord& row,
                                                          units::Unit* unit) {
    QWidget* control = row.valueObject.data();
    QLabel* text = row.valueText.data();
    if (auto* slider = dynamic_cast<ParameterSlider*>(control)) {
        const float v = float(slider->doubleValue());
        if (text) text->setText(unitviews::valueText(ParameterUnit(row.parameterInfoUnit), v));
        return v;
    }
    if (auto* popUp = dynamic_cast<QComboBox*>(control)) {
        // Item n stands for the parameter's minimum + n.
        if (text) text->setText(QString());
        return indexedMinimum(unit, row.parameterID) + float(popUp->currentIndex());
    }
    if (auto* check = dynamic_cast<QCheckBox*>(control)) {
        const float v = check->isChecked() ? 1.0f : 0.0f;
        if (text) text->setText(unitviews::valueText(ParameterUnit::Boolean, v));
        return v;
    }
    return std::nullopt;
}

void GenericUnitViewFactory::showRowValue(const CustomParameterControlRecord& record, units::Unit* unit,
                                          float value) {
    QWidget* control = record.valueObject.data();
    QLabel* text = record.valueText.data();
    const auto measure = ParameterUnit(record.parameterInfoUnit);
    if (auto* slider = dynamic_cast<ParameterSlider*>(control)) {
        slider->setDoubleValue(value);
        if (text) text->setText(unitviews::valueText(measure, value));
    } else if (auto* popUp = dynamic_cast<QComboBox*>(control)) {
        const QSignalBlocker block(popUp);
        popUp->setCurrentIndex(int(std::lround(value - indexedMinimum(unit, record.parameterID))));
        if (text) text->setText(QString());
    } else if (auto* check = dynamic_cast<QCheckBox*>(control)) {
        const QSignalBlocker block(check);
        check->setChecked(value != 0);
        if (text) text->setText(unitviews::valueText(ParameterUnit::Boolean, value));
    } else if (text) {
        text->setText(QString());
    }
}

// ---- the own views of the built-in units ----

namespace {
const char* const kSliderLook =
    "QSlider::groove:horizontal { height: 4px; background: #8a8a8a; border-radius: 2px; }"
    "QSlider::sub-page:horizontal { background: rgb(255, 186, 38); border-radius: 2px; }"
    "QSlider::handle:horizontal { width: 12px; margin: -5px 0; border-radius: 6px;"
    " background: #e8e8e8; border: 1px solid #6a6a6a; }";
}  // namespace

BuiltInUnitView::BuiltInUnitView(MusicFilter& track, uint64_t type, units::Unit* unit)
    : track_(track.weak_from_this()), type_(type) {
    listener_ = std::make_unique<units::EventListener>(
        [this](void*, const units::UnitEvent& event, uint64_t, float value) {
            if (event.type != units::UnitEvent::Type::ParameterValueChange || event.unit != this->unit()) return;
            for (const Row& r : rows_)
                if (r.parameterID == event.parameter) show(r, value);
        },
        0.05, 0.0);

    int widestLabel = 0;
    std::vector<std::pair<QLabel*, units::ParameterInfo>> labels;
    const std::vector<units::ParameterID> ids = unit->parameterList(Scope::Global);
    for (units::ParameterID id : ids) {
        units::ParameterInfo info;
        if (!units::ok(unit->parameterInfo(Scope::Global, id, &info))) continue;
        auto* label = new QLabel(info.name, this);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        widestLabel = std::max(widestLabel, textWidth(label));
        labels.push_back({label, info});
    }

    int y = 14, i = 0;
    const int controlX = 12 + widestLabel + 10;
    for (units::ParameterID id : ids) {
        units::ParameterInfo info;
        if (!units::ok(unit->parameterInfo(Scope::Global, id, &info))) continue;
        QLabel* label = labels[size_t(i++)].first;
        float value = info.defaultValue;
        unit->getParameter(id, Scope::Global, 0, &value);
        auto* text = new QLabel(this);
        text->resize(110, label->sizeHint().height());
        label->setGeometry(12, y + 2, widestLabel, label->sizeHint().height());
        QWidget* control = nullptr;
        if (info.unit == ParameterUnit::Indexed) {
            auto* popUp = new QComboBox(this);
            popUp->setFixedSize(kPopUpWidth, kPopUpHeight);
            popUp->addItems(unit->parameterValueStrings(Scope::Global, id));
            connect(popUp, &QComboBox::activated, this, [this, id, info](int index) {
                change(id, info.minValue + float(index), false);
            });
            control = popUp;
        } else if (info.unit == ParameterUnit::Boolean) {
            auto* check = new QCheckBox(this);
            check->setFixedSize(kCheckBoxWidth, kCheckBoxHeight);
            connect(check, &QCheckBox::clicked, this, [this, id](bool on) { change(id, on ? 1.0f : 0.0f, false); });
            control = check;
        } else {
            auto* slider = new ParameterSlider(info.minValue, info.maxValue, this);
            slider->setFixedSize(kSliderWidth, slider->sizeHint().height());
            slider->setStyleSheet(QString::fromLatin1(kSliderLook));
            connect(slider, &QSlider::sliderPressed, this, [this, id] { beginGesture(id); });
            connect(slider, &QSlider::sliderReleased, this, [this, id] { endGesture(id); });
            connect(slider, &QSlider::valueChanged, this, [this, id, slider](int) {
                change(id, float(slider->doubleValue()), slider->isSliderDown());
            });
            control = slider;
        }
        control->move(controlX, y);
        text->move(controlX + control->width() + 12, y + 2);
        rows_.push_back({id, info.unit, control, text});
        show(rows_.back(), value);
        listener_->addEventType(this, units::UnitEvent::parameterEvent(units::UnitEvent::Type::ParameterValueChange,
                                                                       unit, id));
        y += std::max(control->height(), label->height()) + 8;
    }
    const bool withReset = unittype::isFilterSliderUnit(type);
    setFixedSize(controlX + kSliderWidth + 12 + 110 + 12, y + (withReset ? 44 : 10));
}

BuiltInUnitView::~BuiltInUnitView() = default;

units::Unit* BuiltInUnitView::unit() const {
    auto t = track_.lock();
    return t ? t->getAudioUnitForType(type_) : nullptr;
}

QWidget* BuiltInUnitView::controlOf(uint32_t parameterID) const {
    for (const Row& r : rows_)
        if (r.parameterID == parameterID) return r.control;
    return nullptr;
}

void BuiltInUnitView::beginGesture(uint32_t id) {
    if (units::Unit* u = unit())
        units::notifyEvent(listener_.get(), this, units::UnitEvent::parameterEvent(
                                                      units::UnitEvent::Type::BeginParameterChangeGesture, u, id));
}

void BuiltInUnitView::endGesture(uint32_t id) {
    if (units::Unit* u = unit())
        units::notifyEvent(listener_.get(), this, units::UnitEvent::parameterEvent(
                                                      units::UnitEvent::Type::EndParameterChangeGesture, u, id));
}

// A change while the control is held belongs to the held gesture; any
// other change (a click, a key, a pop-up) is a gesture of its own.
void BuiltInUnitView::change(uint32_t id, float value, bool held) {
    units::Unit* u = unit();
    if (!u) return;
    if (!held) beginGesture(id);
    units::setParameterAndNotify(listener_.get(), this, u, id, Scope::Global, 0, value);
    for (const Row& r : rows_)
        if (r.parameterID == id && r.text) r.text->setText(unitviews::valueText(r.measure, value));
    if (!held) endGesture(id);
}

void BuiltInUnitView::show(const Row& row, float value) {
    if (auto* slider = dynamic_cast<ParameterSlider*>(row.control)) {
        if (!slider->isSliderDown()) slider->setDoubleValue(value);
    } else if (auto* popUp = dynamic_cast<QComboBox*>(row.control)) {
        const QSignalBlocker block(popUp);
        popUp->setCurrentIndex(int(std::lround(value - indexedMinimum(unit(), row.parameterID))));
    } else if (auto* check = dynamic_cast<QCheckBox*>(row.control)) {
        const QSignalBlocker block(check);
        check->setChecked(value != 0);
    }
    if (row.text) row.text->setText(unitviews::valueText(row.measure, value));
}
