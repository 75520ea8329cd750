#pragma once

#include <QDialog>

class QAction;
class QMenu;
class QPushButton;
class QTableWidget;
class QTimer;

namespace BusStats {

// "Статистика связи": the exchange counts per address, refreshed twice a
// second while it is open, with a reset and a copy of the table as text.
class Window : public QDialog {
public:
    explicit Window(QWidget* parent = nullptr);

    void Refresh();

    QTableWidget* table;
    QPushButton* resetButton;
    QPushButton* copyButton;

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    QTimer* refresh_;
};

// Adds the item "Статистика связи" to the menu; it shows the one window,
// which parent owns.
QAction* AddMenuItem(QMenu* menu, QWidget* parent);

} // namespace BusStats
