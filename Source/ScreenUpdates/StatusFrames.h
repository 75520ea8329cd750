#pragma once

#include <array>
#include <deque>
#include <map>
#include <optional>
#include <string>

// What the main window's labels, status panels and value cells are to show,
// gathered between two repaints, so that the window changes its widgets once
// per frame however many readings came in: within a frame the last text of
// each place wins. An error must be seen: the frame that holds one is closed,
// and what follows goes to a frame of its own, shown a repaint later. So an
// error is never merged away, nor replaced before it has been painted.
class StatusFrames {
public:
    static constexpr unsigned PanelCount = 4;

    struct Colored {
        std::string text;
        bool red;
    };
    struct Panel {
        std::optional<std::string> text;
        std::optional<std::string> tip;
    };
    // Only the places written to are set.
    struct Frame {
        std::optional<Colored> activity;
        std::optional<Colored> link;
        std::array<Panel, PanelCount> panels;
        std::map<unsigned, double> values; // by channel number
    };

    // The frame being gathered.
    Frame& Gather();
    // Nothing more goes into the frame being gathered.
    void Close();
    bool Empty() const { return frames_.empty(); }
    // The oldest frame, taken out to be shown; there must be one.
    Frame TakeOldest();
    // The values not yet shown belong to a table that is gone.
    void DropValues();

private:
    std::deque<Frame> frames_;
    bool closed_ = false;
};
