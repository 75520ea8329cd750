#include "Trends/TrendsControl.h"

#include "Application/ConsolePrint.h"
#include "DevSys/Catalogue.h"
#include "Trends/TrendView.h"
#include "uFormChanal.h"

#include <QAction>
#include <QDateTime>
#include <QMenu>
#include <QTimer>
#include <QVBoxLayout>

TrendsControl::TrendsControl(QWidget* owner, QMenu* menu) : QObject(owner), owner_(owner)
{
    action_ = menu->addAction(QStringLiteral("Тренды"));
    action_->setObjectName(QStringLiteral("menuTrends"));
    connect(action_, &QAction::triggered, this, [this] {
        Window().show();
        Window().raise();
    });
    // scripts/bench measures what the plots cost with the window open from
    // the start; the console line tells it that the window did open.
    if (qEnvironmentVariableIsSet("KALIST8_SHOW_TRENDS"))
        QTimer::singleShot(0, this, [this] {
            action_->trigger();
            if (Window().isVisible())
                ConsolePrint("KALIST8_SHOW_TRENDS: окно \"Тренды\" открыто.\n");
        });
}

QWidget& TrendsControl::Window()
{
    if (!window_) {
        window_ = new QWidget(owner_, Qt::Window);
        window_->setObjectName(QStringLiteral("TrendsWindow"));
        window_->setWindowTitle(QStringLiteral("Тренды"));
        auto* column = new QVBoxLayout(window_);
        column->addWidget(new TrendView(store_, std::nullopt, window_));
        window_->resize(900, 560);
    }
    return *window_;
}

void TrendsControl::SetChanals(const ModbusChanals& chanals)
{
    const ThisModule& names = ThisModule::Instance();
    std::vector<TrendStore::Chanal> named;
    for (const ModbusChanalTag& ch : chanals)
        named.push_back({ch.number, names.VarName(ch.quantityCode) + ", " + names.UnitName(ch.unitCode)});
    store_.SetChanals(named);
}

void TrendsControl::OnValue(uint32_t number, double value)
{
    store_.Add(number, value, QDateTime::currentMSecsSinceEpoch());
}

void TrendsControl::Attach(TFormChanal* form, uint32_t number)
{
    form->SetBottom(new TrendView(store_, number));
}
