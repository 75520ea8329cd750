#include "ArchiveViewer/ArchiveWindow.h"

#include "ArchiveViewer/ArchiveTable.h"
#include "DesktopOpen.h"
#include "DevSys/Catalogue.h"
#include "Plots/TimePlot.h"
#include "VCLUtils/MessageBoxFlags.h"
#include "VCLUtils/MyWindow.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>
#include <fstream>
#include <limits>

namespace {

const char kCaption[] = "Архив";

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string DecimalSeparator() { return QLocale::system().decimalPoint().toStdString(); }

} // namespace

ArchiveWindow::ArchiveWindow(std::string textFile, const ThisModule& names, QWidget* parent)
    : QWidget(parent, Qt::Window), textFile_(std::move(textFile)), names_(names)
{
    setObjectName(QStringLiteral("ArchiveWindow"));
    setWindowTitle(QString::fromUtf8(kCaption));
    source_ = new QLabel(this);
    source_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    table_ = new QTableWidget(this);
    table_->setObjectName(QStringLiteral("ArchiveTable"));
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    plot_ = new TimePlot(this);
    plot_->setObjectName(QStringLiteral("ArchivePlot"));
    export_ = new QPushButton(QStringLiteral("Экспорт в CSV..."), this);
    export_->setObjectName(QStringLiteral("ExportButton"));
    openText_ = new QPushButton(QStringLiteral("Открыть archive.txt"), this);
    openText_->setObjectName(QStringLiteral("OpenTextButton"));
    connect(export_, &QPushButton::clicked, this, &ArchiveWindow::ChooseExportFile);
    connect(openText_, &QPushButton::clicked, this, [this] { OpenWithDesktop(textFile_); });

    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(table_);
    split->addWidget(plot_);
    plot_->setMinimumHeight(260);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(source_, 1);
    buttons->addWidget(openText_);
    buttons->addWidget(export_);
    auto* column = new QVBoxLayout(this);
    column->addWidget(split, 1);
    column->addLayout(buttons);
    resize(900, 760);
}

ArchiveWindow::~ArchiveWindow() = default;

void ArchiveWindow::ShowDownload(const std::string& block, const std::string& source, const ModbusChanals& chanals)
{
    Show(block, source, chanals, true);
}

bool ArchiveWindow::OpenFile(const std::string& path)
{
    std::string block, error;
    if (!ReadArchiveFile(path, &block, &error)) {
        Message(error);
        return false;
    }
    Show(block, path, ModbusChanals(), false);
    return true;
}

void ArchiveWindow::Show(const std::string& block, const std::string& source, const ModbusChanals& chanals,
                         bool downloaded)
{
    archive_.reset(new ArchiveTable(block, names_, chanals));
    source_->setText(Q(source));
    openText_->setVisible(downloaded);
    // Shown first: the plot lays its axis labels out for the size it has.
    show();
    raise();
    activateWindow();
    FillTable();
    FillPlot();
}

void ArchiveWindow::FillTable()
{
    const std::vector<int>& used = archive_->Slots();
    const std::vector<ArchiveRecord>& records = archive_->Records();
    table_->clear();
    table_->setColumnCount(2 + static_cast<int>(used.size()));
    table_->setRowCount(static_cast<int>(records.size()));
    QStringList headers{QStringLiteral("№"), QStringLiteral("Дата и время")};
    for (int k : used)
        headers << Q(archive_->SlotHeader(k));
    table_->setHorizontalHeaderLabels(headers);
    const std::string separator = DecimalSeparator();
    for (int row = 0; row < static_cast<int>(records.size()); ++row) {
        const ArchiveRecord& r = records[row];
        const auto set = [&](int col, const std::string& text) {
            auto* item = new QTableWidgetItem(Q(text));
            if (col != 1)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table_->setItem(row, col, item);
        };
        set(0, std::to_string(r.number));
        set(1, r.DateText() + " " + r.TimeText().substr(0, 5));
        for (size_t i = 0; i < used.size(); ++i)
            set(2 + static_cast<int>(i), ArchiveTable::ValueText(r, used[i], separator));
    }
    table_->resizeColumnsToContents();
}

void ArchiveWindow::FillPlot()
{
    std::vector<TimePlot::Line> lines;
    for (int k : archive_->Slots()) {
        TimePlot::Line line{Q(archive_->SlotHeader(k)).replace('\n', QStringLiteral(", ")), {}};
        for (const ArchiveRecord& r : archive_->Records()) {
            const QDateTime t = ArchiveTable::Time(r);
            if (!t.isValid())
                continue;
            const bool valid = !r.IsEmptySlot(k) && std::fabs(r.values[k]) < 999999;
            line.points.emplace_back(static_cast<double>(t.toMSecsSinceEpoch()),
                                     valid ? r.values[k] : std::numeric_limits<double>::quiet_NaN());
        }
        // The instrument writes its archive round and round: by time, not
        // by place in the block.
        std::stable_sort(line.points.begin(), line.points.end(),
                         [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
        lines.push_back(line);
    }
    plot_->SetLines(lines);
}

bool ArchiveWindow::ExportCsv(const std::string& path)
{
    if (!archive_)
        return false;
    const std::string text = archive_->CsvText(DecimalSeparator());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (out.fail()) {
        Message("Не удалось записать файл\n" + path);
        return false;
    }
    return true;
}

void ArchiveWindow::ChooseExportFile()
{
    const QString base = QFileInfo(source_->text()).completeBaseName();
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Экспорт в CSV"),
                                                      base.isEmpty() ? QString() : base + QStringLiteral(".csv"),
                                                      QStringLiteral("CSV (*.csv)"));
    if (!path.isEmpty())
        ExportCsv(path.toStdString());
}

void ArchiveWindow::Message(const std::string& text)
{
    MyMessageBox(isVisible() ? this : parentWidget(), text, kCaption, MB_OK | MB_ICONERROR, kCaption);
}
