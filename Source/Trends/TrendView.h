#pragma once

#include <QWidget>

#include <cstdint>
#include <optional>

class QComboBox;
class QLabel;
class QTimer;
class TimePlot;
class TrendStore;

// A plot of the store's trends over the chosen span (1, 10 or 60 minutes),
// redrawn a few times a second while it shows and something has changed:
// one channel with its minimum, maximum and mean, or every channel.
class TrendView : public QWidget {
    Q_OBJECT
public:
    // Every channel of the store when chanal is empty.
    TrendView(const TrendStore& store, std::optional<uint32_t> chanal, QWidget* parent = nullptr);

    // Draws now what the store holds; the timer calls it.
    void Redraw();

    TimePlot* Plot() const { return plot_; }
    QComboBox* SpanBox() const { return span_; }
    QLabel* StatsLabel() const { return stats_; }

private:
    void RedrawIfChanged();
    int64_t SpanMs() const;

    const TrendStore& store_;
    std::optional<uint32_t> chanal_;
    TimePlot* plot_;
    QComboBox* span_;
    QLabel* stats_;
    QTimer* timer_;
    uint64_t drawnVersion_ = ~uint64_t(0);
};
