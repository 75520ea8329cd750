#pragma once

#include "UserEntries/AddressEntries.h"

#include <boost/noncopyable.hpp>

#include <QDialog>

#include <cstdint>
#include <string>
#include <vector>

class QCloseEvent;
class QFrame;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// Binds an address-set field to flags for a moment: reads the field when
// created, writes the flags back in the normalised notation when destroyed.
class Hlpr : boost::noncopyable {
public:
    explicit Hlpr(QLineEdit* edit);
    ~Hlpr();

    AddressFlags& Flags() { return flags_; }
    void Set(unsigned address, bool value = true);

private:
    QLineEdit* const edit_;
    AddressFlags flags_;
};

// The progress window of the address search. One per program run: the main
// window creates it and deletes it; it is shown modally only while a search
// runs, and every finished exchange updates it also between searches.
class TFormOpros : public QDialog {
public:
    explicit TFormOpros(QWidget* owner = nullptr);
    ~TFormOpros() override;

    // The addresses of a search, in the descending order the search keeps
    // them; resets the progress and empties the fields.
    void PrepareSearch(const std::vector<uint8_t>& addrsDescending);
    // One finished exchange with a slave; addresses outside 1..255 are ignored.
    void UpdateProgress(unsigned slave, bool answered);
    void Button1Click();

    QFrame* pnOpros;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QLineEdit* Edit3;
    QLineEdit* Edit4;
    QLineEdit* Edit5;
    QLineEdit* Edit6;
    QProgressBar* ProgressBar1;
    QProgressBar* ProgressBar2;
    QPushButton* Button1;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLineEdit* AddRow(int top, const char* labelName, const char* caption, const char* editName, QLabel*& label);
    int SearchPosition(unsigned slave) const;

    std::vector<uint8_t> addrs_; // descending
};

extern TFormOpros* FormOpros;
