#pragma once

#include <QObject>

#include <boost/shared_ptr.hpp>

#include <cstddef>
#include <cstdint>

class AnswerProgress;
class TFrmWait;

// The wait window's bar while a long answer arrives: the bytes received of
// those expected, and the time the rest takes at the line's speed. It reads
// the link's progress on a timer of the main thread, so the worker that
// receives never waits for a window. Only an answer awaited after the view
// was made counts: the bar of a retried download starts at zero, whatever
// the attempt before it received. Belongs to the panel.
class DownloadProgressView : public QObject {
public:
    DownloadProgressView(TFrmWait& panel, boost::shared_ptr<const AnswerProgress> progress, uint8_t commandCode,
                         size_t expected);

    // Shows the progress as it is now; the timer calls it.
    void Update();

private:
    TFrmWait& panel_;
    const boost::shared_ptr<const AnswerProgress> progress_;
    const uint8_t commandCode_;
    const uint32_t expected_;
    // The last answer awaited before this view: not ours.
    const uint32_t before_;
};
