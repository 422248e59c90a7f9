#include "HxPortSpeedPlot.h"
#include "SpeedPlot.h"

#include <ports/HxPortTypeInfo.h>

#include <QLabel>
#include <QLayout>
#include <QVBoxLayout>
#include <QWidget>

// Only the editor constructs the port: the host gets no factories.
HX_INIT_PORT_CLASS(HxPortSpeedPlot, HxPort::getClassTypeId(), nullptr, nullptr)

HxPortSpeedPlot::HxPortSpeedPlot(HxBase* portOwner, const char* scriptName, const QString& portLabel)
    : HxPort(portOwner, scriptName, portLabel) {}

HxPortSpeedPlot::~HxPortSpeedPlot() {
    // The view may outlive the port in its panel; it must not call back.
    if (plotView) plotView->seek = nullptr;
}

SpeedPlotView* HxPortSpeedPlot::view() const { return plotView; }
QLabel* HxPortSpeedPlot::summary() const { return summaryLabel; }

void HxPortSpeedPlot::createControls(QWidget* row) {
    auto* box = new QWidget(row);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    plotView = new SpeedPlotView(box);
    plotView->setMinimumSize(240, 200);
    plotView->seek = [this](float t) {
        if (seek) seek(t);
    };
    summaryLabel = new QLabel(box);
    summaryLabel->setObjectName("speedSummary");
    summaryLabel->setWordWrap(true);
    column->addWidget(plotView);
    column->addWidget(summaryLabel);
    row->layout()->addWidget(box);
    refresh();
}

void HxPortSpeedPlot::showProfile(const speedprofile::Profile& shown, const std::vector<float>& keyframeTimes,
                                  float from, float to) {
    profile = shown;
    keyframes = keyframeTimes;
    rangeFrom = from;
    rangeTo = to;
    refresh();
}

void HxPortSpeedPlot::showTime(float t) {
    time = t;
    if (plotView) plotView->speedChart()->setCurrentTime(t);
}

void HxPortSpeedPlot::refresh() {
    if (!plotView) return;
    SpeedChart* chart = plotView->speedChart();
    chart->show(profile, keyframes);
    chart->setTimeRange(rangeFrom, rangeTo);
    chart->setCurrentTime(time);
    // The summary sits beside the plot; the chart's own title is for image files.
    chart->setTitle(QString());
    summaryLabel->setText(profile.samples.empty() ? QString() : speedSummaryLine(speedprofile::ratios(profile)));
}
