#pragma once

#include <QWidget>

class QMouseEvent;

namespace my {

// A splitter bar of a row of panels: dragging it changes the width of the
// panel on its left only, so the panels keep the widths the user gave them
// and the panel that fills the rest of the row absorbs the change. The
// panel's width is its fixed width, which it keeps before the row is ever
// shown and which its owner reads back when it saves the layout. A drag
// takes no more than the room the row has left: it never widens the row.
class PanelSplitter : public QWidget {
public:
    static constexpr int kMinPanelWidth = 30;

    PanelSplitter(QWidget* leftPanel, int width, QWidget* parent = nullptr);

    QWidget* LeftPanel() const { return leftPanel_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QWidget* const leftPanel_;
    bool dragging_ = false;
    int dragStartX_ = 0;
    int dragStartWidth_ = 0;
    int dragMaxWidth_ = 0;
};

} // namespace my
