#include "uFormOpros.h"

#include <QCoreApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

AddressFlags Flags(std::initializer_list<unsigned> addresses)
{
    AddressFlags f;
    for (unsigned a : addresses)
        f.set(a);
    return f;
}

AddressFlags Range(unsigned first, unsigned last)
{
    AddressFlags f;
    for (unsigned a = first; a <= last; ++a)
        f.set(a);
    return f;
}

std::string Text(const QLineEdit* e)
{
    return e->text().toStdString();
}

} // namespace

TEST(AddressSet, Reading)
{
    struct Case {
        const char* text;
        AddressFlags expected;
    } const cases[] = {
        {"1-3 5 7-8", Flags({1, 2, 3, 5, 7, 8})},
        {"10-5", Flags({10})},
        {"1,2", Flags({1})},
        {"300", Flags({})},
        {"", Flags({})},
        {"   ", Flags({})},
        {" 1 - 3", Flags({1, 2, 3})},
        {"1\t2\n3", Flags({1, 2, 3})},
        {"0", Flags({})},
        {"0-2", Flags({1, 2})},
        {"250-300", Range(250, 255)},
        {"1-127", Range(1, 127)},
        {"-5 3", Flags({})},
        {"4 1-", Flags({1, 4})},
        {"3 x 4", Flags({3})},
        {"2-4-6", Flags({2, 3, 4})},
        {"99999999999 4", Flags({})},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseAddressSet(c.text), c.expected) << '"' << c.text << '"';
}

TEST(AddressSet, WritingAndReadingBack)
{
    struct Case {
        AddressFlags flags;
        const char* expected;
    } const cases[] = {
        {Flags({1, 2, 3, 5, 7, 8}), "1-3 5 7-8"},
        {Flags({}), ""},
        {Flags({255}), "255"},
        {Flags({1, 2}), "1-2"},
        {Flags({1, 3}), "1 3"},
        {Flags({254, 255}), "254-255"},
        {Range(1, 255), "1-255"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatAddressSet(c.flags), c.expected);
        EXPECT_EQ(ParseAddressSet(FormatAddressSet(c.flags)), c.flags) << c.expected;
    }
}

class FormOprosTest : public ::testing::Test {
protected:
    // The search over 1..3, 5 and 10, as the main window lists it.
    void PrepareSmallSearch()
    {
        form_.PrepareSearch({10, 5, 3, 2, 1});
        form_.Edit3->setText(QStringLiteral("1-3 5 10"));
    }

    std::vector<std::string> Fields() const
    {
        return {Text(form_.Edit1), Text(form_.Edit2), Text(form_.Edit3), Text(form_.Edit4), Text(form_.Edit5),
                std::to_string(form_.ProgressBar1->value())};
    }

    // Runs the window modally with action queued; a window that does not end
    // reports 99 after several seconds.
    int RunModal(std::function<void()> action)
    {
        QTimer::singleShot(0, &form_, std::move(action));
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &form_, [this] { form_.done(99); });
        guard.start(5000);
        return form_.exec();
    }

    TFormOpros form_;
};

TEST_F(FormOprosTest, LooksAsDesigned)
{
    EXPECT_EQ(form_.windowTitle().toStdString(), "Поиск по адрессам");
    const std::vector<std::pair<QLabel*, const char*>> labels = {
        {form_.Label1, "Адресс:"},  {form_.Label2, "Опрошено:"},    {form_.Label3, "Осталось:"},
        {form_.Label4, "Ответили:"}, {form_.Label5, "Не ответили:"}, {form_.Label6, "Переменная"},
    };
    for (const auto& [label, text] : labels)
        EXPECT_EQ(label->text().toStdString(), text);
    EXPECT_EQ(form_.Button1->text().toStdString(), "Прервать");
    // "Ответили:" is the third row, "Осталось:" the fourth.
    EXPECT_LT(form_.Edit4->y(), form_.Edit3->y());
    EXPECT_TRUE(form_.Edit2->isReadOnly());
    EXPECT_TRUE(form_.Edit1->font().bold());
    EXPECT_EQ(form_.ProgressBar2->maximum(), 1000);
    EXPECT_EQ(form_.size(), QSize(523, 256));
    EXPECT_EQ(form_.minimumSize(), form_.maximumSize());
    EXPECT_TRUE(form_.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form_.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
}

TEST_F(FormOprosTest, PrepareSearchStartsAfresh)
{
    form_.UpdateProgress(7, true);
    form_.PrepareSearch({10, 5, 3, 2, 1});
    EXPECT_EQ(Fields(), (std::vector<std::string>{"", "", "", "", "", "0"}));
    EXPECT_EQ(form_.ProgressBar1->maximum(), 5);
}

TEST_F(FormOprosTest, AnAnsweredAddressMovesFromLeftToPolledAndAnswered)
{
    PrepareSmallSearch();
    form_.UpdateProgress(10, true);
    EXPECT_EQ(Fields(), (std::vector<std::string>{"0A", "10", "1-3 5", "10", "", "5"}));
}

TEST_F(FormOprosTest, ProgressFollowsTheSearchUpwards)
{
    PrepareSmallSearch();
    const struct Step {
        unsigned slave;
        bool answered;
        std::vector<std::string> fields;
    } steps[] = {
        {1, false, {"01", "1", "2-3 5 10", "", "1", "1"}},
        {2, true, {"02", "1-2", "3 5 10", "2", "1", "2"}},
        {3, false, {"03", "1-3", "5 10", "2", "1 3", "3"}},
        // Not in the list (the polling between searches): progress 0.
        {7, true, {"07", "1-3 7", "5 10", "2 7", "1 3", "0"}},
        {255, false, {"FF", "1-3 7 255", "5 10", "2 7", "1 3 255", "0"}},
    };
    for (const Step& s : steps) {
        form_.UpdateProgress(s.slave, s.answered);
        EXPECT_EQ(Fields(), s.fields) << "after " << s.slave;
    }
}

TEST_F(FormOprosTest, AddressesOutsideTheNetworkChangeNothing)
{
    PrepareSmallSearch();
    form_.UpdateProgress(2, true);
    const auto before = Fields();
    form_.UpdateProgress(300, true);
    form_.UpdateProgress(0, false);
    form_.UpdateProgress(256, false);
    EXPECT_EQ(Fields(), before);
}

TEST_F(FormOprosTest, HelperWritesTheNormalisedSetBack)
{
    form_.Edit2->setText(QStringLiteral(" 5 1-3 0 x"));
    {
        Hlpr h(form_.Edit2);
        EXPECT_EQ(h.Flags(), Flags({1, 2, 3, 5}));
        h.Set(4);
        h.Set(2, false);
    }
    EXPECT_EQ(Text(form_.Edit2), "1 3-5");
}

TEST_F(FormOprosTest, TheCloseButtonEndsTheSearchAsButton1Does)
{
    EXPECT_EQ(RunModal([this] { form_.close(); }), QDialog::Accepted);
    EXPECT_FALSE(form_.isVisible());
    EXPECT_EQ(RunModal([this] { form_.Button1->click(); }), QDialog::Accepted);
    // Escape is no way out: the window has no cancel button.
    EXPECT_EQ(RunModal([this] {
                  QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                  QCoreApplication::sendEvent(&form_, &esc);
                  if (form_.isVisible())
                      form_.Button1Click();
              }),
              QDialog::Accepted);
}
