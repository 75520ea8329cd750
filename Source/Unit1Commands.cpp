// The main window's commands that change what the engine does.
#include "Unit1.h"

#include "UserEntries/AddressEntries.h"
#include "VCLUtils/MyDialogs.h"
#include "VCLUtils/MyStrUtils.h"
#include "VCLUtils/MyWindow.h"
#include "VCLUtils/DrawGridCell.h"
#include "VCLUtils/StringGrid.h"
#include "VCLUtils/bcd_.h"
#include "Trends/TrendsControl.h"
#include "uFormChanal.h"
#include "uFormOpros.h"

#include <QAction>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>

#include <vector>

namespace {

const char kCaption[] = "КАЛИСТ-8";
// The table row that names the measured quantity.
const int kQuantityRow = 2;
const uint16_t kZeroCorrectionCmd = 1;

QString Q(const std::string& s) { return QString::fromStdString(s); }

// A caption, a prompt and one edit line. value is the initial text and, on
// OK, what was entered; Cancel or closing leaves it alone.
bool InputQuery(QWidget* owner, const char* caption, const char* prompt, std::string& value)
{
    QInputDialog dlg(owner);
    dlg.setInputMode(QInputDialog::TextInput);
    dlg.setWindowTitle(QString::fromUtf8(caption));
    dlg.setLabelText(QString::fromUtf8(prompt));
    dlg.setTextValue(Q(value));
    if (dlg.exec() != QDialog::Accepted)
        return false;
    value = dlg.textValue().toStdString();
    return true;
}

void ShowMessage(QWidget* owner, const std::string& text) { MyMessageBox(owner, text, kCaption, MB_OK, kCaption); }

// The search takes its addresses highest first.
std::vector<uint8_t> DescendingAddresses(const AddressFlags& flags)
{
    std::vector<uint8_t> addrs;
    for (unsigned a = 255; a >= 1; --a)
        if (flags.test(a))
            addrs.push_back(static_cast<uint8_t>(a));
    return addrs;
}

std::string OrEllipsis(const QLineEdit* edit)
{
    const std::string text = edit->text().toStdString();
    return text.empty() ? "..." : text;
}

} // namespace

void TForm1::N5Click()
{
    std::string entered = searchRange_;
    if (!InputQuery(this, "Поиск по адрессам", "Введите диапазон адрессов", entered))
        return;
    // Kept even when it is rejected: the user corrects it at the next search.
    searchRange_ = entered;
    const AddressFlags flags = ParseAddressSet(entered);
    const std::vector<uint8_t> addrs = DescendingAddresses(flags);
    if (addrs.empty()) {
        ShowInputError("диапазон адресов", entered);
        return;
    }

    TransferManagerT& engine = TransferManagerT::Instance();
    engine.StopThread();
    FormOpros->PrepareSearch(addrs);
    FormOpros->Edit1->setText(Q(FormatAddressSet(flags)));
    FormOpros->Edit3->setText(Q(entered));

    engine.StopThread();
    engine.Tasks().Clear();
    engine.AddTask(new DevTask::SearchSlave(addrs), true);
    engine.StartThread();
    // The worker runs on while the window is open, also after the last
    // address: the user reads the result there and closes it.
    FormOpros->exec();
    engine.StopThread();

    ShowMessage(this, my::Format("Поиск по адресам завершён.\nОпрошено\t-\t%s.\nОтветили\t-\t%s.\nНе "
                                 "ответили\t-\t%s.\n",
                                 OrEllipsis(FormOpros->Edit2).c_str(), OrEllipsis(FormOpros->Edit4).c_str(),
                                 OrEllipsis(FormOpros->Edit5).c_str()));
    StartReadChanals();
}

void TForm1::N9Click()
{
    for (;;) {
        // Never the rejected entry again: a correction is typed afresh.
        std::string entered;
        if (!InputQuery(this, "Запрос значения", "Введите поправку нулевых показаний", entered))
            return;
        const std::pair<double, bool> value = ParseDouble(entered);
        if (!value.second || !BcdCanCarry(value.first)) {
            ShowMessage(this, my::Format("Некорректный ввод: \"%s\"!", entered.c_str()));
            continue;
        }
        TransferManagerT& engine = TransferManagerT::Instance();
        engine.StopThread();
        engine.AddTask(new DevTask::Send(static_cast<uint8_t>(address_ & 0xFF), kZeroCorrectionCmd, value.first),
                       false);
        engine.StartThread();
        return;
    }
}

void TForm1::N7Click()
{
    // After a rejection the prompt offers the rejected entry for correction.
    std::string entered = std::to_string(address_.load());
    for (;;) {
        if (!InputQuery(this, "Запрос значения", "Введите сетевой адрес прибора в диапазоне 1..127", entered))
            return;
        const std::string word = AddressWord(entered);
        int32_t address = 0;
        if (!IsValidAddress(word, address)) {
            ShowMessage(this, my::Format("Некорректный ввод сетевого адресса: \"%s\"!", word.c_str()));
            continue;
        }
        SetAddress(address);
        StartInitializeDevice();
        return;
    }
}

void TForm1::N2Click()
{
    TransferManagerT& engine = TransferManagerT::Instance();
    engine.StopThread();
    engine.AddTask(new DevTask::ReadArchive, false);
    engine.StartThread();
}

// The menu opens where the mouse is: the hot cell is the cell clicked on.
void TForm1::PopupMenu1Popup()
{
    const int col = grdManager_->GetHotCell().first;
    menuShowDetail->setData(col);
    if (col <= 0) {
        menuShowDetail->setVisible(false);
        return;
    }
    menuShowDetail->setText(QStringLiteral("Показать отдельно ") + grd1->Cell(col, kQuantityRow));
    menuShowDetail->setVisible(true);
}

void TForm1::menuShowDetailClick()
{
    const int col = menuShowDetail->data().toInt();
    if (col <= 0)
        return;
    // Keyed by the channel, where the values look it up.
    const uint32_t key = ChanalOfColumn(col);
    if (chanalForms_.count(key))
        return;
    auto* form = new TFormChanal(nullptr);
    chanalForms_[key] = form;
    form->SetTag(static_cast<int>(key));
    form->Label1->setText(grd1->Cell(col, kQuantityRow));
    form->Label2->setText(QStringLiteral("..."));
    form->SetCloseHandler([this](TFormChanal* f) { ChanalFormClose(f); });
    trends_->Attach(form, ChanalOfColumn(col));
    form->show();
}

void TForm1::ChanalFormClose(TFormChanal* form)
{
    chanalForms_.erase(static_cast<uint32_t>(form->Tag()));
    // Still inside its own close event.
    form->deleteLater();
}
