#include "TimingAdvisor/AdvisorWindow.h"

#include "DevSys/TransferManage.h"
#include "VCLUtils/MyStrUtils.h"

#include <QAction>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace TimingAdvisor {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string TimingsText(const LinkTimings& t)
{
    return my::Format("таймаут ответа %d, задержка отправки %d, ожидание символа %d мсек",
                      static_cast<int>(t.timeOut), static_cast<int>(t.writeDelay), static_cast<int>(t.silentTime));
}

std::string StepText(const StepResult& s)
{
    if (s.failed == 0)
        return my::Format("%d мсек: %u чтений без сбоев", static_cast<int>(s.writeDelay), s.readings);
    return my::Format("%d мсек: сбой на %u-м чтении", static_cast<int>(s.writeDelay), s.readings);
}

std::string RateText(const Rate& r)
{
    std::string text = my::Format("%.1f", r.perSecond);
    if (r.failed > 0)
        text += my::Format(" (сбоев %u из %u)", r.failed, r.readings);
    return text;
}

// Every stage at its full count; the ladder may end early, and the bar is
// filled when the advice ends.
unsigned AllReadings(const Counts& c)
{
    return c.latencyReadings + static_cast<unsigned>(Plan::Ladder().size()) * c.stepReadings + c.checkReadings;
}

QLabel* AddFigure(QFormLayout* form, const char* name, const char* caption)
{
    auto* label = new QLabel(QStringLiteral("—"));
    label->setObjectName(QString::fromLatin1(name));
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(QString::fromUtf8(caption), label);
    return label;
}

} // namespace

Window::Window(QWidget* parent, const Counts& counts) : QDialog(parent), counts_(counts)
{
    setObjectName(QStringLiteral("TimingAdvisorWindow"));
    setWindowTitle(QStringLiteral("Подбор таймингов"));
    setAttribute(Qt::WA_DeleteOnClose);

    progress = new QProgressBar(this);
    progress->setObjectName(QStringLiteral("progress"));
    progress->setRange(0, static_cast<int>(AllReadings(counts)));
    progress->setValue(0);
    lblStatus = new QLabel(QStringLiteral("Подбор таймингов..."), this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setWordWrap(true);

    auto* form = new QFormLayout;
    lblCurrent = AddFigure(form, "lblCurrent", "Сейчас:");
    lblLatency = AddFigure(form, "lblLatency", "Задержка ответа:");
    lblSteps = AddFigure(form, "lblSteps", "Задержка отправки:");
    lblProposal = AddFigure(form, "lblProposal", "Предлагается:");
    lblRates = AddFigure(form, "lblRates", "Чтений в секунду:");

    btnApply = new QPushButton(QStringLiteral("Применить"), this);
    btnApply->setObjectName(QStringLiteral("btnApply"));
    btnApply->setEnabled(false);
    btnCancel = new QPushButton(QStringLiteral("Отмена"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnApply);
    buttons->addWidget(btnCancel);

    auto* box = new QVBoxLayout(this);
    box->addWidget(progress);
    box->addWidget(lblStatus);
    box->addLayout(form);
    box->addStretch(1);
    box->addLayout(buttons);
    resize(560, 330);

    connect(btnApply, &QPushButton::clicked, this, [this] { Apply(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { reject(); });
    run_ = Advice::Start(this, counts_);
}

Window::~Window()
{
    if (run_)
        run_->Cancel();
}

void Window::reject()
{
    run_->Cancel();
    QDialog::reject();
}

void Window::OnProgress(const Progress& p)
{
    if (p.stage != stage_ || p.writeDelay != stageDelay_) {
        if (stageDelay_ >= 0)
            stepsDone_ = static_cast<unsigned>(progress->value());
        stage_ = p.stage;
        stageDelay_ = p.writeDelay;
    }
    progress->setValue(static_cast<int>(stepsDone_ + p.readings));
    const std::string what = p.stage == Stage::Step
                                 ? my::Format("Пробная задержка отправки %d мсек", static_cast<int>(p.writeDelay))
                                 : my::Format("%s (задержка отправки %d мсек)",
                                              p.stage == Stage::Latency ? "Текущие настройки" : "Проверка предложения",
                                              static_cast<int>(p.writeDelay));
    lblStatus->setText(Q(my::Format("%s: чтение %u из %u, сбоев %u", what.c_str(), p.readings, p.stageReadings,
                                    p.failed)));
}

void Window::OnFinished(const Result& r)
{
    progress->setValue(progress->maximum());
    const Findings& f = r.findings;
    if (!r.completed) {
        lblStatus->setText(QStringLiteral("Подбор прерван: опрос остановлен. Настройки не изменены."));
        return;
    }
    lblCurrent->setText(Q(TimingsText(f.current)));
    lblLatency->setText(f.answered ? Q(my::Format("%u мсек (99 %% ответов)", f.latencyP99Ms)) : QStringLiteral("—"));
    std::string steps;
    for (const StepResult& s : f.steps) {
        if (!steps.empty())
            steps += '\n';
        steps += StepText(s);
    }
    lblSteps->setText(steps.empty() ? QStringLiteral("—") : Q(steps));
    std::string rates = "было " + RateText(r.before);
    if (r.proposal.timings) {
        lblProposal->setText(Q(TimingsText(*r.proposal.timings)));
        rates += ", станет " + RateText(r.after);
    }
    lblRates->setText(Q(rates));
    if (!r.proposal.refusal.empty()) {
        lblStatus->setText(Q(r.proposal.refusal));
        return;
    }
    offered_ = r.proposal.timings;
    lblStatus->setText(QStringLiteral("Подбор закончен. Настройки не изменены: применить предложение?"));
    btnApply->setEnabled(true);
    btnApply->setDefault(true);
}

void Window::Apply()
{
    if (!offered_ || !run_->Ended())
        return;
    TransferManagerT::Instance().ApplyTimings(*offered_);
    accept();
}

QAction* AddMenuItem(QMenu* menu, QWidget* parent)
{
    QAction* item = menu->addAction(QStringLiteral("Подбор таймингов..."));
    item->setObjectName(QStringLiteral("menuTimingAdvisor"));
    auto open = std::make_shared<QPointer<Window>>();
    QObject::connect(item, &QAction::triggered, parent, [parent, open] {
        if (!*open) {
            *open = new Window(parent);
            (*open)->setWindowFlag(Qt::Window);
        }
        (*open)->show();
        (*open)->raise();
        (*open)->activateWindow();
    });
    return item;
}

} // namespace TimingAdvisor
