#include "VCLUtils/MyDialogs.h"

#include "Excpt/FatalError.h"
#include "Excpt/MyExeption.h"
#include "VCLUtils/MyWindow.h"
#include "VCLUtils/MyStrUtils.h"

#include <QMessageBox>
#include <QString>

namespace {

void ShowErrorBox(const std::string& text, const std::string& caption)
{
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::Ok);
    box.exec();
}

} // namespace

void ShowInputError(const std::string& fieldName, const std::string& entered)
{
    ShowErrorBox(InputErrorText(fieldName, entered), InputErrorCaption);
}

void InstallLastWinErrorBox() { SetLastWinErrorBox(&ShowErrorBox); }

namespace {

void ShowFatalBox(const std::string& text, const std::string& caption, const std::string& ownerTitle)
{
    MyMessageBox(nullptr, text, caption, MB_ICONERROR, ownerTitle);
}

} // namespace

void InstallGuiHooks()
{
    InstallLastWinErrorBox();
    SetFatalErrorBox(&ShowFatalBox);
}
