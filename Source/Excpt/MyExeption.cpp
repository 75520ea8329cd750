#include "Excpt/MyExeption.h"

#include "Excpt/MyAssert.h"
#include "VCLUtils/MyStrUtils.h"

#include <QByteArray>
#include <QString>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <exception>
#include <locale.h>
#include <typeinfo>

FileLine::FileLine(int aLine, const char* path) : line(aLine)
{
    std::string p = path ? path : "";
    const auto cut = p.find_last_of("/\\:");
    file = cut == std::string::npos ? p : p.substr(cut + 1);
}

MyException::MyException(const FileLine& loc, const std::string& msg, const PMyExcpt& nested)
    : fileLine_(loc), message_(msg), nested_(nested)
{
}

MyException::~MyException() = default;

std::string MyException::TypeName() const { return "MyException"; }

namespace {

std::string WindowsMessage(int code, const std::string& msg)
{
    MY_ASSERT_M(code != 0, "Попытка возбудить исключение Windows при нулевом коде ошибки!");
    return my::Format("WIN:%d:%s %s", code, WinErrorText(code).c_str(), msg.c_str());
}

std::string Demangled(const char* name)
{
    int status = 0;
    char* d = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    std::string result = (status == 0 && d) ? d : name;
    std::free(d);
    return result;
}

LastWinErrorBoxFn lastWinErrorBox = nullptr;

} // namespace

MyWindowsException::MyWindowsException(int code, const FileLine& loc, const std::string& msg,
                                       const PMyExcpt& nested)
    : MyExternalException(loc, WindowsMessage(code, msg), nested), code_(code)
{
}

// errno is read before anything else runs in the member initialisers.
MyWindowsException::MyWindowsException(const FileLine& loc, const std::string& msg, const PMyExcpt& nested)
    : MyWindowsException(errno, loc, msg, nested)
{
}

PMyExcpt CurrentExceptionToPMyExcpt(const FileLine& catchSite)
{
    try {
        throw;
    } catch (const PMyExcpt& e) {
        if (e)
            return e;
        return PMyExcpt(new MyUnknownException(catchSite, "Unknown exception"));
    } catch (const std::exception& e) {
        return PMyExcpt(
            new MyStdException(catchSite, Demangled(typeid(e).name()) + ":" + e.what()));
    } catch (const QString& s) {
        return PMyExcpt(new MyException(catchSite, s.toStdString()));
    } catch (const QByteArray& s) {
        return PMyExcpt(new MyException(catchSite, s.toStdString()));
    } catch (const std::string& s) {
        return PMyExcpt(new MyException(catchSite, s));
    } catch (...) {
        return PMyExcpt(new MyUnknownException(catchSite, "Unknown exception"));
    }
}

std::string FormatExceptionEntry(const MyException& e)
{
    return my::Format("%s %d %s", e.Where().file.c_str(), e.Where().line, e.Message().c_str());
}

std::string FormatExceptionChain(const MyException* e)
{
    std::string text;
    for (const MyException* cur = e; cur; cur = cur->Nested().get()) {
        text += FormatExceptionEntry(*cur);
        text += cur->Nested() ? "\n" : " ";
    }
    return text;
}

const MyException* InnermostException(const MyException* e)
{
    while (e && e->Nested())
        e = e->Nested().get();
    return e;
}

namespace {

// The language of the user's messages (LC_ALL, LC_MESSAGES, LANG), in the
// program's own encoding; null when not even that encoding is known.
locale_t MessagesLocale()
{
    static const locale_t messages = [] {
        const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
        if (!utf8)
            return locale_t(0);
        // On failure the base stays valid: untranslated texts.
        const locale_t user = newlocale(LC_MESSAGES_MASK, "", utf8);
        return user ? user : utf8;
    }();
    return messages;
}

} // namespace

std::string WinErrorText(int code)
{
    if (code == 0)
        return std::string();
    // strerrordesc_np knows no text for unknown codes, where strerror makes
    // up "Unknown error N"; those stay empty.
    const char* desc = strerrordesc_np(code);
    if (!desc)
        return std::string();
    if (const locale_t messages = MessagesLocale())
        desc = strerror_l(code, messages);
    std::string text;
    for (const char* p = desc; *p; ++p)
        if (!std::iscntrl(static_cast<unsigned char>(*p)))
            text += *p;
    return text;
}

void SetLastWinErrorBox(LastWinErrorBoxFn fn) { lastWinErrorBox = fn; }

void ShowLastWinError(const std::string& prefix)
{
    const int code = errno;
    if (code == 0)
        return;
    const std::string text = prefix + WinErrorText(code);
    const std::string caption = "Последняя WIN-ошибка.";
    if (lastWinErrorBox)
        lastWinErrorBox(text, caption);
    else
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}
