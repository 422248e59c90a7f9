// The speed profile as a chart (Qt Charts): the translation speed on the left
// axis, the optical-flow speed and the measured depth flow on the right one,
// a vertical mark at every keyframe time, and a marker at the current time.
// SpeedChart is the chart itself, SpeedPlotView shows one in the editor and
// turns a click into a time, and renderSpeedPlot draws one headless.
#pragma once
#include "SpeedProfile.h"

#include <QImage>
#include <QString>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <functional>
#include <string>
#include <vector>

namespace QtCharts {
class QLineSeries;
class QValueAxis;
}  // namespace QtCharts

class SpeedChart : public QtCharts::QChart {
public:
    SpeedChart();

    // Shows a profile and the keyframe times; the current time stays.
    void show(const speedprofile::Profile& profile, const std::vector<float>& keyframeTimes);
    // The time axis runs from `from` to `to` (after show(), which sets it to the keyframes' span).
    void setTimeRange(float from, float to);
    // Moves the current-time marker to t.
    void setCurrentTime(float t);
    float currentTime() const { return current; }
    // The time under a point of the chart's own coordinates, kept inside the
    // time axis; NaN outside the plot area.
    float timeAt(const QPointF& point);

    // The pens' colours, for readers of the pixels.
    static QColor translationColor();
    static QColor opticalColor();
    static QColor flowColor();
    static QColor markerColor();

private:
    QtCharts::QLineSeries* newSeries(const QString& name, const QColor& color, QtCharts::QValueAxis* axis);
    void placeMarker();
    QtCharts::QValueAxis* timeAxis;
    QtCharts::QValueAxis* translationAxis;
    QtCharts::QValueAxis* opticalAxis;
    QtCharts::QLineSeries* translation;
    QtCharts::QLineSeries* optical;
    QtCharts::QLineSeries* flow;
    QtCharts::QLineSeries* marker;
    std::vector<QtCharts::QLineSeries*> keyframeMarks;
    float current = 0;
};

// The line under the plot: how uneven the speed is, per metric.
QString speedSummaryLine(const speedprofile::Ratios& ratios);

// The chart in the editor: a left click inside the plot area asks for that time.
class SpeedPlotView : public QtCharts::QChartView {
public:
    explicit SpeedPlotView(QWidget* parent = nullptr);
    SpeedChart* speedChart() const { return plot; }
    std::function<void(float)> seek;

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    SpeedChart* plot;  // owned by the view
};

// The chart of a profile drawn headless at width x height pixels.
QImage renderSpeedPlot(const speedprofile::Profile& profile, const std::vector<float>& keyframeTimes, int width,
                       int height);
// Writes the chart as PNG or SVG (by the file's extension) through a checked
// save; false with `error` set when the name or a write failed.
bool saveSpeedPlot(const speedprofile::Profile& profile, const std::vector<float>& keyframeTimes, int width, int height,
                   const std::string& file, std::string& error);
