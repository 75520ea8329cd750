#include "DownloadProgress/DownloadProgressView.h"

#include "DownloadProgress/AnswerProgress.h"
#include "uFrmWait.h"

#include <QProgressBar>
#include <QTimer>

#include <algorithm>

namespace {

// Often enough to look alive, rarely enough to cost nothing.
const int kUpdateMs = 100;

// "4816 из 9804 байт, осталось 6 с"; the time is left out until the line's
// speed is known and once everything is there.
QString ProgressText(uint32_t received, uint32_t expected, uint32_t byteTimeUs)
{
    QString text = QStringLiteral("%1 из %2 байт").arg(received).arg(expected);
    if (byteTimeUs && received < expected) {
        const uint64_t leftUs = uint64_t(expected - received) * byteTimeUs;
        text += QStringLiteral(", осталось %1 с").arg((leftUs + 999999) / 1000000);
    }
    return text;
}

} // namespace

DownloadProgressView::DownloadProgressView(TFrmWait& panel, boost::shared_ptr<const AnswerProgress> progress,
                                           uint8_t commandCode, size_t expected)
    : QObject(&panel), panel_(panel), progress_(std::move(progress)), commandCode_(commandCode),
      expected_(static_cast<uint32_t>(expected)), before_(progress_->Now().exchange)
{
    setObjectName(QStringLiteral("DownloadProgress"));
    QProgressBar& bar = *panel_.pb1;
    bar.setRange(0, static_cast<int>(expected_));
    bar.setTextVisible(true);
    bar.setAlignment(Qt::AlignCenter);
    bar.show();
    Update();
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &DownloadProgressView::Update);
    timer->start(kUpdateMs);
}

void DownloadProgressView::Update()
{
    const AnswerProgress::State s = progress_->Now();
    const bool ours = s.exchange != before_ && s.commandCode == commandCode_;
    const uint32_t received = ours ? std::min(s.received, expected_) : 0;
    QProgressBar& bar = *panel_.pb1;
    bar.setValue(static_cast<int>(received));
    bar.setFormat(ProgressText(received, expected_, progress_->ByteTimeUs()));
}
