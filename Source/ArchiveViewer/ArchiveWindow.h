#pragma once

#include "DevSys/task_.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class ArchiveTable;
class QLabel;
class QPushButton;
class QTableWidget;
class ThisModule;
class TimePlot;

// "Архив": the valid records of an archive block as a table and a plot of
// its slots over the archive's time, with export to CSV. After a download
// it also opens "archive.txt" with the desktop's program; a block read from
// a saved file is shown offline.
class ArchiveWindow : public QWidget {
    Q_OBJECT
public:
    // textFile: the "archive.txt" written with the block; names: the
    // catalogue that names the quantities.
    ArchiveWindow(std::string textFile, const ThisModule& names, QWidget* parent = nullptr);
    ~ArchiveWindow() override;

    // A block just downloaded, with the channel list the table knew then;
    // source names the copy it was saved to.
    void ShowDownload(const std::string& block, const std::string& source, const ModbusChanals& chanals);
    // A saved archive. A file that cannot be read or is not 9800 bytes long
    // gets a message, and the window stays as it was: false then.
    bool OpenFile(const std::string& path);
    // Writes the CSV of what is shown; a message and false on failure.
    bool ExportCsv(const std::string& path);

    QTableWidget* Table() const { return table_; }
    TimePlot* Plot() const { return plot_; }
    QPushButton* OpenTextButton() const { return openText_; }
    QPushButton* ExportButton() const { return export_; }

private:
    void Show(const std::string& block, const std::string& source, const ModbusChanals& chanals, bool downloaded);
    void FillTable();
    void FillPlot();
    void ChooseExportFile();
    void Message(const std::string& text);

    std::string textFile_;
    const ThisModule& names_;
    std::unique_ptr<ArchiveTable> archive_;
    QLabel* source_;
    QTableWidget* table_;
    TimePlot* plot_;
    QPushButton* export_;
    QPushButton* openText_;
};
