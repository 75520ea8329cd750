#include "TestUtils.h"

#include "Excpt/MyExeption.h"
#include "VCLUtils/MySynchronize.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

// Synchronous calls made on the main thread itself, and the call adapters.
// Calls from workers are in wtest_threads_sync.cpp.

namespace {

struct Seen {
    my::ThreadId thread = 0;
    bool inSendMessage = true;
    const std::string* textAddress = nullptr;
    std::string text;
};
Seen seen;

std::int32_t Record(void* arg)
{
    seen.thread = my::CurrentThreadId();
    seen.inSendMessage = my::InSendMessage();
    return *static_cast<int*>(arg) * 2;
}

std::int32_t RecordText(const std::string& text)
{
    seen.textAddress = &text;
    seen.text = text;
    return static_cast<std::int32_t>(text.size());
}

std::int32_t Fail(void*) { throw PMyExcpt(new MyException(FILE_LINE, "failed on the main thread")); }

// A receiver of a two-argument report, as the transfer manager's.
struct Reporter {
    unsigned code = 0;
    std::string text;
    const std::string* textAddress = nullptr;
    bool Report(unsigned c, const std::string& t)
    {
        code = c;
        text = t;
        textAddress = &t;
        return c != 0;
    }
    void Note(unsigned c, const std::string&) { code = c; }
};

} // namespace

TEST(DirectCallTest, RunsAtOnceOnTheMainThread)
{
    seen = Seen();
    int value = 21;
    EXPECT_EQ(my::Synchronize(&Record, &value), 42);
    EXPECT_EQ(seen.thread, my::CurrentThreadId());
    EXPECT_TRUE(my::IsMainThread());
    bool otherIsMain = true;
    std::thread([&otherIsMain] { otherIsMain = my::IsMainThread(); }).join();
    EXPECT_FALSE(otherIsMain);
    // Not served for another thread.
    EXPECT_FALSE(seen.inSendMessage);
    EXPECT_FALSE(my::InSendMessage());
}

TEST(DirectCallTest, ExceptionsReachTheCaller)
{
    try {
        my::Synchronize(&Fail, nullptr);
        FAIL() << "no exception";
    } catch (const PMyExcpt& e) {
        EXPECT_EQ(e->Message(), "failed on the main thread");
    }
}

TEST(DirectCallTest, ResultsOfCallables)
{
    EXPECT_EQ(my::Synchronize([] { return true; }), 1);
    EXPECT_EQ(my::Synchronize([] { return false; }), 0);
    int runs = 0;
    EXPECT_EQ(my::Synchronize([&runs] { ++runs; }), 0);
    EXPECT_EQ(runs, 1);
    const auto constant = [] { return -7; };
    EXPECT_EQ(my::Synchronize(constant), -7);
}

TEST(AdapterTest, TextCallGetsACopyMadeWhenTheAdapterWasBuilt)
{
    seen = Seen();
    std::string text = "Опрос: старт";
    my::AdptCall1 call(&RecordText, text);
    text = "changed";
    EXPECT_EQ(my::Synchronize(call), static_cast<std::int32_t>(std::string("Опрос: старт").size()));
    EXPECT_EQ(seen.text, "Опрос: старт");

    EXPECT_EQ(my::Synchronize(&RecordText, text), 7);
    EXPECT_EQ(seen.text, "changed");
    EXPECT_NE(seen.textAddress, &text);
}

TEST(AdapterTest, MethodCallGetsCopiesOfBothArguments)
{
    Reporter reporter;
    unsigned code = 3;
    std::string text = "Ошибка приёмопередачи";
    my::AdptCall2 call(reporter, &Reporter::Report, code, text);
    code = 0;
    text = "changed";
    EXPECT_EQ(my::Synchronize(call), 1);
    EXPECT_EQ(reporter.code, 3u);
    EXPECT_EQ(reporter.text, "Ошибка приёмопередачи");
    EXPECT_NE(reporter.textAddress, &text);

    // A method returning nothing gives 0; the one-pointer form works too.
    my::AdptCall2 note(reporter, &Reporter::Note, 5u, std::string("x"));
    EXPECT_EQ(my::Synchronize(&decltype(note)::Call, &note), 0);
    EXPECT_EQ(reporter.code, 5u);
}

TEST(ModuleDeathTest, FirstUseMustBeOnTheMainThread)
{
    ThreadsafeDeathTests style;
    // The child runs only this test, so the module is new there.
    EXPECT_DEATH(
        {
            std::thread worker([] { ModuleImpl::Instance(); });
            worker.join();
        },
        "IsProcessMainThread");
}
