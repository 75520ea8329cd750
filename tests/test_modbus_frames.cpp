#include "ComPort/RS232Modbus.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;

uint16_t Crc(const Bytes& b) { return ModbusCRC16(b.data(), b.data() + b.size()); }

Bytes WithCrc(Bytes b)
{
    const uint16_t crc = Crc(b);
    b.push_back(static_cast<uint8_t>(crc));
    b.push_back(static_cast<uint8_t>(crc >> 8));
    return b;
}

// The bit-by-bit definition, to check the tables against.
uint16_t SlowCrc(const Bytes& b)
{
    uint16_t crc = 0xFFFF;
    for (uint8_t byte : b) {
        crc ^= byte;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

} // namespace

TEST(ModbusCrcTest, CheckValueFrameExampleAndWholeFrameZero)
{
    const std::string check = "123456789";
    EXPECT_EQ(ModbusCRC16(reinterpret_cast<const uint8_t*>(check.data()),
                          reinterpret_cast<const uint8_t*>(check.data()) + check.size()),
              0x4B37);
    const Bytes data = {0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(MakeModbusFrame(1, 3, data.data(), data.data() + data.size()),
              (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}));
    const Bytes two = {0x00, 0x00, 0x00, 0x02};
    EXPECT_EQ(MakeModbusFrame(1, 3, two.data(), two.data() + two.size()),
              (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B}));
    EXPECT_EQ(Crc(WithCrc({0x11, 0x22, 0x33})), 0);
    EXPECT_EQ(Crc({}), 0xFFFF);
}

TEST(ModbusCrcTest, TablesAgreeWithTheBitwiseDefinition)
{
    for (int a = 0; a < 256; ++a) {
        const Bytes b = {static_cast<uint8_t>(a), static_cast<uint8_t>(255 - a), 0x5A};
        EXPECT_EQ(Crc(b), SlowCrc(b)) << a;
    }
}

TEST(ValidateAnswerTest, ChecksFireInOrderWithTheirTexts)
{
    const struct {
        const char* what;
        Bytes answer;
        uint8_t addr;
        uint8_t cmd;
        const char* type;
        const char* message;
    } cases[] = {
        {"nothing", {}, 5, 3, "MyTransferNoAnswerException", "Прибор 5: не отвечает"},
        {"three bytes", {0x01, 0x83, 0x02}, 1, 3, "MyTransferAnswerLengthMismatchException",
         "Прибор 1: длина принятой строки [1, 83, 2] равна 3, должна быть не менее 4."},
        {"one byte", {0x00}, 1, 3, "MyTransferAnswerLengthMismatchException",
         "Прибор 1: длина принятой строки [0] равна 1, должна быть не менее 4."},
        {"other address", WithCrc({0x02, 0x03, 0x00}), 1, 3, "MyTransferAnswerAdressMismatchException",
         "Прибор 1: несовпадение адрессов посылки $01 и принятой строки $02"},
        {"address and bad CRC", {0xAB, 0x04, 0x00, 0x00}, 0x1F, 3, "MyTransferAnswerAdressMismatchException",
         "Прибор 31: несовпадение адрессов посылки $1F и принятой строки $AB"},
        {"other function", WithCrc({0x01, 0x04, 0x02, 0x00, 0x00}), 1, 3,
         "MyTransferAnswerCommandCodeMismatchException", "Прибор 1: несовпадение кодов комманд"},
        {"bad CRC", {0x01, 0x03, 0x02, 0x00, 0x01, 0x00, 0x00}, 1, 3, "MyTransferBadCRC16Exception",
         "Прибор 1: ненулевая контрольная сумма принятой строки"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            ValidateAnswer(c.answer.data(), c.answer.data() + c.answer.size(), c.addr, c.cmd);
            ADD_FAILURE() << "accepted";
        } catch (const PMyExcpt& e) {
            EXPECT_EQ(e->TypeName(), c.type);
            EXPECT_EQ(e->Message(), c.message);
            EXPECT_EQ(e->Where().file, "RS232Modbus.cpp");
            auto* t = dynamic_cast<MyTransferBadAnswerException*>(e.get());
            ASSERT_NE(t, nullptr);
            EXPECT_EQ(t->DevAddr(), c.addr);
        }
    }
}

TEST(ValidateAnswerTest, AcceptsNormalAndExceptionAnswersAndAnythingForBroadcast)
{
    const Bytes normal = WithCrc({0x01, 0x03, 0x02, 0x12, 0x34});
    EXPECT_NO_THROW(ValidateAnswer(normal.data(), normal.data() + normal.size(), 1, 3));
    const Bytes exception = WithCrc({0x01, 0x83, 0x02});
    EXPECT_NO_THROW(ValidateAnswer(exception.data(), exception.data() + exception.size(), 1, 3));
    EXPECT_TRUE(IsModbusStr(exception.data(), exception.data() + exception.size(), 1, 3));
    EXPECT_FALSE(IsModbusStr(exception.data(), exception.data() + exception.size(), 1, 4));
    const Bytes garbage = {0xFF};
    EXPECT_NO_THROW(ValidateAnswer(garbage.data(), garbage.data() + garbage.size(), 0, 3));
    EXPECT_NO_THROW(ValidateAnswer(garbage.data(), garbage.data(), 0, 3));
}

TEST(BytesToListTextTest, LowerCaseHexWithoutLeadingZeros)
{
    const Bytes three = {0x01, 0x03, 0xAB};
    EXPECT_EQ(BytesToListText(three.data(), three.data() + 3), "[1, 3, ab]");
    const Bytes zero = {0x00};
    EXPECT_EQ(BytesToListText(zero.data(), zero.data() + 1), "[0]");
    EXPECT_EQ(BytesToListText(zero.data(), zero.data()), "[]");
}

// The whole answer each request expects, and what keeps a frame from being one.
TEST(WholeAnswerTest, EachRequestKindKnowsItsAnswer)
{
    const Bytes read2 = {0x00, 0x00, 0x00, 0x02};
    const Bytes read126 = {0x00, 0x00, 0x00, 126};
    const Bytes command = {0x00, 0x20, 0x00, 0x03, 0x06, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00};
    const Bytes none;
    const struct {
        uint8_t function;
        const Bytes& data;
        size_t whole, longest;
    } cases[] = {
        {3, read2, 9, 9},
        {3, read126, 0, 5}, // only an exception answer fits
        {3, none, 0, 5},
        {0x16, command, 8, 8},
        {0x41, none, 9804, 9804},
        {0x04, read2, 0, 256},
    };
    for (const auto& c : cases) {
        const ExpectedAnswer e = ExpectedAnswerOf(c.function, c.data.data(), c.data.data() + c.data.size());
        EXPECT_EQ(e.wholeLength, c.whole) << int(c.function);
        EXPECT_EQ(e.longest, c.longest) << int(c.function);
    }

    const ExpectedAnswer r2 = ExpectedAnswerOf(3, read2.data(), read2.data() + read2.size());
    auto whole = [](const Bytes& b, uint8_t fn, const ExpectedAnswer& e) {
        return IsWholeAnswer(b.data(), b.data() + b.size(), 1, fn, e);
    };
    const Bytes sound = WithCrc({0x01, 0x03, 0x04, 0x00, 0x01, 0x00, 0x02});
    EXPECT_TRUE(whole(sound, 3, r2));
    EXPECT_FALSE(whole(Bytes(sound.begin(), sound.end() - 1), 3, r2));
    Bytes badCrc = sound;
    badCrc.back() ^= 0x5A;
    EXPECT_FALSE(whole(badCrc, 3, r2));
    EXPECT_FALSE(whole(WithCrc({0x02, 0x03, 0x04, 0x00, 0x01, 0x00, 0x02}), 3, r2)); // another address
    EXPECT_FALSE(whole(WithCrc({0x01, 0x04, 0x04, 0x00, 0x01, 0x00, 0x02}), 3, r2)); // another function
    EXPECT_TRUE(whole(WithCrc({0x01, 0x83, 0x02}), 3, r2));
    EXPECT_FALSE(whole(WithCrc({0x01, 0x83, 0x02, 0x00}), 3, r2));
    // A function the link does not know: only silence ends its answer.
    const ExpectedAnswer unknown = ExpectedAnswerOf(0x04, read2.data(), read2.data() + read2.size());
    EXPECT_FALSE(whole(WithCrc({0x01, 0x84, 0x01}), 0x04, unknown));

    Bytes archive = {0x01, 0x41};
    archive.resize(9802, 0x5A);
    EXPECT_TRUE(whole(WithCrc(archive), 0x41, ExpectedAnswerOf(0x41, nullptr, nullptr)));
}
