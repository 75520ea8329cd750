#include "ComPort/CommUtils.h"

#include "ComPort/PollTimeouts.h"
#include "ComPort/PortMap.h"
#include "Excpt/MyAssert.h"
#include "VCLUtils/MyStrUtils.h"

#include <cerrno>

namespace my::Comm {

const CommErrorT commErrors[COMM_ERRORS_COUNT] = {
    {CE_BREAK, "The hardware detected a break condition."},
    {CE_FRAME, "The hardware detected a framing error."},
    {CE_IOE, "An I/O error occurred during communications with the device."},
    {CE_MODE, "The requested mode is not supported, or the hFile parameter is invalid."},
    {CE_OVERRUN, "A character-buffer overrun has occurred. The next character is lost."},
    {CE_RXOVER, "An input buffer overflow has occurred. There is either no room in the input buffer, or a "
                "character was received after the end-of-file (EOF) character."},
    {CE_RXPARITY, "The hardware detected a parity error."},
    {CE_TXFULL, "The application tried to transmit a character, but the output buffer was full."},
};

bool HasMaskCriticalError(uint32_t mask)
{
    for (const auto& e : commErrors)
        if (mask & e.flag)
            return true;
    return false;
}

namespace {

const int kNoHandle = -1;

} // namespace

Port::Port() : handle_(kNoHandle), name_("COM1"), builtInSets_(true), lineErrors_() {}

Port::~Port() { Close(); }

void Port::Open()
{
    if (IsOpen())
        return;
    try {
        handle_ = OpenPortHandle(PortNumber());
        Purge();
        // Queue sizes: Linux drivers keep queues of their own, so the sizes
        // stay in the record only.
        ApplyLineControl();
        ApplyTimeouts();
        StartLineErrorCount();
    } catch (...) {
        const PMyExcpt cause = CurrentExceptionToPMyExcpt(FILE_LINE);
        Close();
        throw PMyExcpt(new MyException(FILE_LINE, "Сбой при открытии порта!", cause));
    }
}

void Port::Close()
{
    if (!IsOpen())
        return;
    CloseExclusive(handle_);
    handle_ = kNoHandle;
}

bool Port::IsOpen() const { return handle_ != kNoHandle; }

int Port::PortNumber() const { return name_[3] - '0'; }

void Port::SetPortNumber(int portNumber)
{
    MY_ASSERT(portNumber >= 1 && portNumber <= 9);
    if (portNumber == PortNumber())
        return;
    const bool wasOpen = IsOpen();
    if (!builtInSets_)
        SavePortSetsToFile(PortNumber(), sets_);
    Close();
    name_[3] = static_cast<char>('0' + portNumber);
    LoadPortSetsFromFile(portNumber, sets_);
    builtInSets_ = false;
    if (wasOpen)
        Open();
}

void Port::SetSets(const PortSetsT& sets)
{
    sets_ = sets;
    builtInSets_ = false;
    ApplyLineControl();
    ApplyTimeouts();
}

std::string Port::Description() const
{
    return my::Format("COM%d %d", PortNumber(), static_cast<int>(sets_.dcb.BaudRate));
}

int32_t Port::Write(const void* bytes, int32_t count)
{
    MY_ASSERT(count >= 0);
    uint32_t done = 0;
    if (const int err = WriteWithTimeouts(handle_, sets_.timeouts, bytes, count, done))
        throw PMyExcpt(new MyWindowsException(err, FILE_LINE, "::WriteFile"));
    return static_cast<int32_t>(done);
}

int32_t Port::Read(void* bytes, int32_t count)
{
    MY_ASSERT(count >= 0);
    uint32_t done = 0;
    if (const int err = ReadWithTimeouts(handle_, sets_.timeouts, bytes, count, done))
        throw PMyExcpt(new MyWindowsException(err, FILE_LINE, "::ReadFile"));
    return static_cast<int32_t>(done);
}

uint32_t Port::ClearError()
{
    uint32_t mask = 0;
    uint32_t waiting = 0;
    if (const int err = PollLineState(handle_, lineErrors_, mask, waiting))
        throw PMyExcpt(new MyWindowsException(err, FILE_LINE, "::ClearCommError"));
    if (HasMaskCriticalError(mask))
        throw PMyExcpt(new MyClearCommErrorException(
            mask, FILE_LINE, "Функция ClearCommError зафиксировала флаги критических ошибок:"));
    return waiting;
}

void Port::Purge()
{
    if (const int err = FlushLine(handle_))
        throw PMyExcpt(new MyWindowsException(err, FILE_LINE, "::PurgeComm"));
}

void Port::WaitForInput(uint32_t ms) { SleepUntilInput(handle_, ms); }

void Port::ApplyLineControl()
{
    if (!IsOpen())
        return;
    if (const int err = ApplyLineSettings(handle_, sets_.dcb))
        throw PMyExcpt(new MyWindowsException(err, FILE_LINE, "::SetCommState"));
}

// The timeouts work at each transfer (poll); here they are only checked as
// Windows checks them.
void Port::ApplyTimeouts()
{
    if (!IsOpen())
        return;
    if (const int err = CheckTimeouts(sets_.timeouts))
        throw PMyExcpt(new MyWindowsException(err, FILE_LINE, "::SetCommTimeouts"));
}

// Line errors count from the moment the line is set up.
void Port::StartLineErrorCount()
{
    if (const int err = ReadLineErrorCounts(handle_, lineErrors_))
        throw PMyExcpt(new MyWindowsException(err, FILE_LINE, "::ClearCommError"));
}

} // namespace my::Comm

std::string CommErrorsText(uint32_t mask)
{
    std::string text;
    for (const auto& e : my::Comm::commErrors)
        if (mask & e.flag)
            text += e.text;
    return text;
}

int OpenPortHandle(int portNumber)
{
    const std::string name = my::Format("COM%d", portNumber);
    // A port missing from the list or failing to open sends the list to be
    // built again: an adapter plugged in since is numbered and found, one
    // plugged back under another ttyUSB is reached again by its by-id name.
    const auto present = [portNumber] {
        return portNumber >= 1 && my::Comm::IsPortPresent(static_cast<unsigned>(portNumber));
    };
    if (!present())
        my::Comm::RescanPresentPorts();
    if (!present())
        throw PMyExcpt(new MyException(
            FILE_LINE,
            my::Format("COM-порт c символическим именем \"%s\" не представлен в системе!", name.c_str())));
    int fd = -1;
    if (const int err = my::Comm::OpenExclusive(my::Comm::PortDevicePath(portNumber), fd)) {
        my::Comm::RescanPresentPorts();
        throw PMyExcpt(new MyWindowsException(err, FILE_LINE, my::Format("COM-порт \"%s\" занят!", name.c_str())));
    }
    return fd;
}

namespace {

std::string ClearCommErrorMessage(uint32_t mask, const std::string& text)
{
    MY_ASSERT_M(my::Comm::HasMaskCriticalError(mask),
                "Попытка возбудить исключение COM-порта при нулевой маске ошибки!");
    return my::Format("Ошибка приема-передачи СОМ порта:%s:%d:%s", text.c_str(), static_cast<int32_t>(mask),
                      CommErrorsText(mask).c_str());
}

} // namespace

MyClearCommErrorException::MyClearCommErrorException(uint32_t mask, const FileLine& loc, const std::string& text,
                                                     const PMyExcpt& nested)
    : MyExternalException(loc, ClearCommErrorMessage(mask, text), nested)
{
}
