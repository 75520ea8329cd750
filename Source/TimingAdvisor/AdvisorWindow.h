#pragma once

#include "TimingAdvisor/Advice.h"

#include <QDialog>

#include <optional>

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;

namespace TimingAdvisor {

// "Подбор таймингов": starts the advice as it opens, shows its progress,
// what it measured and what it proposes. "Применить" hands the proposal to
// the link as the port dialog does; "Отмена", or closing the window, ends
// the advice at any point with the settings as they were.
class Window : public QDialog, private Listener {
public:
    explicit Window(QWidget* parent = nullptr, const Counts& counts = Counts());
    ~Window() override;

    // The proposal that "Применить" applies; none before the advice ends.
    std::optional<LinkTimings> Offered() const { return offered_; }

    QProgressBar* progress;
    QLabel* lblStatus;
    QLabel* lblCurrent;
    QLabel* lblLatency;
    QLabel* lblSteps;
    QLabel* lblProposal;
    QLabel* lblRates;
    QPushButton* btnApply;
    QPushButton* btnCancel;

    void reject() override;

private:
    void OnProgress(const Progress& p) override;
    void OnFinished(const Result& r) override;
    void Apply();

    const Counts counts_;
    unsigned stepsDone_ = 0; // readings of the stages already ended
    Stage stage_ = Stage::Latency;
    int32_t stageDelay_ = -1;
    std::optional<LinkTimings> offered_;
    boost::shared_ptr<Advice> run_;
};

// Adds "Подбор таймингов..." to the menu; each choice opens the window (or
// brings the open one forward), owned by parent.
QAction* AddMenuItem(QMenu* menu, QWidget* parent);

} // namespace TimingAdvisor
