#include "Plots/TimePlot.h"

#include <QChart>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const int kTimeTicks = 6;
const int kValueTicks = 5;

// Enough room above and below that a flat line is not drawn on the frame.
void Widen(double& low, double& high)
{
    const double pad = high > low ? (high - low) * 0.05 : std::max(1.0, std::fabs(high) * 0.05);
    low -= pad;
    high += pad;
}

} // namespace

TimePlot::TimePlot(QWidget* parent) : QChartView(parent), chart_(new QChart), timeAxis_(new QDateTimeAxis),
                                      valueAxis_(new QValueAxis)
{
    chart_->legend()->setAlignment(Qt::AlignBottom);
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    chart_->addAxis(valueAxis_, Qt::AlignLeft);
    timeAxis_->setFormat(QStringLiteral("dd.MM hh:mm"));
    chart_->setMargins(QMargins(4, 4, 4, 4));
    setChart(chart_);
    setRenderHint(QPainter::Antialiasing);
}

void TimePlot::SetLines(const std::vector<Line>& lines)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    SetLines(lines, nan, nan);
}

namespace {

// A line's unbroken runs: a NaN ends one, and the next valid point starts
// the next.
std::vector<QList<QPointF>> Runs(const TimePlot::Line& line)
{
    std::vector<QList<QPointF>> runs(1);
    for (const QPointF& p : line.points) {
        if (std::isnan(p.y())) {
            if (!runs.back().isEmpty())
                runs.emplace_back();
            continue;
        }
        runs.back().append(p);
    }
    if (runs.size() > 1 && runs.back().isEmpty())
        runs.pop_back();
    return runs;
}

} // namespace

// A redraw of the same lines with the same gaps, which is what a live plot
// does most of the time, only gives the series their new points; anything
// else builds the lines afresh.
void TimePlot::SetLines(const std::vector<Line>& lines, double from, double to)
{
    std::vector<std::vector<QList<QPointF>>> runs;
    for (const Line& line : lines)
        runs.push_back(Runs(line));
    if (!SameShape(lines, runs)) {
        chart_->removeAllSeries();
        drawn_.clear();
        for (size_t i = 0; i < lines.size(); ++i) {
            AddLine(lines[i].name, runs[i]);
            if (hidden_.count(lines[i].name))
                SetLineVisible(drawn_.size() - 1, false);
        }
    } else {
        for (size_t i = 0; i < lines.size(); ++i)
            for (size_t k = 0; k < runs[i].size(); ++k)
                drawn_[i].runs[k]->replace(runs[i][k]);
    }
    FitAxes(lines, from, to);
}

bool TimePlot::SameShape(const std::vector<Line>& lines, const std::vector<std::vector<QList<QPointF>>>& runs) const
{
    if (lines.size() != drawn_.size())
        return false;
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].name != drawn_[i].name || runs[i].size() != drawn_[i].runs.size())
            return false;
    return true;
}

// Each run gets its points in one replace(): appended one by one, every
// point would make the chart lay itself out again, and a plot of sixteen
// lines of 600 points would take the better part of a second.
void TimePlot::AddLine(const QString& name, const std::vector<QList<QPointF>>& runs)
{
    Drawn drawn{name, {}, true};
    for (const QList<QPointF>& points : runs) {
        auto* run = new QLineSeries;
        run->setName(name);
        run->replace(points);
        chart_->addSeries(run);
        run->attachAxis(timeAxis_);
        run->attachAxis(valueAxis_);
        if (!drawn.runs.empty()) {
            run->setColor(drawn.runs.front()->color());
            chart_->legend()->markers(run).front()->setVisible(false);
        }
        drawn.runs.push_back(run);
    }
    const size_t index = drawn_.size();
    connect(chart_->legend()->markers(drawn.runs.front()).front(), &QLegendMarker::clicked, this,
            [this, index] { SetLineVisible(index, !drawn_[index].visible); });
    drawn_.push_back(drawn);
}

void TimePlot::SetTimeFormat(const QString& format) { timeAxis_->setFormat(format); }

void TimePlot::SetLineVisible(size_t index, bool visible)
{
    Drawn& d = drawn_.at(index);
    d.visible = visible;
    if (visible)
        hidden_.erase(d.name);
    else
        hidden_.insert(d.name);
    for (QLineSeries* run : d.runs)
        run->setVisible(visible);
    // The legend entry stays, dimmed, so that the line can come back.
    QLegendMarker* marker = chart_->legend()->markers(d.runs.front()).front();
    marker->setVisible(true);
    QColor label = marker->labelBrush().color();
    label.setAlphaF(visible ? 1.0 : 0.4);
    marker->setLabelBrush(label);
}

std::vector<QString> TimePlot::VisibleLines() const
{
    std::vector<QString> names;
    for (const Drawn& d : drawn_)
        if (d.visible)
            names.push_back(d.name);
    return names;
}

void TimePlot::FitAxes(const std::vector<Line>& lines, double from, double to)
{
    double tMin = std::numeric_limits<double>::max(), tMax = std::numeric_limits<double>::lowest();
    double vMin = tMin, vMax = tMax;
    for (const Line& line : lines)
        for (const QPointF& p : line.points) {
            tMin = std::min(tMin, p.x());
            tMax = std::max(tMax, p.x());
            if (!std::isnan(p.y())) {
                vMin = std::min(vMin, p.y());
                vMax = std::max(vMax, p.y());
            }
        }
    if (tMin > tMax) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        tMin = static_cast<double>(now - 60000);
        tMax = static_cast<double>(now);
    }
    if (!std::isnan(from)) {
        tMin = from;
        tMax = to;
    }
    if (vMin > vMax)
        vMin = vMax = 0;
    Widen(vMin, vMax);
    timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(tMin)),
                        QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(tMax) + (tMax > tMin ? 0 : 60000)));
    valueAxis_->setRange(vMin, vMax);
    // Setting the tick counts again makes Qt Charts lay the labels out
    // afresh; without it the time labels stay away after the first range
    // and the value labels keep the width they had in a smaller plot.
    timeAxis_->setTickCount(kTimeTicks);
    valueAxis_->setTickCount(kValueTicks);
}
