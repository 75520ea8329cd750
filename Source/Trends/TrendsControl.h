#pragma once

#include "DevSys/task_.h"
#include "Trends/TrendStore.h"

#include <QObject>

#include <cstdint>

class QAction;
class QMenu;
class QWidget;
class TFormChanal;

// Where the main window meets the trends: the readings go into the store,
// "Тренды" in its menu opens the window of every channel, and a channel
// window gets its channel's trend under the value. Main thread only.
class TrendsControl : public QObject {
    Q_OBJECT
public:
    // Appends the item to menu; the window belongs to owner.
    TrendsControl(QWidget* owner, QMenu* menu);

    QAction* Action() const { return action_; }
    const TrendStore& Store() const { return store_; }
    // The window of every channel; created on first use.
    QWidget& Window();

    void SetChanals(const ModbusChanals& chanals);
    void OnValue(uint32_t number, double value);
    // Shows the trend of channel number under the form's value.
    void Attach(TFormChanal* form, uint32_t number);

private:
    QWidget* owner_;
    QAction* action_;
    TrendStore store_;
    QWidget* window_ = nullptr;
};
