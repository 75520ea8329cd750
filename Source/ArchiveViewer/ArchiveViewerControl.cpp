#include "ArchiveViewer/ArchiveViewerControl.h"

#include "ArchiveViewer/ArchiveWindow.h"
#include "DevSys/Catalogue.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QMenu>

ArchiveViewerControl::ArchiveViewerControl(QWidget* owner, QMenu* menu, QAction* before,
                                           std::function<std::string()> dir)
    : QObject(owner), owner_(owner), dir_(std::move(dir))
{
    action_ = new QAction(QStringLiteral("Открыть архив..."), menu);
    action_->setObjectName(QStringLiteral("menuOpenArchive"));
    menu->insertAction(before, action_);
    connect(action_, &QAction::triggered, this, &ArchiveViewerControl::ChooseFile);
}

ArchiveWindow& ArchiveViewerControl::Window()
{
    if (!window_)
        window_ = new ArchiveWindow(dir_() + "archive.txt", ThisModule::Instance(), owner_);
    return *window_;
}

void ArchiveViewerControl::ShowDownload(const uint8_t* begin, const uint8_t* end, const std::string& source)
{
    Window().ShowDownload(std::string(begin, end), source, chanals_);
}

void ArchiveViewerControl::ChooseFile()
{
    const QString archives = QString::fromStdString(dir_() + "Archives");
    const QString path =
        QFileDialog::getOpenFileName(owner_, QStringLiteral("Открыть архив"),
                                     QDir(archives).exists() ? archives : QString::fromStdString(dir_()),
                                     QStringLiteral("Архив прибора (*.bin);;Все файлы (*)"));
    if (!path.isEmpty())
        Window().OpenFile(path.toStdString());
}
