#include "SpeedPlot.h"

#include <hxcore/HxCmd.h>
#include <mc/McSafeFile.h>
#include <viewer/HxMovieWriter.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QGraphicsScene>
#include <QGraphicsLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgGenerator>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>
#include <limits>

using namespace QtCharts;

namespace {
QString tr(const char* text) { return QCoreApplication::translate("SpeedPlot", text); }

// Room above the highest speed, so a constant curve does not lie on the frame.
constexpr double headroom = 1.15;

// A round tick spacing (1, 2 or 5 times a power of ten) giving about six ticks over `span`.
double tickSpacing(double span) {
    if (!(span > 0) || !std::isfinite(span)) return 1.0;
    const double rough = span / 6.0;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (double factor : {1.0, 2.0, 5.0})
        if (factor * power >= rough) return factor * power;
    return 10.0 * power;
}

void setRoundTicks(QValueAxis* axis, double from, double to) {
    // Fixed ticks while range and spacing change: the old spacing over the new
    // range (or the new over the old) could ask for millions of ticks.
    const double spacing = tickSpacing(to - from);
    axis->setTickType(QValueAxis::TicksFixed);
    axis->setRange(from, to);
    axis->setTickInterval(spacing);
    axis->setTickAnchor(std::ceil(from / spacing) * spacing);
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setLabelFormat("%g");
}

double topOf(double highest) { return highest > 0 && std::isfinite(highest) ? highest * headroom : 1.0; }

QString ratioText(float r) { return std::isfinite(r) ? QString::number(double(r), 'f', 2) : tr("infinite"); }
}  // namespace

QColor SpeedChart::translationColor() { return QColor(31, 90, 200); }
QColor SpeedChart::opticalColor() { return QColor(230, 120, 20); }
QColor SpeedChart::flowColor() { return QColor(40, 160, 60); }
QColor SpeedChart::markerColor() { return QColor(210, 30, 30); }

SpeedChart::SpeedChart() : timeAxis(new QValueAxis), translationAxis(new QValueAxis), opticalAxis(new QValueAxis) {
    setAnimationOptions(QChart::NoAnimation);
    layout()->setContentsMargins(0, 0, 0, 0);
    setBackgroundRoundness(0);
    timeAxis->setTitleText(tr("time"));
    translationAxis->setTitleText(tr("translation / time"));
    opticalAxis->setTitleText(tr("screen / time"));
    translationAxis->setLinePenColor(translationColor());
    opticalAxis->setLinePenColor(opticalColor());
    addAxis(timeAxis, Qt::AlignBottom);
    addAxis(translationAxis, Qt::AlignLeft);
    addAxis(opticalAxis, Qt::AlignRight);
    // The translation curve last: drawn over the others where they coincide.
    optical = newSeries(tr("optical flow"), opticalColor(), opticalAxis);
    flow = newSeries(tr("depth flow"), flowColor(), opticalAxis);
    translation = newSeries(tr("translation"), translationColor(), translationAxis);
    marker = newSeries(QString(), markerColor(), translationAxis);
    marker->setObjectName("currentTime");
    legend()->setAlignment(Qt::AlignBottom);
    show({}, {});
}

QLineSeries* SpeedChart::newSeries(const QString& name, const QColor& color, QValueAxis* axis) {
    auto* series = new QLineSeries;
    series->setName(name);
    series->setPen(QPen(color, 2.0));
    addSeries(series);
    series->attachAxis(timeAxis);
    series->attachAxis(axis);
    // Only the speed curves are named in the legend.
    if (name.isEmpty())
        for (QLegendMarker* m : legend()->markers(series)) m->setVisible(false);
    return series;
}

void SpeedChart::show(const speedprofile::Profile& profile, const std::vector<float>& keyframeTimes) {
    QVector<QPointF> t, o, f;
    double highT = 0, highO = 0;
    for (const auto& s : profile.samples) {
        t.append({s.t, s.translation});
        o.append({s.t, s.optical});
        highT = std::max(highT, double(s.translation));
        highO = std::max(highO, double(s.optical));
        if (profile.hasFlow) {
            f.append({s.t, s.flow});
            highO = std::max(highO, double(s.flow));
        }
    }
    translation->replace(t);
    optical->replace(o);
    flow->replace(f);
    flow->setVisible(profile.hasFlow);
    for (QLegendMarker* m : legend()->markers(flow)) m->setVisible(profile.hasFlow);

    const double first = keyframeTimes.empty() ? 0.0 : keyframeTimes.front();
    const double last = keyframeTimes.size() < 2 ? first + 1.0 : keyframeTimes.back();
    setRoundTicks(timeAxis, first, std::max(last, profile.samples.empty() ? last : double(profile.samples.back().t)));
    setRoundTicks(translationAxis, 0, topOf(highT));
    setRoundTicks(opticalAxis, 0, topOf(highO));

    for (QLineSeries* mark : keyframeMarks) {
        removeSeries(mark);
        delete mark;
    }
    keyframeMarks.clear();
    for (float k : keyframeTimes) {
        QLineSeries* mark = newSeries(QString(), QColor(150, 150, 150), translationAxis);
        mark->setPen(QPen(QColor(150, 150, 150), 1.0, Qt::DashLine));
        mark->replace(QVector<QPointF>{{double(k), 0.0}, {double(k), translationAxis->max()}});
        keyframeMarks.push_back(mark);
    }
    setTitle(profile.samples.empty() ? tr("no speed profile: the path needs two keyframes")
                                     : speedSummaryLine(speedprofile::ratios(profile)));
    placeMarker();
}

void SpeedChart::setTimeRange(float from, float to) {
    if (std::isfinite(from) && std::isfinite(to) && from < to) setRoundTicks(timeAxis, from, to);
}

void SpeedChart::setCurrentTime(float t) {
    current = t;
    placeMarker();
}

void SpeedChart::placeMarker() {
    marker->replace(QVector<QPointF>{{double(current), 0.0}, {double(current), translationAxis->max()}});
}

float SpeedChart::timeAt(const QPointF& point) {
    if (!plotArea().contains(point)) return std::numeric_limits<float>::quiet_NaN();
    const double t = mapToValue(point, translation).x();
    return static_cast<float>(std::clamp(t, timeAxis->min(), timeAxis->max()));
}

QString speedSummaryLine(const speedprofile::Ratios& ratios) {
    QString line = tr("highest / lowest speed: translation %1, optical flow %2")
                       .arg(ratioText(ratios.translation), ratioText(ratios.optical));
    if (ratios.hasFlow) line += tr(", depth flow %1").arg(ratioText(ratios.flow));
    return line;
}

// Given to the view's constructor: a view made without a chart makes one of
// its own, which a later setChart() would not delete.
SpeedPlotView::SpeedPlotView(QWidget* parent)
    : QChartView(new SpeedChart, parent), plot(static_cast<SpeedChart*>(chart())) {
    setRenderHint(QPainter::Antialiasing);
    setObjectName("speedPlot");
    setToolTip(tr("The camera's speed along the path; click to move the time slider there"));
}

void SpeedPlotView::mousePressEvent(QMouseEvent* event) {
    const float t = plot->timeAt(mapToScene(event->pos()));
    if (event->button() == Qt::LeftButton && std::isfinite(t) && seek) {
        seek(t);
        event->accept();
        return;
    }
    QChartView::mousePressEvent(event);
}

QImage renderSpeedPlot(const speedprofile::Profile& profile, const std::vector<float>& keyframeTimes, int width,
                       int height) {
    QGraphicsScene scene;
    auto* chart = new SpeedChart;  // owned by the scene
    scene.addItem(chart);
    chart->show(profile, keyframeTimes);
    chart->resize(width, height);
    chart->layout()->activate();
    scene.setSceneRect(0, 0, width, height);
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    scene.render(&painter, QRectF(0, 0, width, height), QRectF(0, 0, width, height));
    return image;
}

namespace {
QByteArray svgOf(const speedprofile::Profile& profile, const std::vector<float>& keyframeTimes, int width, int height) {
    QGraphicsScene scene;
    auto* chart = new SpeedChart;
    scene.addItem(chart);
    chart->show(profile, keyframeTimes);
    chart->resize(width, height);
    chart->layout()->activate();
    QBuffer buffer;
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(QSize(width, height));
    svg.setViewBox(QRect(0, 0, width, height));
    svg.setTitle(tr("speed profile"));
    {
        QPainter painter(&svg);
        scene.render(&painter, QRectF(0, 0, width, height), QRectF(0, 0, width, height));
    }
    return buffer.data();
}

bool endsWith(const std::string& text, const std::string& end) {
    if (text.size() < end.size()) return false;
    return std::equal(end.rbegin(), end.rend(), text.rbegin(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(b)) == a; });
}
}  // namespace

bool saveSpeedPlot(const speedprofile::Profile& profile, const std::vector<float>& keyframeTimes, int width, int height,
                   const std::string& file, std::string& error) {
    if (endsWith(file, ".png"))
        return hxSavePng(renderSpeedPlot(profile, keyframeTimes, width, height), file, -1, error);
    if (!endsWith(file, ".svg")) {
        error = "cannot write \"" + file + "\": the name must end in .png or .svg";
        return false;
    }
    const QByteArray bytes = svgOf(profile, keyframeTimes, width, height);
    McSafeFile out(file);
    if (!out.write(bytes.constData(), static_cast<std::size_t>(bytes.size())) || !out.commit()) {
        error = out.error();
        return false;
    }
    return true;
}
