// "Запись в файл" against the instrument simulator behind COM1: the file the
// polling writes, byte for byte.
#include "wtest_commands.h"

#include "DevSys/Catalogue.h"
#include "Records/RecordingControl.h"
#include "ValueText.h"
#include "VCLUtils/Cp1251.h"
#include "VCLUtils/MyStrUtils.h"
#include "VCLUtils/bcd_.h"

#include "sim/SimInstrument.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QRegularExpression>

namespace commands_test {
namespace {

using engine_test::PumpUntil;
using engine_test::SimLine;

// Channels 0, 2 and 5: a gap in the mask.
const uint16_t kMask = 0x0025;

// The first seed whose instrument at address 1 has a broken sensor among
// the channels of the mask: its readings are invalid in every round.
uint64_t SeedWithBrokenSensor()
{
    for (uint64_t seed = 1;; ++seed) {
        const sim::Instrument inst(1, seed, kMask);
        for (const sim::Channel& ch : inst.Channels())
            if (ch.failed)
                return seed;
    }
}

// What a recording of that instrument holds, still: the header, and the
// fields of every row after its date and time.
struct Expected {
    std::string header;
    std::string values;
};

Expected ExpectedRecording(uint64_t seed)
{
    const ThisModule& names = ThisModule::Instance();
    const sim::Instrument inst(1, seed, kMask);
    Expected e{"Дата;Время", ""};
    for (const sim::Channel& ch : inst.Channels()) {
        e.header += my::Format(";Канал %u: ", ch.number) + names.VarName(ch.kind.quantityCode) + ", " +
                    names.UnitName(ch.kind.unitCode);
        uint8_t bcd[4];
        inst.ReportedBcd(ch.number, 0, bcd);
        const double v = BcdToDouble(bcd);
        e.values += ";" + (v == BCD_INVALID ? std::string() : FormatValue(v));
    }
    return e;
}

std::vector<std::string> Lines(const std::string& win)
{
    std::vector<std::string> lines;
    const std::string text = my::Cp1251ToUtf8(win);
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "a line without CRLF at the end";
    return lines;
}

class RecordingTest : public CommandsTest {
protected:
    RecordingControl& Recording() { return *Form().findChild<RecordingControl*>(); }
    QAction& RecordItem() { return *Form().findChild<QAction*>("menuRecord"); }

    // Waits for rows complete rows in the current file.
    bool WaitForRows(size_t rows)
    {
        return PumpUntil([&] {
            const std::string path = Recording().Path();
            return !path.empty() && Lines(ReadBytes(path)).size() >= rows + 1;
        });
    }

    void CheckFile(const std::string& path, const Expected& e, size_t minRows)
    {
        const std::vector<std::string> lines = Lines(ReadBytes(path));
        ASSERT_GE(lines.size(), minRows + 1) << path;
        EXPECT_EQ(lines[0], e.header);
        const QRegularExpression row("^\\d\\d\\.\\d\\d\\.\\d{4};\\d\\d:\\d\\d:\\d\\d(.*)$");
        for (size_t i = 1; i < lines.size(); ++i) {
            const QRegularExpressionMatch m = row.match(QString::fromStdString(lines[i]));
            ASSERT_TRUE(m.hasMatch()) << lines[i];
            EXPECT_EQ(m.captured(1).toStdString(), e.values) << "row " << i;
        }
    }
};

TEST_F(RecordingTest, WritesEveryRoundWithGapsForTheBrokenSensorAndRestartsInANewFile)
{
    const uint64_t seed = SeedWithBrokenSensor();
    SimLine sim({"--seed", std::to_string(seed), "--mask", my::Format("0x%04X", kMask), "--still"});
    const Expected expected = ExpectedRecording(seed);
    TForm1& f = Form();
    QLabel* mark = f.findChild<QLabel*>("RecordMark");
    ASSERT_NE(mark, nullptr);

    // Switched on before the channel list is known: the file starts with it.
    RecordItem().trigger();
    EXPECT_TRUE(mark->isVisibleTo(&f));
    f.StartInitializeDevice();
    ASSERT_TRUE(WaitForRows(3)) << "no rows";
    const std::string first = Recording().Path();
    EXPECT_TRUE(QRegularExpression("/Records/1_\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d\\.csv$")
                    .match(QString::fromStdString(first))
                    .hasMatch())
        << first;
    RecordItem().trigger();
    EXPECT_FALSE(mark->isVisibleTo(&f));
    EXPECT_EQ(Recording().Path(), "");
    const std::string stopped = ReadBytes(first);
    CheckFile(first, expected, 3);

    // Again: a file of its own, the first one left as it was.
    RecordItem().trigger();
    ASSERT_TRUE(WaitForRows(2));
    const std::string second = Recording().Path();
    EXPECT_NE(second, first);
    // The same channel list once more does not split the recording.
    f.StartInitializeDevice();
    ASSERT_TRUE(WaitForRows(4));
    EXPECT_EQ(Recording().Path(), second);
    RecordItem().trigger();
    CheckFile(second, expected, 4);
    EXPECT_EQ(ReadBytes(first), stopped);
    EXPECT_EQ(QDir(QString::fromStdString(GetExeDir() + "Records")).entryList(QDir::Files).size(), 2);
}

TEST_F(RecordingTest, NewAddressStartsANewFile)
{
    SimLine sim({"--address", "1,2", "--mask", "0x0001", "--still"});
    TForm1& f = Form();
    f.StartInitializeDevice();
    RecordItem().trigger();
    ASSERT_TRUE(WaitForRows(1));
    const std::string first = Recording().Path();

    ModalScript user;
    user.Enter("2");
    f.N7->trigger();
    ASSERT_TRUE(user.Finished());
    ASSERT_TRUE(PumpUntil([&] { return Recording().Path() != first; }));
    EXPECT_NE(Recording().Path().find("/Records/2_"), std::string::npos) << Recording().Path();
    ASSERT_TRUE(WaitForRows(1));
    RecordItem().trigger();
    // The first file keeps the rows of address 1.
    EXPECT_GE(Lines(ReadBytes(first)).size(), 2u);
    EXPECT_EQ(Lines(ReadBytes(first))[0].rfind("Дата;Время;Канал 0: ", 0), 0u);
}

} // namespace
} // namespace commands_test
