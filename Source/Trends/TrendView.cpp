#include "Trends/TrendView.h"

#include "Plots/TimePlot.h"
#include "Trends/TrendStore.h"
#include "ValueText.h"

#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// Enough for a smooth line of a slowly moving value (three pixels a point
// in a window 900 wide); the ring may hold far more. Sixteen lines of 600
// points cost the main thread more than the table does.
const size_t kMaxPoints = 300;
// Once a second: a point of a 10-minute plot is a second wide, and sixteen
// lines redrawn four times a second cost the main thread more than the
// table does.
const int kRedrawMs = 1000;

QString StatsText(const TrendRing::Stats& s)
{
    if (!s.count)
        return QStringLiteral("мин —   макс —   среднее —");
    return QStringLiteral("мин %1   макс %2   среднее %3")
        .arg(QString::fromStdString(FormatValue(s.min)), QString::fromStdString(FormatValue(s.max)),
             QString::fromStdString(FormatValue(s.mean)));
}

} // namespace

TrendView::TrendView(const TrendStore& store, std::optional<uint32_t> chanal, QWidget* parent)
    : QWidget(parent), store_(store), chanal_(chanal), plot_(new TimePlot(this)), span_(new QComboBox(this)),
      stats_(new QLabel(this)), timer_(new QTimer(this))
{
    setObjectName(QStringLiteral("TrendView"));
    plot_->SetTimeFormat(QStringLiteral("hh:mm:ss"));
    span_->setObjectName(QStringLiteral("SpanBox"));
    for (int minutes : {1, 10, 60})
        span_->addItem(QStringLiteral("%1 мин").arg(minutes), minutes);
    span_->setCurrentIndex(1);
    stats_->setObjectName(QStringLiteral("StatsLabel"));
    stats_->setVisible(chanal_.has_value());
    if (chanal_)
        plot_->chart()->legend()->hide();

    auto* bar = new QHBoxLayout;
    bar->addWidget(stats_, 1);
    bar->addStretch();
    bar->addWidget(span_);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(plot_, 1);
    column->addLayout(bar);

    connect(span_, &QComboBox::currentIndexChanged, this, &TrendView::Redraw);
    connect(timer_, &QTimer::timeout, this, &TrendView::RedrawIfChanged);
    timer_->start(kRedrawMs);
}

int64_t TrendView::SpanMs() const { return int64_t(span_->currentData().toInt()) * 60 * 1000; }

void TrendView::RedrawIfChanged()
{
    // Hidden windows cost nothing; the time axis moves on even without
    // readings only while something shows.
    if (!isVisible() || store_.Version() == drawnVersion_)
        return;
    Redraw();
}

void TrendView::Redraw()
{
    drawnVersion_ = store_.Version();
    const int64_t to = QDateTime::currentMSecsSinceEpoch();
    const int64_t from = to - SpanMs();
    std::vector<TimePlot::Line> lines;
    for (const TrendStore::Chanal& ch : store_.Chanals()) {
        if (chanal_ && ch.number != *chanal_)
            continue;
        const TrendRing* ring = store_.Find(ch.number);
        lines.push_back({QString::fromStdString(ch.name), ring->PointsSince(from, to, kMaxPoints)});
        if (chanal_)
            stats_->setText(StatsText(ring->StatsSince(from)));
    }
    plot_->SetLines(lines, static_cast<double>(from), static_cast<double>(to));
}
