#pragma once

#include "DevSys/TaskList.h"
#include "Excpt/MyExeption.h"

#include <boost/shared_ptr.hpp>

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class TFrmWait;

// One channel of the instrument as its descriptor registers give it.
struct ModbusChanalTag {
    uint32_t number;
    uint32_t quantityCode;
    uint32_t scaleCode;
    uint32_t unitCode;
};
typedef std::vector<ModbusChanalTag> ModbusChanals;

constexpr size_t ARCHIVE_SIZE = 9800;

namespace DevTask {

// What the tasks need of the main window. Address() is read on the worker;
// everything else is called on the main thread.
class DeviceWindow {
public:
    virtual int32_t Address() const = 0;
    virtual void UpdateChanalValue(unsigned nChanal, double value) = 0;
    virtual void UpdateChanals(const ModbusChanals& chanals) = 0;
    virtual void SaveArchive(const uint8_t* begin, const uint8_t* end) = 0;

protected:
    ~DeviceWindow() = default;
};

// The main window, or null while there is none. The window sets it when it
// is created and clears it before it goes.
void SetDeviceWindow(DeviceWindow* window);
DeviceWindow* GetDeviceWindow();

// A task that shows the wait window from its first BeforeTransfer() until
// the task object is released; the window is freed on the main thread.
class TaskWithTopMostPanel : public MyAbstructTransfer {
public:
    explicit TaskWithTopMostPanel(const std::string& text);
    ~TaskWithTopMostPanel() override;

    bool BeforeTransfer() override;
    bool AfterTransfer() override;
    std::string Description() const override;

    virtual void OnBegin();
    virtual void OnEnd();

protected:
    // Worker: the box "Ошибка выполнения операции!" with the task's text and
    // the error's message, after the wait window has gone (it stays on top
    // and would cover the box). Returns when the user has closed the box.
    void ShowFailure(const PMyExcpt& e);
    // Worker: the wait window goes now instead of with the task.
    void ReleasePanel();
    // Main thread: the wait window of this attempt; null before the first.
    TFrmWait* Panel() const { return panel_.get(); }

private:
    const std::string text_;
    boost::shared_ptr<TFrmWait> panel_;
};

// Reads one channel's value; kept in rotation.
class ReadChanal : public MyAbstructTransfer {
public:
    explicit ReadChanal(unsigned nChanal);

    bool BeforeTransfer() override;
    bool AfterTransfer() override;
    void DoTransfer() override;
    std::string Description() const override;

private:
    const uint32_t nChanal_;
    double value_;
};

// Reads the channel mask and every channel's descriptor, then hands the
// list to the main window, which starts polling them.
class InitializeDevice : public TaskWithTopMostPanel {
public:
    InitializeDevice();
    void DoTransfer() override;
    void OnEnd() override;

private:
    ModbusChanals chanals_;
};

// Asks every address of the list (given descending, asked ascending) whether
// an instrument answers; the answers reach the windows as notifications.
// Any answer that passes the answer checks, an exception answer too, means
// someone is there. An address that answers faultily three times in a row is
// taken as not answering, so the search always ends.
class SearchSlave : public MyAbstructTransfer {
public:
    explicit SearchSlave(const std::vector<uint8_t>& addrs);

    bool BeforeTransfer() override;
    bool AfterTransfer() override;
    void DoTransfer() override;
    std::string Description() const override;

private:
    void AskLast();
    void GiveUpLast(const PMyExcpt& lastError);

    std::vector<uint8_t> addrs_;
    // Faulty answers of the last address in a row.
    int faults_;
};

// Sends one command; a failure is shown in a message box and ends the task.
// A command the instrument has confirmed is never sent again, even when a
// stop cuts the turn short and leaves the task in the list.
class Send : public TaskWithTopMostPanel {
public:
    Send(uint8_t slave, uint16_t cmd, double value);
    bool BeforeTransfer() override;
    void DoTransfer() override;

private:
    const uint8_t slave_;
    const uint16_t cmd_;
    const double value_;
    std::atomic<bool> confirmed_;
};

// Downloads the measurement archive (function 0x41, 9800 bytes). A failure
// is retried by the manager; the third one in a row is shown in a message box
// and ends the task without an archive. Its wait window shows how much of the
// answer has come.
class ReadArchive : public TaskWithTopMostPanel {
public:
    ReadArchive();
    void DoTransfer() override;
    void OnBegin() override;
    void OnEnd() override;

private:
    void Download();

    std::array<uint8_t, ARCHIVE_SIZE> archive_;
    int failures_;
    bool gaveUp_;
};

} // namespace DevTask
