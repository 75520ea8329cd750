#pragma once

#include <QDialog>

#include <functional>
#include <map>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The modal dialog in which the user picks the serial port and the three
// timings of the Modbus link. It stores nothing: it offers the present
// ports, checks what is typed and tells how it was closed (Accepted for
// "Применить", Rejected for "Отмена" or closing the window).
class TFormComPortSetsDlg : public QDialog {
    Q_OBJECT
public:
    // ports: the present port numbers, offered as "COM<n>" in this order.
    // devicePath tells what device stands behind a port number (its path
    // first, then what sysfs knows of it), for the tooltip and the label
    // beside the list.
    TFormComPortSetsDlg(const std::vector<unsigned>& ports, std::function<std::string(unsigned)> devicePath,
                        QWidget* parent = nullptr);

    QComboBox* cbPortName;
    QLineEdit* edTimeOut;
    QLineEdit* edWriteDelay;
    QLineEdit* edSilentTime;
    QPushButton* Button1;
    QPushButton* Button2;
    QLabel* lblDevicePath;

    // True when the edit's text passes its check.
    bool IsValid(QLineEdit* edit) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Field {
        QLabel* label;
        std::function<bool(const std::string&)> check;
    };

    QLineEdit* AddField(class QVBoxLayout* column, const char* objectName, const char* caption,
                        int32_t minValue, int32_t maxValue);
    void EditExit(QLineEdit* edit);
    // The standard complaint about the edit's text; the focus goes back to it.
    void Complain(QLineEdit* edit);
    // Shows the complaint for the first rejected edit and returns false.
    bool CheckAll();
    void Apply();
    void MakeRoomForDeviceFacts();
    void ShowDevicePath();

    std::map<QLineEdit*, Field> validators_;
    std::function<std::string(unsigned)> devicePath_;
    bool complaining_ = false;
};

// Makes the link's "СОМ порт..." settings go through this dialog.
void InstallPortSettingsDialog();
