// The main window's commands through their prompts and boxes: what they
// accept, what they complain about, what they leave in the engine's task
// list, and the single-channel windows of the table's context menu. Where a
// command talks to an instrument, a scripted one behind COM1 answers.
#include "wtest_commands.h"

#include "VCLUtils/DrawGridCell.h"
#include "VCLUtils/StringGrid.h"
#include "uFormChanal.h"
#include "uFormOpros.h"

#include <QAction>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>

#include <algorithm>
#include <set>

namespace commands_test {
namespace {

using engine_test::Bytes;
using engine_test::ScriptedInstrument;
using engine_test::WithCrc;

const char kAddressCaption[] = "Запрос значения";
const char kAddressPrompt[] = "Введите сетевой адрес прибора в диапазоне 1..127";
const char kSearchCaption[] = "Поиск по адрессам";
const char kSearchPrompt[] = "Введите диапазон адрессов";
const char kCorrectionPrompt[] = "Введите поправку нулевых показаний";

std::string BadAddress(const std::string& word) { return "Некорректный ввод сетевого адресса: \"" + word + "\"!"; }

// ---- change of address ------------------------------------------------------

TEST_F(CommandsTest, AddressPromptRepeatsUntilAValidAddressAndThenReinitialises)
{
    TForm1& f = Form();
    ModalScript user;
    user.Enter("128").Ok().Enter("abc").Ok().Enter(" 12 x");
    f.N7->trigger();

    // The first prompt shows the current address, a repeated one the entry
    // that was turned down.
    const std::vector<Seen> expected = {
        Input(kAddressCaption, kAddressPrompt, "1"),   Message(BadAddress("128")),
        Input(kAddressCaption, kAddressPrompt, "128"), Message(BadAddress("abc")),
        Input(kAddressCaption, kAddressPrompt, "abc"),
    };
    EXPECT_EQ(user.Result(), expected);
    EXPECT_TRUE(user.Finished());
    EXPECT_EQ(f.Address(), 12);
    EXPECT_EQ(f.Label8->text().toStdString(), "12");
    // The polling starts over from the instrument's channel list.
    EXPECT_EQ(QueuedTaskKinds(), std::vector<std::string>{"InitializeDevice"});
}

// Each entry at a fresh prompt: an accepted one becomes the address; a
// rejected one is named in the complaint (blanks count as nothing), the
// prompt comes back with it, and the address stays.
TEST_F(CommandsTest, AddressEntriesAcceptedAndRejected)
{
    TForm1& f = Form();
    const struct {
        const char* entry;
        int address; // 0: rejected
        const char* named;
    } cases[] = {
        {"+5", 5, ""},    {"127", 127, ""},  {"1\tzwei", 1, ""}, {" 12 x", 12, ""}, {"128", 0, "128"},
        {"0", 0, "0"},    {"abc", 0, "abc"}, {"", 0, ""},        {"   ", 0, ""},    {"0x10", 0, "0x10"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        const int before = f.Address();
        ModalScript user;
        user.Enter(c.entry);
        if (!c.address)
            user.Ok().Cancel();
        f.N7Click();
        if (c.address) {
            EXPECT_EQ(user.Result().size(), 1u);
            EXPECT_EQ(f.Address(), c.address);
            EXPECT_EQ(f.Label8->text().toStdString(), std::to_string(c.address));
        } else {
            ASSERT_EQ(user.Result().size(), 3u);
            EXPECT_EQ(user.Result()[1], Message(BadAddress(c.named)));
            EXPECT_EQ(user.Result()[2], Input(kAddressCaption, kAddressPrompt, c.entry));
            EXPECT_EQ(f.Address(), before);
        }
    }
}

TEST_F(CommandsTest, CancelledAddressPromptChangesNothing)
{
    TForm1& f = Form();
    f.UpdateChanals({Chanal(0, 2)});
    ModalScript user;
    user.Enter("300").Ok().Cancel();
    f.N7Click();

    EXPECT_EQ(user.Result().size(), 3u);
    EXPECT_TRUE(user.Finished());
    EXPECT_EQ(f.Address(), 1);
    EXPECT_EQ(f.Label8->text().toStdString(), "1");
    EXPECT_FALSE(TransferManagerT::Instance().IsThreadRunning());
    EXPECT_EQ(QueuedTaskKinds(), std::vector<std::string>{"ReadChanal"});
}

// ---- zero correction --------------------------------------------------------

TEST_F(CommandsTest, CorrectionPromptRepeatsEmptyUntilANumberAndQueuesTheCommandFirst)
{
    TForm1& f = Form();
    f.UpdateChanals({Chanal(0, 2), Chanal(1, 2)});
    ModalScript user;
    user.Enter("0,5 ").Ok().Enter("").Ok().Enter("1e").Ok().Enter("0,5");
    f.N9->trigger();

    const Seen prompt = Input(kAddressCaption, kCorrectionPrompt, "");
    const std::vector<Seen> expected = {prompt, Message("Некорректный ввод: \"0,5 \"!"),
                                        prompt, Message("Некорректный ввод: \"\"!"),
                                        prompt, Message("Некорректный ввод: \"1e\"!"),
                                        prompt};
    EXPECT_EQ(user.Result(), expected);
    // In front of the polling, which goes on behind it.
    EXPECT_EQ(QueuedTaskKinds(), (std::vector<std::string>{"Send", "ReadChanal", "ReadChanal"}));

    ModalScript again;
    again.Enter("-0.5e1");
    f.N9Click();
    EXPECT_EQ(again.Result(), std::vector<Seen>{prompt});
    EXPECT_EQ(QueuedTaskKinds(), std::vector<std::string>{"Send"});

    ModalScript cancel;
    cancel.Cancel();
    f.N9Click();
    EXPECT_EQ(cancel.Result(), std::vector<Seen>{prompt});
    EXPECT_FALSE(TransferManagerT::Instance().IsThreadRunning());
    EXPECT_TRUE(QueuedTaskKinds().empty());
}

// 999999 and FF FF FF FF mean "no value" to the instrument: a correction
// that would come out as either is refused like any other bad entry.
TEST_F(CommandsTest, CorrectionPromptRefusesWhatTheBcdFormatCannotCarry)
{
    TForm1& f = Form();
    ModalScript user;
    user.Enter("999999").Ok().Enter("-999998,7").Ok().Enter("1e7").Ok().Enter("999998,4");
    f.N9Click();

    const Seen prompt = Input(kAddressCaption, kCorrectionPrompt, "");
    const std::vector<Seen> expected = {prompt, Message("Некорректный ввод: \"999999\"!"),
                                        prompt, Message("Некорректный ввод: \"-999998,7\"!"),
                                        prompt, Message("Некорректный ввод: \"1e7\"!"),
                                        prompt};
    EXPECT_EQ(user.Result(), expected);
    EXPECT_EQ(QueuedTaskKinds(), std::vector<std::string>{"Send"});
}

TEST_F(CommandsTest, ArchiveIsQueuedInFrontOfThePolling)
{
    TForm1& f = Form();
    f.UpdateChanals({Chanal(0, 2)});
    f.N2->trigger();
    EXPECT_EQ(QueuedTaskKinds(), (std::vector<std::string>{"ReadArchive", "ReadChanal"}));
}

// ---- address search ---------------------------------------------------------

// A line of instruments at the given addresses: each reads zeros from every
// register it is asked for.
Bytes AnswerAt(const std::set<uint8_t>& addresses, const Bytes& request)
{
    if (request.size() < 8 || !addresses.count(request[0]) || request[1] != 0x03)
        return {};
    const unsigned count = request[4] << 8 | request[5];
    Bytes answer{request[0], 0x03, static_cast<uint8_t>(2 * count)};
    answer.resize(answer.size() + 2 * count, 0);
    return WithCrc(answer);
}

// What the progress window holds when it appears, before any answer.
class ShownSearch : public QObject {
public:
    explicit ShownSearch(TFormOpros* w) : w_(w) { w_->installEventFilter(this); }
    ~ShownSearch() override { w_->removeEventFilter(this); }

    std::string edit1, edit3;
    int progressMax = -1;

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (o == w_ && e->type() == QEvent::Show) {
            edit1 = w_->Edit1->text().toStdString();
            edit3 = w_->Edit3->text().toStdString();
            progressMax = w_->ProgressBar1->maximum();
        }
        return false;
    }

private:
    TFormOpros* const w_;
};

std::string Summary(const char* polled, const char* answered, const char* silent)
{
    return std::string("Поиск по адресам завершён.\nОпрошено\t-\t") + polled + ".\nОтветили\t-\t" + answered +
           ".\nНе ответили\t-\t" + silent + ".\n";
}

TEST_F(CommandsTest, SearchAsksTheMarkedAddressesAndSumsUp)
{
    ScriptedInstrument line([](const Bytes& r) { return AnswerAt({1, 3, 7}, r); });
    struct Case {
        const char* entry;
        std::vector<uint8_t> asked; // empty: rejected
        const char* marked;
        std::string outcome; // the summary or the input error
    };
    const Case cases[] = {
        {"1-3 5 7-8", {1, 2, 3, 5, 7, 8}, "1-3 5 7-8", Summary("1-3 5 7-8", "1 3 7", "2 5 8")},
        {"10-5", {10}, "10", Summary("10", "...", "10")},
        {"300", {}, "", "Не корректные данные \"300\" в поле \"диапазон адресов\"!"},
        {"1,2", {1}, "1", Summary("1", "1", "...")},
        {"", {}, "", "Отсутствуют данные в поле \"диапазон адресов\"!"},
    };
    TForm1& f = Form();
    std::string remembered = "1-127";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        const size_t before = line.Requests().size();
        ShownSearch shown(FormOpros);
        ModalScript user;
        user.Enter(c.entry);
        if (!c.asked.empty())
            user.InterruptSearchWhen([&] {
                return FormOpros->Edit2->text().toStdString() == c.marked && FormOpros->Edit3->text().isEmpty();
            });
        user.Ok();
        f.N5->trigger();

        std::vector<Seen> expected{Input(kSearchCaption, kSearchPrompt, remembered)};
        if (c.asked.empty()) {
            expected.push_back(InputError(c.outcome));
        } else {
            expected.push_back(Seen{"search", "", "", "", {}, {}});
            expected.push_back(Message(c.outcome));
            EXPECT_EQ(shown.edit1, c.marked);
            EXPECT_EQ(shown.edit3, c.entry);
            EXPECT_EQ(shown.progressMax, static_cast<int>(c.asked.size()));
        }
        EXPECT_EQ(user.Result(), expected);

        const std::vector<Bytes> requests = line.Requests();
        std::vector<uint8_t> asked;
        for (size_t i = before; i < requests.size(); ++i)
            asked.push_back(requests[i].at(0));
        // A silent address may be asked more than once in a row.
        asked.erase(std::unique(asked.begin(), asked.end()), asked.end());
        EXPECT_EQ(asked, c.asked);
        // Whatever was entered is offered next time, also when rejected.
        remembered = c.entry;
    }
    EXPECT_EQ(f.Address(), 1);
}

TEST_F(CommandsTest, CancelledSearchLeavesThePollingAlone)
{
    TForm1& f = Form();
    f.UpdateChanals({Chanal(0, 2)});
    ModalScript user;
    user.Cancel();
    f.N5Click();
    EXPECT_EQ(user.Result(), std::vector<Seen>{Input(kSearchCaption, kSearchPrompt, "1-127")});
    EXPECT_FALSE(TransferManagerT::Instance().IsThreadRunning());
    EXPECT_EQ(QueuedTaskKinds(), std::vector<std::string>{"ReadChanal"});

    // Cancel keeps the range as it was.
    ModalScript next;
    next.Cancel();
    f.N5Click();
    EXPECT_EQ(next.Result(), std::vector<Seen>{Input(kSearchCaption, kSearchPrompt, "1-127")});
}

// ---- context menu and single-channel windows --------------------------------

class DetailTest : public CommandsTest {
protected:
    void SetUp() override
    {
        CommandsTest::SetUp();
        TForm1& f = Form();
        f.resize(1200, 700);
        f.UpdateChanals({Chanal(0, 2), Chanal(1, 1)});
        TakeQueuedTasks();
        // Lays the hidden window out, so that the cells have their places.
        f.grab();
    }

    // The menu opened with the mouse over the cell, or over no cell.
    void OpenMenuOver(int col, int row)
    {
        TForm1& f = Form();
        QWidget* vp = f.grd1->viewport();
        if (col < 0) {
            QEvent leave(QEvent::Leave);
            QCoreApplication::sendEvent(f.grd1, &leave);
        } else {
            const QPoint at = f.grd1->CellRect(col, row).center();
            QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(at), QPointF(vp->mapToGlobal(at)), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(vp, &move);
        }
        f.PopupMenu1->popup(vp->mapToGlobal(QPoint(5, 5)));
        f.PopupMenu1->hide();
    }

    static std::vector<TFormChanal*> DetailWindows()
    {
        std::vector<TFormChanal*> windows;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = dynamic_cast<TFormChanal*>(w); d && d->isVisible())
                windows.push_back(d);
        return windows;
    }
};

TEST_F(DetailTest, ItemShowsOnlyOverAChanalColumnAndNamesItsQuantity)
{
    TForm1& f = Form();
    const struct {
        int col, row;
        bool visible;
        const char* caption;
    } cases[] = {
        {1, 4, true, "Показать отдельно CO"}, {0, 2, false, nullptr},
        {2, 0, true, "Показать отдельно CH4"}, {-1, -1, false, nullptr},
    };
    for (const auto& c : cases) {
        OpenMenuOver(c.col, c.row);
        EXPECT_EQ(f.menuShowDetail->isVisible(), c.visible) << c.col;
        if (c.caption) {
            EXPECT_EQ(f.menuShowDetail->text().toStdString(), c.caption) << c.col;
        }
    }
    // A hidden item that is triggered nonetheless opens nothing.
    f.menuShowDetail->trigger();
    EXPECT_TRUE(DetailWindows().empty());
}

TEST_F(DetailTest, OneWindowPerChanalThatFollowsItsValuesUntilClosed)
{
    TForm1& f = Form();
    OpenMenuOver(2, 3);
    f.menuShowDetail->trigger();
    ASSERT_EQ(DetailWindows().size(), 1u);
    QPointer<TFormChanal> first = DetailWindows()[0];
    EXPECT_EQ(first->Label1->text().toStdString(), "CH4");
    EXPECT_EQ(first->Label2->text().toStdString(), "...");
    EXPECT_EQ(first->Tag(), 1);

    OpenMenuOver(2, 1);
    f.menuShowDetail->trigger();
    EXPECT_EQ(DetailWindows(), std::vector<TFormChanal*>{first.data()});

    f.UpdateChanalValue(1, 12.5);
    f.UpdateChanalValue(0, 99);
    while (f.ShowNextFrame()) {
    }
    EXPECT_EQ(first->Label2->text().toStdString(), TForm1::FormatValue(12.5));

    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    f.UpdateChanalValue(1, 1); // nothing left to write into
    while (f.ShowNextFrame()) {
    }

    f.menuShowDetail->trigger();
    const std::vector<TFormChanal*> reopened = DetailWindows();
    ASSERT_EQ(reopened.size(), 1u);
    EXPECT_EQ(reopened[0]->Label2->text().toStdString(), "...");

    // Another channel gets a window of its own.
    OpenMenuOver(1, 2);
    f.menuShowDetail->trigger();
    EXPECT_EQ(DetailWindows().size(), 2u);
}

} // namespace
} // namespace commands_test
