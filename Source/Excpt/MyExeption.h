#pragma once

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>

#include <string>

// The source site an exception was raised or caught at: the bare file name
// (the engine tells port failures by "CommUtils.cpp") and the line.
struct FileLine {
    FileLine(int line, const char* path);
    int line;
    std::string file;
};

#define FILE_LINE ::FileLine(__LINE__, __FILE__)

class MyException;
typedef boost::shared_ptr<MyException> PMyExcpt;

// Root of every error the program throws. Always created on the heap, owned
// through PMyExcpt and thrown as PMyExcpt; immutable once built.
class MyException : boost::noncopyable {
public:
    MyException(const FileLine& loc, const std::string& msg, const PMyExcpt& nested = PMyExcpt());
    virtual ~MyException();
    virtual std::string TypeName() const;

    const FileLine& Where() const { return fileLine_; }
    const std::string& Message() const { return message_; }
    PMyExcpt Nested() const { return nested_; }

private:
    const FileLine fileLine_;
    const std::string message_;
    const PMyExcpt nested_;
};

// Declares a subclass that adds nothing but its own type name.
#define DECLARE_MY_EXCEPTION_CLASS(Name, Base)                                                      \
    class Name : public Base {                                                                      \
    public:                                                                                         \
        Name(const FileLine& loc, const std::string& msg, const PMyExcpt& nested = PMyExcpt())      \
            : Base(loc, msg, nested) {}                                                             \
        std::string TypeName() const override { return #Name; }                                     \
    }

// Base of everything that comes from outside the program's own logic.
DECLARE_MY_EXCEPTION_CLASS(MyExternalException, MyException);
DECLARE_MY_EXCEPTION_CLASS(MyStdException, MyExternalException);
DECLARE_MY_EXCEPTION_CLASS(MyAccessViolationException, MyExternalException);
DECLARE_MY_EXCEPTION_CLASS(MyVCLException, MyExternalException);
DECLARE_MY_EXCEPTION_CLASS(MyUnknownException, MyExternalException);

// A failed system call; the code is the errno value of the failure.
class MyWindowsException : public MyExternalException {
public:
    MyWindowsException(int code, const FileLine& loc, const std::string& msg,
                       const PMyExcpt& nested = PMyExcpt());
    // Takes the code from errno at the moment of construction.
    MyWindowsException(const FileLine& loc, const std::string& msg, const PMyExcpt& nested = PMyExcpt());
    std::string TypeName() const override { return "MyWindowsException"; }
    int Code() const { return code_; }

private:
    const int code_;
};

// Converts the exception being handled into the family; call only inside a
// catch handler. Never returns an empty pointer.
PMyExcpt CurrentExceptionToPMyExcpt(const FileLine& catchSite);

std::string FormatExceptionEntry(const MyException& e);
std::string FormatExceptionChain(const MyException* e);
const MyException* InnermostException(const MyException* e);

// The system's text for an errno value without control characters; empty
// for 0 and for codes the system has no text for.
std::string WinErrorText(int code);

// Shows the text of the last system error (errno) in a message box; nothing
// when errno is 0. The box itself is supplied by the GUI layer.
void ShowLastWinError(const std::string& prefix);

// Lets the GUI layer supply the message box of ShowLastWinError; without it
// the text goes to standard error.
typedef void (*LastWinErrorBoxFn)(const std::string& text, const std::string& caption);
void SetLastWinErrorBox(LastWinErrorBoxFn fn);
