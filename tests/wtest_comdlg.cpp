#include "FakeDeviceTree.h"
#include "WidgetTestUtils.h"

#include "ComPort/Dlg/uFormComPortSetsDlg.h"
#include "PortDoctor/PortFacts.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

std::string FakePath(unsigned n) { return "/dev/ttyUSB" + std::to_string(n - 1); }

class ComPortDlgTest : public ::testing::Test {
protected:
    ComPortDlgTest() : dlg({1, 3}, &FakePath)
    {
        dlg.edTimeOut->setText("1000");
        dlg.edWriteDelay->setText("50");
        dlg.edSilentTime->setText("10");
        dlg.show();
        QApplication::setActiveWindow(&dlg);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dlg));
    }

    // Types text into the edit and moves the focus on to the next field;
    // returns what the complaint box showed (shown false when none).
    ModalBoxWatcher::Seen LeaveWith(QLineEdit* edit, const char* text, QWidget* next)
    {
        edit->setFocus(Qt::TabFocusReason);
        edit->setText(QString::fromUtf8(text));
        ModalBoxWatcher watcher;
        next->setFocus(Qt::TabFocusReason);
        WaitForTheEditCheck();
        return watcher.Result();
    }

    // The dialog checks an edit it loses the focus to in a call it queues
    // then; a call queued after it runs once that check is over, the
    // complaint box (if any) answered and closed.
    static void WaitForTheEditCheck()
    {
        bool checked = false;
        QTimer::singleShot(0, [&checked] { checked = true; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return checked; }, 5000));
    }

    TFormComPortSetsDlg dlg;
};

} // namespace

TEST_F(ComPortDlgTest, OffersThePresentPortsWithTheirDevices)
{
    EXPECT_EQ(dlg.windowTitle().toStdString(), "Настройка");
    ASSERT_EQ(dlg.cbPortName->count(), 2);
    EXPECT_EQ(dlg.cbPortName->itemText(0).toStdString(), "COM1");
    EXPECT_EQ(dlg.cbPortName->itemText(1).toStdString(), "COM3");
    EXPECT_EQ(dlg.cbPortName->currentIndex(), -1);
    EXPECT_EQ(dlg.cbPortName->itemData(1, Qt::ToolTipRole).toString().toStdString(), "/dev/ttyUSB2");
    dlg.cbPortName->setCurrentIndex(1);
    EXPECT_EQ(dlg.lblDevicePath->text().toStdString(), "/dev/ttyUSB2");
    dlg.cbPortName->setCurrentIndex(0);
    EXPECT_EQ(dlg.lblDevicePath->text().toStdString(), "/dev/ttyUSB0");
}

// Two adapters of the same make: the dialog tells them apart by what sysfs
// knows of each, and has room for all of it.
TEST(ComPortDlgFactsTest, TwoIdenticalAdaptersShowTheirOwnFacts)
{
    FakeDeviceTree tree;
    FakeDeviceTree::UsbAdapter a;
    a.tty = "ttyUSB0";
    a.byId = "usb-FTDI_FT232R_USB_UART_A10K1ABC-if00-port0";
    a.driver = "ftdi_sio";
    a.vendorId = "0403";
    a.productId = "6001";
    a.product = "FT232R USB UART";
    a.serial = "A10K1ABC";
    FakeDeviceTree::UsbAdapter b = a;
    b.tty = "ttyUSB1";
    b.byId = "usb-FTDI_FT232R_USB_UART_A10K2XYZ-if00-port0";
    b.serial = "A10K2XYZ";
    b.usbPort = 2;
    ScopedEnv com1("KALIST8_COM1", tree.Plug(a, "/dev/null"));
    ScopedEnv com3("KALIST8_COM3", tree.Plug(b, "/dev/null"));

    TFormComPortSetsDlg dlg({1, 3}, &my::PortDoctor::DescribePort);
    dlg.show();
    const std::string second = dlg.cbPortName->itemData(1, Qt::ToolTipRole).toString().toStdString();
    EXPECT_EQ(second, tree.Path("/dev/serial/by-id/") + b.byId +
                          " (ttyUSB1)\nдрайвер ftdi_sio, USB 0403:6001\nFT232R USB UART\nсерийный номер A10K2XYZ");
    EXPECT_EQ(dlg.cbPortName->itemText(1).toStdString(), "COM3");
    dlg.cbPortName->setCurrentIndex(0);
    const QSize room = dlg.lblDevicePath->size();
    EXPECT_NE(dlg.lblDevicePath->text().toStdString().find("серийный номер A10K1ABC"), std::string::npos);
    EXPECT_GE(room.width(), dlg.lblDevicePath->sizeHint().width());
    EXPECT_GE(room.height(), dlg.lblDevicePath->sizeHint().height());
    dlg.cbPortName->setCurrentIndex(1);
    EXPECT_EQ(dlg.lblDevicePath->text().toStdString(), second);
    EXPECT_EQ(dlg.lblDevicePath->size(), room);
}

TEST_F(ComPortDlgTest, TabOrderRunsFromTheButtonsUpThroughTheEdits)
{
    const std::vector<QWidget*> order = {dlg.Button1, dlg.Button2, dlg.edSilentTime, dlg.edWriteDelay,
                                         dlg.edTimeOut, dlg.cbPortName};
    for (size_t i = 0; i + 1 < order.size(); ++i) {
        QWidget* next = order[i]->nextInFocusChain();
        while (!(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        EXPECT_EQ(next, order[i + 1]) << order[i]->objectName().toStdString();
    }
}

TEST_F(ComPortDlgTest, RejectedEntriesAreNamedAndTheFocusReturns)
{
    const struct {
        QLineEdit* edit;
        const char* text;
        const char* complaint; // nullptr: accepted
    } cases[] = {
        {dlg.edTimeOut, "99", "Не корректные данные \"99\" в поле \"Таймаут ответа, мсек\"!"},
        {dlg.edTimeOut, "100", nullptr},
        {dlg.edTimeOut, "500000", nullptr},
        {dlg.edTimeOut, "500001", "Не корректные данные \"500001\" в поле \"Таймаут ответа, мсек\"!"},
        {dlg.edWriteDelay, "", "Отсутствуют данные в поле \"Задержка отправки, мсек\"!"},
        {dlg.edWriteDelay, "0", nullptr},
        {dlg.edWriteDelay, "200001", "Не корректные данные \"200001\" в поле \"Задержка отправки, мсек\"!"},
        {dlg.edSilentTime, "4",
         "Не корректные данные \"4\" в поле \"Длительность ожидания символа приёма, мсек\"!"},
        {dlg.edSilentTime, "5", nullptr},
        {dlg.edSilentTime, "10 ",
         "Не корректные данные \"10 \" в поле \"Длительность ожидания символа приёма, мсек\"!"},
        {dlg.edSilentTime, "10,5",
         "Не корректные данные \"10,5\" в поле \"Длительность ожидания символа приёма, мсек\"!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.edit->objectName().toStdString()) + " '" + c.text + "'");
        QWidget* next = c.edit == dlg.edTimeOut ? static_cast<QWidget*>(dlg.edWriteDelay) : dlg.edTimeOut;
        const auto seen = LeaveWith(c.edit, c.text, next);
        if (!c.complaint) {
            EXPECT_FALSE(seen.shown);
            c.edit->setText("1000");
            continue;
        }
        ASSERT_TRUE(seen.shown);
        EXPECT_EQ(seen.caption.toStdString(), "Некорректный ввод!");
        EXPECT_EQ(seen.text.toStdString(), c.complaint);
        EXPECT_EQ(seen.icon, QMessageBox::Critical);
        EXPECT_TRUE(QTest::qWaitFor([&] { return c.edit->hasFocus(); }, 2000));
        c.edit->setText(c.edit == dlg.edSilentTime ? "10" : "1000");
    }
}

TEST_F(ComPortDlgTest, ApplyWithAWrongEntryComplainsAndStaysOpen)
{
    dlg.edSilentTime->setText("abc");
    ModalBoxWatcher watcher;
    dlg.Button1->click();
    ASSERT_TRUE(watcher.Result().shown);
    EXPECT_EQ(watcher.Result().text.toStdString(),
              "Не корректные данные \"abc\" в поле \"Длительность ожидания символа приёма, мсек\"!");
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);

    dlg.edSilentTime->setText("15");
    dlg.Button1->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_FALSE(dlg.isVisible());
}

TEST_F(ComPortDlgTest, CancelClosesWithoutComplaintsEvenAfterWrongEdits)
{
    dlg.edTimeOut->setFocus(Qt::TabFocusReason);
    dlg.edTimeOut->setText("1");
    ModalBoxWatcher watcher;
    QTest::mouseClick(dlg.Button2, Qt::LeftButton);
    WaitForTheEditCheck();
    EXPECT_FALSE(watcher.Result().shown);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_FALSE(dlg.isVisible());
}
