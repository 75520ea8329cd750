#pragma once

#include <QChartView>
#include <QList>
#include <QPointF>
#include <QString>

#include <set>
#include <vector>

class QChart;
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;

// Lines over time, one colour and one legend entry each; a click on an
// entry hides or shows its line. A point whose value is NaN breaks its
// line: a missing reading shows as a gap, never as a drop to zero.
class TimePlot : public QChartView {
    Q_OBJECT
public:
    struct Line {
        QString name;
        // x: milliseconds since the epoch (local time as QDateTime gives it).
        std::vector<QPointF> points;
    };

    explicit TimePlot(QWidget* parent = nullptr);

    // Replaces every line; the axes fit what there is, from is given
    // (milliseconds) the time axis spans [from, to]. A line hidden by its
    // legend stays hidden while its name comes again.
    void SetLines(const std::vector<Line>& lines);
    void SetLines(const std::vector<Line>& lines, double from, double to);
    // How the time axis labels its ticks (QDateTime::toString format).
    void SetTimeFormat(const QString& format);
    // The names of the lines shown, in order; for the owner and tests.
    std::vector<QString> VisibleLines() const;
    // Hides or shows the line at index, as its legend entry does.
    void SetLineVisible(size_t index, bool visible);

private:
    // A line is drawn as one series per unbroken run; only the first has a
    // legend entry.
    struct Drawn {
        QString name;
        std::vector<QLineSeries*> runs;
        bool visible = true;
    };

    void AddLine(const QString& name, const std::vector<QList<QPointF>>& runs);
    bool SameShape(const std::vector<Line>& lines, const std::vector<std::vector<QList<QPointF>>>& runs) const;
    void FitAxes(const std::vector<Line>& lines, double from, double to);

    QChart* chart_;
    QDateTimeAxis* timeAxis_;
    QValueAxis* valueAxis_;
    std::vector<Drawn> drawn_;
    std::set<QString> hidden_;
};
