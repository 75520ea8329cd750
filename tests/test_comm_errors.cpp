#include "ComPort/CommUtils.h"
#include "ComPort/SerialLine.h"

#include <gtest/gtest.h>

#include <string>

using namespace my::Comm;

namespace {

const char* const kBreak = "The hardware detected a break condition.";
const char* const kFrame = "The hardware detected a framing error.";
const char* const kIoe = "An I/O error occurred during communications with the device.";
const char* const kMode = "The requested mode is not supported, or the hFile parameter is invalid.";
const char* const kOverrun = "A character-buffer overrun has occurred. The next character is lost.";
const char* const kRxOver = "An input buffer overflow has occurred. There is either no room in the input buffer, "
                            "or a character was received after the end-of-file (EOF) character.";
const char* const kParity = "The hardware detected a parity error.";
const char* const kTxFull = "The application tried to transmit a character, but the output buffer was full.";

const char* const kClearText = "Функция ClearCommError зафиксировала флаги критических ошибок:";

} // namespace

TEST(CommErrorsTest, MaskTextJoinsTheRowsInTableOrderWithoutSeparator)
{
    const struct {
        uint32_t mask;
        std::string text;
        bool critical;
    } cases[] = {
        {0x0010, kBreak, true},
        {0x0008, kFrame, true},
        {0x0400, kIoe, true},
        {0x8000, kMode, true},
        {0x0002, kOverrun, true},
        {0x0001, kRxOver, true},
        {0x0004, kParity, true},
        {0x0100, kTxFull, true},
        {0x0012, std::string(kBreak) + kOverrun, true},
        {0x0003, std::string(kOverrun) + kRxOver, true},
        {0x8111, std::string(kBreak) + kMode + kRxOver + kTxFull, true},
        {0x0028, kFrame, true}, // flags outside the table add nothing
        {0x0020, "", false},
        {0x0240, "", false},
        {0, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mask);
        EXPECT_EQ(CommErrorsText(c.mask), c.text);
        EXPECT_EQ(HasMaskCriticalError(c.mask), c.critical);
    }
}

TEST(CommErrorsTest, ExceptionMessageCarriesTextSignedMaskAndRowTexts)
{
    const PMyExcpt cause(new MyException(FileLine(3, "x.cpp"), "cause"));
    const MyClearCommErrorException e(0x0012, FileLine(7, "/src/CommUtils.cpp"), kClearText, cause);
    EXPECT_EQ(e.Message(), std::string("Ошибка приема-передачи СОМ порта:") + kClearText + ":18:" + kBreak + kOverrun);
    EXPECT_EQ(e.TypeName(), "MyClearCommErrorException");
    EXPECT_EQ(e.Nested(), cause);
    EXPECT_NE(dynamic_cast<const MyExternalException*>(&e), nullptr);

    const MyClearCommErrorException frame(CE_FRAME, FILE_LINE, kClearText);
    EXPECT_EQ(frame.Message(),
              std::string("Ошибка приема-передачи СОМ порта:Функция ClearCommError зафиксировала флаги "
                          "критических ошибок::8:")
                  + kFrame);
    // The letters of "СОМ" are Cyrillic: С О М.
    EXPECT_NE(frame.Message().find("\xD0\xA1\xD0\x9E\xD0\x9C \xD0\xBF"), std::string::npos);

    EXPECT_EQ(MyClearCommErrorException(0x80008000u, FILE_LINE, "t").Message(),
              std::string("Ошибка приема-передачи СОМ порта:t:-2147450880:") + kMode);
}

TEST(CommErrorsDeathTest, ExceptionWithoutATableFlagIsAContractViolation)
{
    EXPECT_DEATH(MyClearCommErrorException(0x0020, FILE_LINE, kClearText),
                 "Попытка возбудить исключение COM-порта при нулевой маске ошибки!");
    EXPECT_DEATH(MyClearCommErrorException(0, FILE_LINE, kClearText),
                 "Попытка возбудить исключение COM-порта при нулевой маске ошибки!");
}

TEST(LineErrorMaskTest, CountersThatGrewBecomeTheirFlags)
{
    const LineErrorCounts zero{};
    const struct {
        LineErrorCounts before;
        LineErrorCounts now;
        uint32_t mask;
    } cases[] = {
        {zero, zero, 0},
        {zero, {1, 0, 0, 0, 0}, CE_FRAME},
        {zero, {0, 2, 0, 0, 0}, CE_OVERRUN},
        {zero, {0, 0, 3, 0, 0}, CE_RXPARITY},
        {zero, {0, 0, 0, 1, 0}, CE_BREAK},
        {zero, {0, 0, 0, 0, 9}, CE_RXOVER},
        {zero, {0, 1, 0, 1, 0}, CE_BREAK | CE_OVERRUN},
        {{5, 5, 5, 5, 5}, {5, 5, 5, 5, 5}, 0},
        {{0xFFFFFFFFu, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, CE_FRAME}, // the kernel's count wrapped
    };
    for (const auto& c : cases)
        EXPECT_EQ(LineErrorMask(c.before, c.now), c.mask);
}
