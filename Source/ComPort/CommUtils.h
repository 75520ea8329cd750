#pragma once

#include "ComPort/CommSets.h"
#include "ComPort/SerialLine.h"
#include "Excpt/MyExeption.h"

#include <boost/noncopyable.hpp>

#include <cstdint>
#include <string>

// The serial port. Every exception of the port layer is raised in
// CommUtils.cpp: the polling engine closes the port when the innermost
// exception of a failure carries that file name.

namespace my::Comm {

// A line error flag as ClearCommError reports it, with its text.
struct CommErrorT {
    uint32_t flag;
    const char* text;
};

enum { COMM_ERRORS_COUNT = 8 };

// The line errors, in the order their texts are joined. Every one is
// critical.
extern const CommErrorT commErrors[COMM_ERRORS_COUNT];

// True when the mask holds at least one flag of commErrors.
bool HasMaskCriticalError(uint32_t mask);

// One serial port "COM1" to "COM9" with the settings it is opened with. Used
// by one thread at a time.
class Port : boost::noncopyable {
public:
    // "COM1", built-in settings, closed.
    Port();
    virtual ~Port();

    // Opens exclusively and applies the settings, unless already open. On
    // failure the port is closed and "Сбой при открытии порта!" is thrown
    // with the cause nested.
    void Open();
    void Close();
    bool IsOpen() const;

    // 1 to 9.
    int PortNumber() const;
    // Remembers the settings under the old number in
    // "MyCommPortsSetings.ini" (unless they are still the built-in record the
    // port was made with: that would overwrite a hand-tuned section),
    // closes, takes the new number and its remembered settings, and opens
    // again if it was open. The same number changes nothing.
    void SetPortNumber(int portNumber);

    // Changes through the reference take effect at the next Open().
    PortSetsT& Sets()
    {
        builtInSets_ = false;
        return sets_;
    }
    const PortSetsT& Sets() const { return sets_; }
    // Copies the record and applies it at once if the port is open.
    void SetSets(const PortSetsT& sets);

    // "COM1 9600": port number and baud rate.
    std::string Description() const;

    // One synchronous transfer; the count moved may be smaller than asked
    // when a timeout of the settings ends it.
    int32_t Write(const void* bytes, int32_t count);
    int32_t Read(void* bytes, int32_t count);

    // The bytes waiting in the input queue; throws MyClearCommErrorException
    // when line errors came since the last call.
    virtual uint32_t ClearError();
    // Discards pending input and output.
    virtual void Purge();
    // Sleeps up to ms, ending early once input is waiting (or the port is
    // closed: then it sleeps the whole time). Never throws; line errors and a
    // dead line are for the next ClearError() to report.
    void WaitForInput(uint32_t ms);

private:
    void ApplyLineControl();
    void ApplyTimeouts();
    void StartLineErrorCount();

    int handle_;
    std::string name_;
    PortSetsT sets_;
    // Nobody has loaded, set or changed the record since construction.
    bool builtInSets_;
    LineErrorCounts lineErrors_;
};

} // namespace my::Comm

// The texts of the commErrors rows whose flag is in the mask, in table
// order, joined with nothing in between; empty when none is set.
std::string CommErrorsText(uint32_t mask);

// Opens port "COM<n>" for this process alone and returns its descriptor.
// Throws MyException when the number is not in the present-port list, even
// after the list is built again, and MyWindowsException
// "COM-порт \"COM<n>\" занят!" when the device cannot be opened (held by
// another program, gone, no access); the list is built again then too.
int OpenPortHandle(int portNumber);

// Line errors reported by the port. The mask must hold a flag of commErrors.
class MyClearCommErrorException : public MyExternalException {
public:
    MyClearCommErrorException(uint32_t mask, const FileLine& loc, const std::string& text,
                              const PMyExcpt& nested = PMyExcpt());
    std::string TypeName() const override { return "MyClearCommErrorException"; }
};
