#include "BusStats/BusStatsWindow.h"

#include "BusStats/BusStats.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace BusStats {

namespace {

const int kRefreshMs = 500;

QString Q(const std::string& s) { return QString::fromStdString(s); }

} // namespace

Window::Window(QWidget* parent) : QDialog(parent), refresh_(new QTimer(this))
{
    setObjectName(QStringLiteral("BusStatsWindow"));
    setWindowTitle(QStringLiteral("Статистика связи"));
    table = new QTableWidget(this);
    table->setObjectName(QStringLiteral("table"));
    const std::vector<std::string> titles = ColumnTitles();
    table->setColumnCount(static_cast<int>(titles.size()));
    QStringList headers;
    for (const auto& t : titles)
        headers << Q(t);
    table->setHorizontalHeaderLabels(headers);
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    resetButton = new QPushButton(QStringLiteral("Сбросить"), this);
    resetButton->setObjectName(QStringLiteral("resetButton"));
    copyButton = new QPushButton(QStringLiteral("Копировать"), this);
    copyButton->setObjectName(QStringLiteral("copyButton"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(resetButton);
    buttons->addWidget(copyButton);
    buttons->addStretch(1);
    auto* box = new QVBoxLayout(this);
    box->addWidget(table);
    box->addLayout(buttons);
    resize(900, 220);

    connect(resetButton, &QPushButton::clicked, this, [this] {
        Counter::Instance().Reset();
        Refresh();
    });
    connect(copyButton, &QPushButton::clicked, this,
            [] { QGuiApplication::clipboard()->setText(Q(Counter::Instance().Text())); });
    connect(refresh_, &QTimer::timeout, this, [this] { Refresh(); });
    Refresh();
}

void Window::Refresh()
{
    const std::vector<Row> rows = Counter::Instance().Rows();
    table->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const std::vector<std::string> cells = RowCells(rows[static_cast<size_t>(r)]);
        for (int c = 0; c < static_cast<int>(cells.size()); ++c) {
            QTableWidgetItem* item = table->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                table->setItem(r, c, item);
            }
            item->setText(Q(cells[static_cast<size_t>(c)]));
        }
    }
}

void Window::showEvent(QShowEvent* e)
{
    Refresh();
    refresh_->start(kRefreshMs);
    QDialog::showEvent(e);
}

void Window::hideEvent(QHideEvent* e)
{
    refresh_->stop();
    QDialog::hideEvent(e);
}

QAction* AddMenuItem(QMenu* menu, QWidget* parent)
{
    QAction* item = menu->addAction(QStringLiteral("Статистика связи"));
    item->setObjectName(QStringLiteral("menuBusStats"));
    auto* window = new Window(parent);
    window->setWindowFlag(Qt::Window);
    QObject::connect(item, &QAction::triggered, window, [window] {
        window->show();
        window->raise();
        window->activateWindow();
    });
    return item;
}

} // namespace BusStats
