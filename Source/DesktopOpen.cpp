#include "DesktopOpen.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

void OpenWithDesktop(const std::string& path)
{
    // The opening program runs in a directory of its own choosing.
    const QString absolute = QFileInfo(QString::fromStdString(path)).absoluteFilePath();
    QDesktopServices::openUrl(QUrl::fromLocalFile(absolute));
}
