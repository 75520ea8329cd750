#include "EngineTestSupport.h"

#include "BusStats/BusStats.h"
#include "Excpt/MyExeption.h"
#include "ProgramFiles.h"
#include "VCLUtils/IniFile.h"

#include <gtest/gtest.h>

#include <string>

using namespace engine_test;

namespace {

// Reads registers 0 and 1 of an address count times on the worker,
// keeping every failure to itself.
class ReadTimes : public MyAbstructTransfer {
public:
    ReadTimes(uint8_t address, int count) : address_(address), count_(count) {}
    bool BeforeTransfer() override { return true; }
    bool AfterTransfer() override { return false; }
    void DoTransfer() override
    {
        const uint8_t data[] = {0x00, 0x00, 0x00, 0x02};
        for (int i = 0; i < count_; ++i) {
            const uint8_t* b = nullptr;
            const uint8_t* e = nullptr;
            try {
                TransferManagerT::Exchange(address_, 3, data, data + sizeof data, &b, &e);
            } catch (const PMyExcpt&) {
            }
        }
    }

private:
    const uint8_t address_;
    const int count_;
};

class BusStatsTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        my::IniFile ini(GetExeDir() + "comm.ini");
        ini.WriteInteger("Трансфер", "таймаут_ожидания_ответа_мсек", 200);
        ini.WriteInteger("Трансфер", "Задержка_записи_мсек", 20);
        BusStats::Counter::Instance().Reset();
    }

    void Read(uint8_t address, int count)
    {
        Engine().AddTask(new ReadTimes(address, count), true);
        Engine().StartThread();
        ASSERT_TRUE(WaitIdle(60));
    }

    const BusStats::AddressCounts* CountsOf(unsigned address)
    {
        rows_ = BusStats::Counter::Instance().Rows();
        for (const auto& row : rows_) {
            if (row.address == address)
                return &row.counts;
        }
        return nullptr;
    }

    std::vector<BusStats::Row> rows_;
};

} // namespace

// Each fault a known number of times, then one sound answer after it.
TEST_F(BusStatsTest, EachOutcomeIsCountedAgainstTheSimulator)
{
    SimLine sim;
    const struct {
        const char* fault;
        int times;
    } faults[] = {
        {"silent", 2}, {"bad-crc", 3}, {"wrong-address", 1}, {"wrong-function", 1}, {"short 2", 2}, {"exception 2", 2},
    };
    int total = 0;
    for (const auto& f : faults) {
        sim.Command(std::string("fault ") + f.fault + " times " + std::to_string(f.times));
        Read(1, f.times + 1);
        total += f.times + 1;
    }
    Read(9, 2); // nobody there

    const BusStats::AddressCounts* one = CountsOf(1);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->requests, uint64_t(total));
    EXPECT_EQ(one->noAnswer, 2u);
    EXPECT_EQ(one->badCrc, 3u);
    EXPECT_EQ(one->faulty, 4u);
    EXPECT_EQ(one->exceptions, 2u);
    EXPECT_EQ(one->answers, uint64_t(total - 2 - 3 - 4));
    // Every answer that came, faulty ones too, has its latency; the
    // simulator waits 5 ms before answering.
    EXPECT_EQ(one->latency.Count(), uint64_t(total - 2));
    EXPECT_GE(one->latency.Min(), 4u);
    EXPECT_LE(one->latency.Min(), one->latency.Quantile(0.5));
    EXPECT_LE(one->latency.Quantile(0.5), one->latency.Quantile(0.95));
    EXPECT_LE(one->latency.Quantile(0.95), one->latency.Max());

    const BusStats::AddressCounts* nine = CountsOf(9);
    ASSERT_NE(nine, nullptr);
    EXPECT_EQ(nine->requests, 2u);
    EXPECT_EQ(nine->noAnswer, 2u);
    EXPECT_EQ(nine->latency.Count(), 0u);

    const std::string text = BusStats::Counter::Instance().Text();
    EXPECT_EQ(text.substr(0, text.find('\n')), "Адрес\tЗапросов\tОтветов\tНет ответа\tОшибок CRC\tДругих ошибок\t"
                                                "Исключений\tЗадержка мин, мс\tМедиана, мс\t95 %, мс\tМакс, мс\t"
                                                "Чтений в с");
    EXPECT_NE(text.find("\n9\t2\t0\t2\t0\t0\t0\t-\t-\t-\t-\t0.0\n"), std::string::npos) << text;

    BusStats::Counter::Instance().Reset();
    EXPECT_TRUE(BusStats::Counter::Instance().Rows().empty());
}
