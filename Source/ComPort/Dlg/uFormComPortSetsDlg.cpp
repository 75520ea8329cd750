#include "ComPort/Dlg/uFormComPortSetsDlg.h"

#include "PortDoctor/PortFacts.h"
#include "ComPort/RS232Modbus.h"
#include "VCLUtils/MyDialogs.h"
#include "VCLUtils/MyStrUtils.h"

#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const char* const kNavy = "color: #000080;";

QLabel* NavyLabel(const char* text, QWidget* parent)
{
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setStyleSheet(kNavy);
    return label;
}

} // namespace

TFormComPortSetsDlg::TFormComPortSetsDlg(const std::vector<unsigned>& ports,
                                         std::function<std::string(unsigned)> devicePath, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      devicePath_(std::move(devicePath))
{
    setObjectName("TFormComPortSetsDlg");
    setWindowTitle(QString::fromUtf8("Настройка"));

    auto* left = new QVBoxLayout;
    left->addWidget(NavyLabel("COM Порт", this));
    auto* portRow = new QHBoxLayout;
    cbPortName = new QComboBox(this);
    cbPortName->setObjectName("cbPortName");
    cbPortName->setEditable(false);
    lblDevicePath = new QLabel(this);
    lblDevicePath->setObjectName("lblDevicePath");
    portRow->addWidget(cbPortName);
    portRow->addWidget(lblDevicePath, 1);
    left->addLayout(portRow);

    edTimeOut = AddField(left, "edTimeOut", "Таймаут ответа, мсек", 100, 500000);
    edWriteDelay = AddField(left, "edWriteDelay", "Задержка отправки, мсек", 0, 200000);
    edSilentTime = AddField(left, "edSilentTime", "Длительность ожидания символа приёма, мсек", 5, 100000);
    left->addStretch();

    auto* right = new QVBoxLayout;
    Button1 = new QPushButton(QString::fromUtf8("Применить"), this);
    Button1->setObjectName("Button1");
    Button2 = new QPushButton(QString::fromUtf8("Отмена"), this);
    Button2->setObjectName("Button2");
    right->addWidget(Button1);
    right->addWidget(Button2);
    right->addStretch();

    auto* top = new QHBoxLayout(this);
    top->addLayout(left, 1);
    top->addLayout(right);

    for (unsigned n : ports) {
        cbPortName->addItem(QString::fromStdString(my::Format("COM%u", n)), n);
        if (devicePath_)
            cbPortName->setItemData(cbPortName->count() - 1, QString::fromStdString(devicePath_(n)),
                                    Qt::ToolTipRole);
    }
    cbPortName->setCurrentIndex(-1);
    MakeRoomForDeviceFacts();
    connect(cbPortName, &QComboBox::currentIndexChanged, this, [this] { ShowDevicePath(); });

    setTabOrder(Button1, Button2);
    setTabOrder(Button2, edSilentTime);
    setTabOrder(edSilentTime, edWriteDelay);
    setTabOrder(edWriteDelay, edTimeOut);
    setTabOrder(edTimeOut, cbPortName);

    connect(Button1, &QPushButton::clicked, this, [this] { Apply(); });
    connect(Button2, &QPushButton::clicked, this, [this] { reject(); });

    resize(355, 203);
    setFixedSize(sizeHint().expandedTo(QSize(355, 203)));
}

QLineEdit* TFormComPortSetsDlg::AddField(QVBoxLayout* column, const char* objectName, const char* caption,
                                         int32_t minValue, int32_t maxValue)
{
    auto* label = NavyLabel(caption, this);
    label->setWordWrap(true);
    auto* edit = new QLineEdit(this);
    edit->setObjectName(objectName);
    edit->installEventFilter(this);
    column->addWidget(label);
    column->addWidget(edit);
    validators_[edit] = {label, [minValue, maxValue](const std::string& text) {
                             const auto v = ParseInt(text, 10);
                             return v.second && minValue <= v.first && v.first <= maxValue;
                         }};
    return edit;
}

bool TFormComPortSetsDlg::IsValid(QLineEdit* edit) const
{
    const auto it = validators_.find(edit);
    return it != validators_.end() && it->second.check(edit->text().toStdString());
}

bool TFormComPortSetsDlg::eventFilter(QObject* watched, QEvent* event)
{
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (edit && event->type() == QEvent::FocusOut) {
        // Only a move to another control of this dialog is leaving the edit;
        // the window losing activation (a message box, another program) is not.
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            QTimer::singleShot(0, this, [this, edit] { EditExit(edit); });
    }
    return QDialog::eventFilter(watched, event);
}

void TFormComPortSetsDlg::EditExit(QLineEdit* edit)
{
    // Pressing "Отмена" or closing the dialog is not a reason to complain.
    if (complaining_ || !isVisible() || Button2->hasFocus() || Button2->isDown() || IsValid(edit))
        return;
    Complain(edit);
}

void TFormComPortSetsDlg::Complain(QLineEdit* edit)
{
    complaining_ = true;
    ShowInputError(validators_[edit].label->text().toStdString(), edit->text().toStdString());
    complaining_ = false;
    activateWindow();
    edit->setFocus(Qt::OtherFocusReason);
}

bool TFormComPortSetsDlg::CheckAll()
{
    for (QLineEdit* edit : {edTimeOut, edWriteDelay, edSilentTime}) {
        if (IsValid(edit))
            continue;
        Complain(edit);
        return false;
    }
    return true;
}

// The values are checked once more here: Enter or a click can reach
// "Применить" without leaving the edit that holds a wrong number.
void TFormComPortSetsDlg::Apply()
{
    if (CheckAll())
        accept();
}

// The dialog keeps its size: the label gets the room of the longest facts.
void TFormComPortSetsDlg::MakeRoomForDeviceFacts()
{
    QSize room;
    for (int i = 0; i < cbPortName->count(); ++i) {
        lblDevicePath->setText(cbPortName->itemData(i, Qt::ToolTipRole).toString());
        room = room.expandedTo(lblDevicePath->sizeHint());
    }
    lblDevicePath->clear();
    lblDevicePath->setMinimumSize(room);
}

void TFormComPortSetsDlg::ShowDevicePath()
{
    const QVariant tip = cbPortName->currentData(Qt::ToolTipRole);
    lblDevicePath->setText(tip.toString());
    cbPortName->setToolTip(tip.toString());
}

namespace {

bool RunPortSettingsDialog(PortDialogValues& v)
{
    TFormComPortSetsDlg dlg(v.presentPorts, &my::PortDoctor::DescribePort);
    dlg.edSilentTime->setText(QString::fromStdString(v.silentTime));
    dlg.edWriteDelay->setText(QString::fromStdString(v.writeDelay));
    dlg.edTimeOut->setText(QString::fromStdString(v.timeOut));
    dlg.cbPortName->setCurrentIndex(dlg.cbPortName->findText(QString::fromStdString(v.portText)));
    if (dlg.exec() != QDialog::Accepted)
        return false;
    v.portText = dlg.cbPortName->currentText().toStdString();
    v.timeOut = dlg.edTimeOut->text().toStdString();
    v.writeDelay = dlg.edWriteDelay->text().toStdString();
    v.silentTime = dlg.edSilentTime->text().toStdString();
    return true;
}

} // namespace

void InstallPortSettingsDialog() { SetPortSettingsDialog(&RunPortSettingsDialog); }
