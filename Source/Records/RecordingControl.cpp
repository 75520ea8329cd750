#include "RecordingControl.h"

#include "DevSys/Catalogue.h"
#include "Records/RecordFile.h"
#include "StampedFile.h"
#include "VCLUtils/MessageBoxFlags.h"
#include "VCLUtils/MyWindow.h"

#include <QAction>
#include <QBoxLayout>
#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QMenu>

#include <algorithm>

namespace {

const char kCaption[] = "КАЛИСТ-8";

bool SameChanals(const ModbusChanals& a, const ModbusChanals& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const ModbusChanalTag& x, const ModbusChanalTag& y) {
        return x.number == y.number && x.quantityCode == y.quantityCode && x.scaleCode == y.scaleCode &&
               x.unitCode == y.unitCode;
    });
}

std::vector<RecordedChanal> Named(const ModbusChanals& chanals)
{
    const ThisModule& names = ThisModule::Instance();
    std::vector<RecordedChanal> named;
    for (const ModbusChanalTag& ch : chanals)
        named.push_back({ch.number, names.VarName(ch.quantityCode), names.UnitName(ch.unitCode)});
    return named;
}

} // namespace

RecordingControl::RecordingControl(QMenu* menu, QAction* before, QWidget* statusBar,
                                   std::function<std::string()> dir)
    : QObject(menu), owner_(statusBar->window()), dir_(std::move(dir))
{
    action_ = new QAction(QStringLiteral("Запись в файл"), menu);
    action_->setObjectName(QStringLiteral("menuRecord"));
    action_->setCheckable(true);
    menu->insertAction(before, action_);
    connect(action_, &QAction::toggled, this, &RecordingControl::Switch);

    mark_ = new QLabel(QStringLiteral("● Запись"), statusBar);
    mark_->setObjectName(QStringLiteral("RecordMark"));
    mark_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    mark_->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold; padding: 0 6px;"));
    mark_->hide();
    if (auto* row = qobject_cast<QBoxLayout*>(statusBar->layout()))
        row->addWidget(mark_);
}

RecordingControl::~RecordingControl() = default;

std::string RecordingControl::Path() const { return file_ ? file_->Path() : std::string(); }

void RecordingControl::SetChanals(int address, const ModbusChanals& chanals)
{
    if (address == address_ && SameChanals(chanals, chanals_))
        return;
    address_ = address;
    chanals_ = chanals;
    if (action_->isChecked())
        StartFile();
}

void RecordingControl::OnValue(uint32_t number, double value)
{
    if (file_)
        file_->Add(number, value, QDateTime::currentDateTime());
}

void RecordingControl::Switch(bool on)
{
    file_.reset();
    // Without a channel list yet, the file starts when the list arrives.
    if (on && address_ >= 0)
        StartFile();
    ShowState();
}

void RecordingControl::StartFile()
{
    file_.reset();
    const std::string path = NewStampedPath(dir_(), "Records", address_, QDateTime::currentDateTime(), ".csv");
    std::unique_ptr<RecordFile> file;
    if (!path.empty())
        file.reset(new RecordFile(path, Named(chanals_), QLocale::system().decimalPoint().toStdString()));
    if (!file || !file->IsOpen()) {
        // Unchecking comes back here through Switch and shows the state.
        action_->setChecked(false);
        MyMessageBox(owner_,
                     "Не удалось создать файл записи:\n" + (path.empty() ? dir_() + "Records" : path), kCaption,
                     MB_OK | MB_ICONERROR, kCaption);
        return;
    }
    file_ = std::move(file);
    ShowState();
}

void RecordingControl::ShowState()
{
    mark_->setVisible(action_->isChecked());
    mark_->setToolTip(QString::fromStdString(Path()));
}
