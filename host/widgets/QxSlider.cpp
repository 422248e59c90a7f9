#include <widgets/QxSlider.h>

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {
constexpr int margin = 6;  // room for half the handle at either end
constexpr int grooveHeight = 6;
}  // namespace

QxSlider::QxSlider(QWidget* parent, const char* name) : QWidget(parent) {
    if (name) setObjectName(QString::fromUtf8(name));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QxSlider::~QxSlider() = default;

void QxSlider::setValue(float v) {
    if (std::isnan(v)) return;
    const float clamped = std::clamp(v, minValue, maxValue);
    if (clamped != value) {
        value = clamped;
        update();
        emit valueChanged(value);
    }
    // After valueChanged, so that a receiver that grows the range starts from
    // the clamped value.
    if (clamped != v) emit valueClipped(v - clamped);
}

void QxSlider::setRange(float a, float b) {
    if (std::isnan(a) || std::isnan(b)) return;
    if (a > b) std::swap(a, b);
    const bool subAtMin = subMin == minValue;
    const bool subAtMax = subMax == maxValue;
    minValue = a;
    maxValue = b;
    setSubRange(subAtMin ? a : subMin, subAtMax ? b : subMax);
    const float inside = std::clamp(value, minValue, maxValue);
    update();
    if (inside != value) {
        value = inside;
        emit valueChanged(value);
    }
}

void QxSlider::setSubRange(float a, float b) {
    if (std::isnan(a) || std::isnan(b)) return;
    if (a > b) std::swap(a, b);
    subMin = std::clamp(a, minValue, maxValue);
    subMax = std::clamp(b, minValue, maxValue);
    update();
}

void QxSlider::setTicks(const McDArray<float>& values) {
    ticks = values;
    update();
}

void QxSlider::setSubRangeButtons(int on) {
    if (subRangeButtons == (on != 0)) return;
    subRangeButtons = on != 0;
    update();
    emit subRangeButtonsChanged(subRangeButtons);
}

QSize QxSlider::sizeHint() const { return {200, 24}; }
QSize QxSlider::minimumSizeHint() const { return {40, 24}; }

QRect QxSlider::grooveRect() const {
    return {margin, (height() - grooveHeight) / 2, std::max(1, width() - 2 * margin), grooveHeight};
}

int QxSlider::xOf(float v) const {
    const QRect groove = grooveRect();
    const float span = maxValue - minValue;
    const float t = span > 0.0f ? (v - minValue) / span : 0.0f;
    return groove.left() + static_cast<int>(std::lround(t * static_cast<float>(groove.width() - 1)));
}

float QxSlider::valueAt(int x) const {
    const QRect groove = grooveRect();
    const float t = static_cast<float>(x - groove.left()) / static_cast<float>(std::max(1, groove.width() - 1));
    return minValue + std::clamp(t, 0.0f, 1.0f) * (maxValue - minValue);
}

void QxSlider::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QRect groove = grooveRect();
    const QPalette& pal = palette();
    painter.setPen(pal.color(QPalette::Dark));
    painter.setBrush(pal.color(QPalette::Base));
    painter.drawRect(groove.adjusted(0, 0, -1, -1));

    const int x0 = xOf(subMin);
    const int x1 = xOf(subMax);
    painter.fillRect(QRect(x0, groove.top() + 1, std::max(1, x1 - x0), groove.height() - 2),
                     pal.color(QPalette::Highlight));
    if (subRangeButtons) {
        painter.setPen(pal.color(QPalette::Text));
        for (int x : {x0, x1}) painter.drawLine(x, groove.top() - 3, x, groove.bottom() + 3);
    }

    painter.setPen(pal.color(QPalette::WindowText));
    for (int i = 0; i < ticks.size(); ++i) {
        const float t = i == draggedTick ? dragValue : ticks[i];
        if (t < minValue || t > maxValue) continue;
        const int x = xOf(t);
        painter.drawLine(x, groove.bottom() + 2, x, height() - 1);
    }

    const int hx = xOf(value);
    painter.setPen(pal.color(QPalette::Shadow));
    painter.setBrush(pal.color(QPalette::Button));
    painter.drawRect(QRect(hx - margin / 2, 1, margin, groove.bottom() + 1 - 1));
}

int QxSlider::tickAt(int x) const {
    constexpr int reach = 3;  // pixels either side of a tick that grab it
    int found = -1;
    for (int i = 0; i < ticks.size(); ++i) {
        if (ticks[i] < minValue || ticks[i] > maxValue) continue;
        const int distance = std::abs(xOf(ticks[i]) - x);
        if (distance <= reach && (found < 0 || distance < std::abs(xOf(ticks[found]) - x))) found = i;
    }
    return found;
}

void QxSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const int tick = ticksDraggable && event->pos().y() > grooveRect().bottom() ? tickAt(event->pos().x()) : -1;
    if (tick >= 0) {
        draggedTick = tick;
        dragValue = ticks[tick];
        return;
    }
    setValue(valueAt(event->pos().x()));
}

void QxSlider::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    if (draggedTick >= 0) {
        dragValue = valueAt(event->pos().x());
        update();
        return;
    }
    setValue(valueAt(event->pos().x()));
}

void QxSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || draggedTick < 0) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const int tick = draggedTick;
    const float to = valueAt(event->pos().x());
    draggedTick = -1;
    update();
    if (to != ticks[tick]) emit tickDragged(tick, to);
}
