// What the trends cost with their longest span full: the memory of sixteen
// channels' rings holding an hour of readings, and the processor time of a
// redraw of the "Тренды" plot over that hour. The readings are made up, an
// hour of them in a moment, at the rings' finest resolution, so every ring
// is as full as it can get.
//
//   kalist8-trendbench
//
// Exit status 0 when the memory stays within the rings' own size plus 10 %.
#include "Trends/TrendStore.h"
#include "Trends/TrendView.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <memory>
#include <sys/resource.h>

namespace {

const unsigned kChanals = 16;
const int kRedraws = 20;

// Large blocks (a ring is one) are mapped, not taken from the heap's arena.
size_t HeapBytes()
{
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

double CpuMs()
{
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);

    const size_t heap0 = HeapBytes();
    auto store = std::make_unique<TrendStore>();
    std::vector<TrendStore::Chanal> chanals;
    for (unsigned n = 0; n < kChanals; ++n)
        chanals.push_back({n, "CH4, % НКПР " + std::to_string(n)});
    store->SetChanals(chanals);
    // An hour and a minute, so that the oldest readings have fallen out.
    const int64_t readings = (TrendStore::LONGEST_SPAN + 60000) / TrendStore::RESOLUTION;
    const int64_t start = QDateTime::currentMSecsSinceEpoch() - readings * TrendStore::RESOLUTION;
    for (int64_t i = 0; i < readings; ++i)
        for (unsigned n = 0; n < kChanals; ++n)
            store->Add(n, 20 + n + 5 * std::sin(static_cast<double>(i) / 300), start + i * TrendStore::RESOLUTION);
    const size_t heap1 = HeapBytes();
    const TrendRing& ring = *store->Find(0);
    const size_t ringBytes = ring.Capacity() * (sizeof(int64_t) + sizeof(double));

    TrendView view(*store, std::nullopt);
    view.resize(900, 560);
    view.SpanBox()->setCurrentIndex(2); // 60 minutes
    view.show();
    QApplication::processEvents();
    double cpu0 = CpuMs();
    for (int i = 0; i < kRedraws; ++i)
        view.Redraw();
    const double linesMs = (CpuMs() - cpu0) / kRedraws;
    cpu0 = CpuMs();
    for (int i = 0; i < kRedraws; ++i) {
        view.Redraw();
        view.grab(); // painted, as the screen would be
    }
    const double redrawMs = (CpuMs() - cpu0) / kRedraws;

    const double heapMiB = (heap1 - heap0) / 1048576.0;
    const double ringsMiB = kChanals * ringBytes / 1048576.0;
    std::printf("trends: %u channels, %lld readings each over %lld min\n", kChanals, static_cast<long long>(readings),
                static_cast<long long>((readings * TrendStore::RESOLUTION) / 60000));
    std::printf("ring                      %zu of %zu samples, %zu bytes\n", ring.Size(), ring.Capacity(), ringBytes);
    std::printf("memory                    %.2f MiB on the heap (the rings alone %.2f MiB)\n", heapMiB, ringsMiB);
    std::printf("redraw, 60 min span       %.1f ms of processor time, %.1f of them for the lines (%u lines; "
                "once a second: %.1f %% of one core)\n",
                redrawMs, linesMs, kChanals, redrawMs / 1000 * 100);
    return ring.Size() == ring.Capacity() && heapMiB <= ringsMiB * 1.1 ? 0 : 1;
}
