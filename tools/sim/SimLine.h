#pragma once

#include <string>
#include <termios.h>

namespace sim {

// The simulator's end of the serial line: a descriptor to read requests
// from and write answers to, which can be pulled like a cable and put back.
class Line {
public:
    virtual ~Line() = default;
    // Throws MyWindowsException when the line cannot be set up.
    virtual void Open() = 0;
    // Pulls the cable; the far end notices as it would with its line.
    virtual void Close() = 0;
    // -1 while the line is down.
    virtual int Fd() const = 0;
    // What the far end opens; empty while down.
    virtual std::string Path() const = 0;
};

// A new pseudo-terminal: the simulator holds the master side, the program
// under test opens the terminal side. The simulator also keeps the terminal
// side open itself, so the master never reports a hang-up while the program
// closes and reopens its port. An optional symbolic link always points at
// the pseudo-terminal in use; it is removed while the line is down and
// when the simulator ends.
class PtyLine : public Line {
public:
    explicit PtyLine(std::string linkPath);
    ~PtyLine() override;
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    void Open() override;
    void Close() override;
    int Fd() const override { return master_; }
    std::string Path() const override { return slavePath_; }

private:
    void PointLink();
    void RemoveLink();

    std::string linkPath_;
    std::string slavePath_;
    int master_ = -1;
    int ownSlave_ = -1;
};

// An existing serial device, raw 8N1 at the given speed.
class DeviceLine : public Line {
public:
    DeviceLine(std::string path, int baud);
    ~DeviceLine() override;
    DeviceLine(const DeviceLine&) = delete;
    DeviceLine& operator=(const DeviceLine&) = delete;

    void Open() override;
    void Close() override;
    int Fd() const override { return fd_; }
    std::string Path() const override { return fd_ >= 0 ? path_ : std::string(); }

private:
    std::string path_;
    int baud_;
    int fd_ = -1;
};

// The termios speed for a baud rate; B0 when it is not a standard one.
speed_t BaudToSpeed(int baud);
// Raw 8N1: no echo, no line editing, no translation, no flow control.
void MakeRaw(termios& t, speed_t speed);

} // namespace sim
