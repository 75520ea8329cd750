#include "Application/ExceptionBox.h"

#include "Excpt/MyExeption.h"
#include "VCLUtils/MyWindow.h"

#include <string>

namespace {

const char kTitle[] = "КАЛИСТ-8";

} // namespace

void ShowCaughtException(const std::exception_ptr& caught)
{
    std::string text;
    try {
        std::rethrow_exception(caught);
    } catch (const PMyExcpt& e) {
        if (e)
            text = e->Message();
    } catch (const std::exception& e) {
        text = e.what();
    } catch (...) {
    }
    MyMessageBox(nullptr, text, kTitle, MB_ICONERROR, kTitle);
}
