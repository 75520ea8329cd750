#include "DevSys/task_.h"

#include "DevSys/TransferManage.h"
#include "ComPort/RS232Modbus.h"
#include "DevSys/modbus_.h"
#include "DownloadProgress/DownloadProgressView.h"
#include "Excpt/MyAssert.h"
#include "Excpt/MyExeption.h"
#include "VCLUtils/MySynchronize.h"
#include "VCLUtils/MyStrUtils.h"
#include "VCLUtils/MyWindow.h"
#include "VCLUtils/bcd_.h"
#include "uFrmWait.h"

#include <QFont>
#include <QLabel>
#include <QProgressBar>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <thread>

namespace {

// Written on the main thread, read on the worker by every exchange of the
// tasks that talk to the selected instrument.
std::atomic<DevTask::DeviceWindow*> deviceWindow{nullptr};

constexpr uint16_t REG_CHANAL_MASK = 52;
constexpr uint16_t REG_FIRST_DESCRIPTOR = 64;
constexpr uint16_t DESCRIPTOR_STRIDE = 10;
constexpr unsigned MAX_CHANALS = 16;
constexpr uint8_t FN_READ_HOLDING = 0x03;
constexpr uint8_t FN_READ_ARCHIVE = 0x41;
// The archive's answer: address, function code, the archive, CRC.
constexpr size_t ARCHIVE_ANSWER_SIZE = ARCHIVE_SIZE + 4;

// Faulty answers in a row after which the search takes an address as not
// answering: another device on the bus or a damaged line would otherwise
// hold the search at that address for ever.
constexpr int SEARCH_FAULTS_TO_GIVE_UP = 3;
// Failed downloads in a row after which the archive task gives up.
constexpr int ARCHIVE_ATTEMPTS = 3;

// The instrument needs time to carry a command out before the next request.
constexpr std::chrono::milliseconds AFTER_COMMAND_PAUSE(200);

// The request carries the low byte of whatever the window holds.
uint8_t SlaveOf(const DevTask::DeviceWindow& window) { return static_cast<uint8_t>(window.Address() & 0xFF); }

} // namespace

namespace DevTask {

void SetDeviceWindow(DeviceWindow* window) { deviceWindow.store(window); }

DeviceWindow* GetDeviceWindow() { return deviceWindow.load(); }

// ---- TaskWithTopMostPanel ---------------------------------------------------

TaskWithTopMostPanel::TaskWithTopMostPanel(const std::string& text) : text_(text) {}

// The last reference often goes on the worker, but a widget may only be
// deleted on the main thread.
TaskWithTopMostPanel::~TaskWithTopMostPanel()
{
    if (panel_)
        my::Synchronize([this] { panel_.reset(); });
}

bool TaskWithTopMostPanel::BeforeTransfer()
{
    // A retried task shows a fresh window; the one of the failed attempt goes.
    panel_.reset(new TFrmWait(nullptr));
    panel_->pb1->hide();
    QFont font = panel_->Panel2->font();
    font.setPixelSize(14);
    panel_->Panel2->setFont(font);
    panel_->Panel2->setText(QString::fromStdString("КАЛИСТ-8: " + Description()));
    panel_->FitToCaption();
    panel_->show();
    // The worker blocks this thread's event loop soon: paint before that.
    panel_->repaint();
    OnBegin();
    return true;
}

bool TaskWithTopMostPanel::AfterTransfer()
{
    OnEnd();
    return false;
}

std::string TaskWithTopMostPanel::Description() const { return text_; }

void TaskWithTopMostPanel::OnBegin() {}

void TaskWithTopMostPanel::ShowFailure(const PMyExcpt& e)
{
    my::SynchronizedPrint("Ошибка - " + InnermostException(e.get())->Message() + "\n");
    const std::string text = my::Format("%s\n%s", Description().c_str(), e->Message().c_str());
    my::Synchronize([this, &text] {
        panel_.reset();
        return MyMessageBox(nullptr, text, "Ошибка выполнения операции!", MB_ICONERROR, "КАЛИСТ-8");
    });
}

void TaskWithTopMostPanel::ReleasePanel()
{
    my::Synchronize([this] { panel_.reset(); });
}

void TaskWithTopMostPanel::OnEnd() {}

// ---- ReadChanal -------------------------------------------------------------

ReadChanal::ReadChanal(unsigned nChanal) : nChanal_(nChanal), value_(0)
{
    MY_ASSERT_M(nChanal_ < MAX_CHANALS, "nChanal_<16");
}

bool ReadChanal::BeforeTransfer() { return true; }

bool ReadChanal::AfterTransfer()
{
    if (DeviceWindow* window = GetDeviceWindow())
        window->UpdateChanalValue(nChanal_, value_);
    return true;
}

void ReadChanal::DoTransfer()
{
    const DeviceWindow* window = GetDeviceWindow();
    if (!window)
        return;
    ReadBcdValues(SlaveOf(*window), static_cast<uint16_t>(2 * nChanal_), 1, &value_);
}

std::string ReadChanal::Description() const { return "Запрос измеряемой величины..."; }

// ---- InitializeDevice -------------------------------------------------------

InitializeDevice::InitializeDevice() : TaskWithTopMostPanel("Инициализация...") {}

void InitializeDevice::DoTransfer()
{
    const DeviceWindow* window = GetDeviceWindow();
    if (!window)
        return;
    // A retry after a failure half-way starts over.
    chanals_.clear();
    const uint16_t mask = ReadRegisterWord(SlaveOf(*window), REG_CHANAL_MASK);
    for (unsigned n = 0; n < MAX_CHANALS; ++n) {
        if (!(mask & (1u << n)))
            continue;
        const uint8_t* b = nullptr;
        const uint8_t* e = nullptr;
        ModbusCmd3h(SlaveOf(*window), static_cast<uint16_t>(REG_FIRST_DESCRIPTOR + DESCRIPTOR_STRIDE * n), 2, &b,
                    &e);
        chanals_.push_back(ModbusChanalTag{n, b[1], b[2], b[0]});
    }
}

void InitializeDevice::OnEnd()
{
    if (DeviceWindow* window = GetDeviceWindow())
        window->UpdateChanals(chanals_);
}

// ---- SearchSlave ------------------------------------------------------------

SearchSlave::SearchSlave(const std::vector<uint8_t>& addrs) : addrs_(addrs), faults_(0) {}

bool SearchSlave::BeforeTransfer() { return true; }

bool SearchSlave::AfterTransfer() { return false; }

// The addresses are taken from the back, so that a failed turn resumes at
// the address that failed.
void SearchSlave::DoTransfer()
{
    while (!addrs_.empty()) {
        AskLast();
        // A stop leaves the address for the next start.
        if (TransferManagerT::StopRequested())
            return;
        addrs_.pop_back();
        faults_ = 0;
    }
}

// Silence only means nobody is there. A faulty answer goes to the manager
// (report, pause, retry) until it has come too often; any other failure
// (the port) always does.
void SearchSlave::AskLast()
{
    // Register 0, one register: whatever it holds, an answer is all we need.
    const std::array<uint8_t, 4> txd = {0, 0, 0, 1};
    const uint8_t* b = nullptr;
    const uint8_t* e = nullptr;
    try {
        TransferManagerT::Exchange(addrs_.back(), FN_READ_HOLDING, txd.data(), txd.data() + txd.size(), &b, &e);
    } catch (...) {
        const PMyExcpt error = CurrentExceptionToPMyExcpt(FILE_LINE);
        if (dynamic_cast<const MyTransferNoAnswerException*>(error.get()))
            return;
        if (!dynamic_cast<const MyTransferBadAnswerException*>(error.get()) || TransferManagerT::StopRequested() ||
            ++faults_ < SEARCH_FAULTS_TO_GIVE_UP)
            throw error;
        GiveUpLast(error);
    }
}

void SearchSlave::GiveUpLast(const PMyExcpt& lastError)
{
    const uint8_t slave = addrs_.back();
    my::SynchronizedPrint(my::Format("Адрес %d пропущен: %s\n", slave,
                                     InnermostException(lastError.get())->Message().c_str()));
    const std::array<uint8_t, 4> txd = {0, 0, 0, 1};
    TransferManagerT::NotifyUnanswered(slave, FN_READ_HOLDING, txd.data(), txd.data() + txd.size());
}

std::string SearchSlave::Description() const { return "Поиск по адрессам."; }

// ---- Send -------------------------------------------------------------------

namespace {

std::string SendText(uint8_t slave, uint16_t cmd, double value)
{
    return my::Format("%d: отправка команды \"%d\" с аргументом \"%s\"", slave, cmd,
                      FormatBcdValue(value, ',').c_str());
}

} // namespace

Send::Send(uint8_t slave, uint16_t cmd, double value)
    : TaskWithTopMostPanel(SendText(slave, cmd, value)), slave_(slave), cmd_(cmd), value_(value), confirmed_(false)
{
}

// Confirmed in a turn that a stop cut short: done, never sent again.
bool Send::BeforeTransfer() { return !confirmed_ && TaskWithTopMostPanel::BeforeTransfer(); }

// A command is sent once: the user hears of a failure here and decides
// whether to send it again, so the manager never sees the error.
void Send::DoTransfer()
{
    try {
        SendCommand(slave_, cmd_, value_);
    } catch (...) {
        // An exchange cut short by a stop is no failure of the command; the
        // task stays queued and is sent at the next start.
        if (!GetDeviceWindow() || TransferManagerT::StopRequested())
            return;
        ShowFailure(CurrentExceptionToPMyExcpt(FILE_LINE));
        return;
    }
    confirmed_ = true;
    const auto until = std::chrono::steady_clock::now() + AFTER_COMMAND_PAUSE;
    while (std::chrono::steady_clock::now() < until && !TransferManagerT::StopRequested())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // The task stays listed until the next start drops it; its window
    // should not stay meanwhile.
    if (TransferManagerT::StopRequested())
        ReleasePanel();
}

// ---- ReadArchive ------------------------------------------------------------

ReadArchive::ReadArchive() : TaskWithTopMostPanel("Запрос архива..."), archive_{}, failures_(0), gaveUp_(false) {}

void ReadArchive::DoTransfer()
{
    if (!GetDeviceWindow())
        return;
    try {
        Download();
    } catch (...) {
        const PMyExcpt e = CurrentExceptionToPMyExcpt(FILE_LINE);
        // An instrument that never gives the archive must not keep the
        // polling away for good.
        if (TransferManagerT::StopRequested() || ++failures_ < ARCHIVE_ATTEMPTS)
            throw e;
        gaveUp_ = true;
        ShowFailure(e);
    }
}

void ReadArchive::Download()
{
    const DeviceWindow* window = GetDeviceWindow();
    archive_.fill(0);
    const uint8_t* b = nullptr;
    const uint8_t* e = nullptr;
    TransferManagerT::Exchange(SlaveOf(*window), FN_READ_ARCHIVE, nullptr, nullptr, &b, &e);
    // No answer range (a stop request) counts as an empty answer.
    const std::ptrdiff_t rxdLen = b ? e - b : 0;
    MY_ASSERT_M(rxdLen >= 0, "rxdLen>=0");
    if (rxdLen != static_cast<std::ptrdiff_t>(ARCHIVE_SIZE))
        throw PMyExcpt(new MyException(FILE_LINE, "Несоответствие размера архива!"));
    std::copy(b, e, archive_.begin());
}

// The view belongs to the panel and goes with it.
void ReadArchive::OnBegin()
{
    new DownloadProgressView(*Panel(), TransferManagerT::Instance().LinkProgress(), FN_READ_ARCHIVE,
                             ARCHIVE_ANSWER_SIZE);
}

void ReadArchive::OnEnd()
{
    if (gaveUp_)
        return;
    if (DeviceWindow* window = GetDeviceWindow())
        window->SaveArchive(archive_.data(), archive_.data() + archive_.size());
}

} // namespace DevTask
