#include "uFormOpros.h"

#include "Excpt/MyAssert.h"
#include "VCLUtils/MyStrUtils.h"

#include <QCloseEvent>
#include <QFont>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

TFormOpros* FormOpros = nullptr;

// ---- address sets -----------------------------------------------------------

Hlpr::Hlpr(QLineEdit* edit) : edit_(edit), flags_(ParseAddressSet(edit->text().toStdString())) {}

// Every finished exchange passes here, searching or not: an edit whose
// text stays is left alone.
Hlpr::~Hlpr()
{
    const QString text = QString::fromStdString(FormatAddressSet(flags_));
    if (edit_->text() != text)
        edit_->setText(text);
}

void Hlpr::Set(unsigned address, bool value)
{
    if (address < flags_.size())
        flags_.set(address, value);
}

// ---- the window ---------------------------------------------------------------

namespace {

const QColor kNavy(0, 0, 128);
const int kLabelLeft = 8;
const int kLabelWidth = 92;
const int kEditLeft = 104;
const int kEditWidth = 376;
const int kRowHeight = 21;

// Counts windows alive rather than created: the program makes one at a time
// by its single main window, and test programs make one main window after
// another.
int instanceCount = 0;

QLabel* NewLabel(QWidget* parent, const char* name, const char* caption, int top)
{
    auto* label = new QLabel(QString::fromUtf8(caption), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(kLabelLeft, top, kLabelWidth, kRowHeight);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, kNavy);
    label->setPalette(pal);
    return label;
}

QLineEdit* NewEdit(QWidget* parent, const char* name, int top)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(kEditLeft, top, kEditWidth, kRowHeight);
    edit->setReadOnly(true);
    edit->setFrame(false);
    return edit;
}

QProgressBar* NewProgressBar(QWidget* parent, const char* name, int top)
{
    auto* bar = new QProgressBar(parent);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setGeometry(8, top, 473, 16);
    bar->setTextVisible(false);
    bar->setRange(0, 100);
    bar->setValue(0);
    return bar;
}

} // namespace

TFormOpros::TFormOpros(QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint)
{
    MY_ASSERT_M(instanceCount == 0, "FormOpros==NULL");
    ++instanceCount;
    setObjectName(QStringLiteral("FormOpros"));
    setWindowTitle(QString::fromUtf8("Поиск по адрессам"));
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(13);
    setFont(f);
    setFixedSize(523, 256);

    pnOpros = new QFrame(this);
    pnOpros->setObjectName(QStringLiteral("pnOpros"));
    pnOpros->setFrameShape(QFrame::NoFrame);
    pnOpros->setGeometry(8, 8, 497, 241);

    Edit1 = AddRow(3, "Label1", "Адресс:", "Edit1", Label1);
    Edit2 = AddRow(27, "Label2", "Опрошено:", "Edit2", Label2);
    Edit4 = AddRow(51, "Label4", "Ответили:", "Edit4", Label4);
    Edit3 = AddRow(75, "Label3", "Осталось:", "Edit3", Label3);
    Edit5 = AddRow(99, "Label5", "Не ответили:", "Edit5", Label5);
    Edit6 = AddRow(123, "Label6", "Переменная", "Edit6", Label6);
    QFont bold = Edit1->font();
    bold.setBold(true);
    Edit1->setFont(bold);

    ProgressBar1 = NewProgressBar(pnOpros, "ProgressBar1", 153);
    ProgressBar2 = NewProgressBar(pnOpros, "ProgressBar2", 177);
    ProgressBar2->setRange(0, 1000);

    Button1 = new QPushButton(QString::fromUtf8("Прервать"), pnOpros);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(8, 208, 99, 25);
    Button1->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

TFormOpros::~TFormOpros()
{
    --instanceCount;
}

QLineEdit* TFormOpros::AddRow(int top, const char* labelName, const char* caption, const char* editName,
                              QLabel*& label)
{
    label = NewLabel(pnOpros, labelName, caption, top);
    return NewEdit(pnOpros, editName, top);
}

void TFormOpros::PrepareSearch(const std::vector<uint8_t>& addrsDescending)
{
    addrs_ = addrsDescending;
    ProgressBar1->setRange(0, static_cast<int>(addrs_.size()));
    ProgressBar1->setValue(0);
    for (QLineEdit* edit : {Edit1, Edit2, Edit3, Edit4, Edit5})
        edit->clear();
}

// The list is descending and the search goes upwards, so the entries from
// the slave's place to the end are the addresses tried so far.
int TFormOpros::SearchPosition(unsigned slave) const
{
    const auto itr = std::find(addrs_.begin(), addrs_.end(), slave);
    return itr == addrs_.end() ? 0 : static_cast<int>(addrs_.end() - itr);
}

void TFormOpros::UpdateProgress(unsigned slave, bool answered)
{
    if (slave == 0 || slave > 255)
        return;
    const QString hex = QString::fromStdString(my::Format("%02X", slave));
    if (Edit1->text() != hex)
        Edit1->setText(hex);
    Hlpr polled(Edit2);
    Hlpr left(Edit3);
    Hlpr result(answered ? Edit4 : Edit5);
    polled.Set(slave);
    left.Set(slave, false);
    result.Set(slave);
    ProgressBar1->setValue(SearchPosition(slave));
}

void TFormOpros::Button1Click()
{
    done(QDialog::Accepted);
}

// The close button ends the search as "Прервать" does: the results are
// reported either way.
void TFormOpros::closeEvent(QCloseEvent* event)
{
    if (isVisible())
        Button1Click();
    event->accept();
}

// Escape would reject the dialog; the window has no cancel button to press.
void TFormOpros::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
