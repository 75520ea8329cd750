// Instruments whose channel mask has gaps: every value lands in the column
// that names its channel, and a single-channel window follows its own one.
#include "wtest_commands.h"

#include "VCLUtils/StringGrid.h"
#include "VCLUtils/bcd_.h"
#include "sim/SimInstrument.h"
#include "uFormChanal.h"

#include <QAction>
#include <QLabel>

#include <algorithm>
#include <bitset>
#include <map>

namespace commands_test {
namespace {

using engine_test::PumpUntil;
using engine_test::SimLine;

enum { kChanalRow = 0, kValueRow = 4 };

// The text the window shows for what the simulator (address 1, seed 1,
// values still) reports on channel n.
QString SimValueText(uint16_t mask, unsigned n)
{
    const sim::Instrument instrument(1, 1, mask);
    uint8_t bcd[4];
    instrument.ReportedBcd(n, 0, bcd);
    return QString::fromStdString(TForm1::FormatValue(BcdToDouble(bcd)));
}

TFormChanal* NewChanalForm(const std::vector<TFormChanal*>& known)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* form = dynamic_cast<TFormChanal*>(w))
            if (std::find(known.begin(), known.end(), form) == known.end())
                return form;
    return nullptr;
}

class GappedMaskTest : public CommandsTest, public ::testing::WithParamInterface<uint16_t> {};

TEST_P(GappedMaskTest, EveryValueAndDetailWindowFollowsItsChannel)
{
    const uint16_t mask = GetParam();
    SimLine sim({"--mask", std::to_string(mask), "--still"});
    TForm1& f = Form();
    f.StartInitializeDevice();
    const int columns = static_cast<int>(std::bitset<16>(mask).count()) + 1;
    ASSERT_TRUE(PumpUntil([&] { return f.grd1->ColCount() == columns; })) << "no channel list";

    // Column by column, the channel it names, in the mask's order.
    std::map<int, unsigned> chanalOf;
    for (unsigned n = 0, col = 1; n < 16; ++n)
        if (mask & (1u << n))
            chanalOf[static_cast<int>(col++)] = n;
    for (const auto& [col, n] : chanalOf)
        ASSERT_EQ(f.grd1->Cell(col, kChanalRow), QString::number(n));

    const auto allShown = [&] {
        for (const auto& [col, n] : chanalOf)
            if (f.grd1->Cell(col, kValueRow) != SimValueText(mask, n))
                return false;
        return true;
    };
    EXPECT_TRUE(PumpUntil(allShown));
    for (const auto& [col, n] : chanalOf)
        EXPECT_EQ(f.grd1->Cell(col, kValueRow).toStdString(), SimValueText(mask, n).toStdString())
            << "column " << col << ", channel " << n;

    std::vector<TFormChanal*> forms;
    for (const auto& [col, n] : chanalOf) {
        f.menuShowDetail->setData(col);
        f.menuShowDetailClick();
        TFormChanal* form = NewChanalForm(forms);
        ASSERT_NE(form, nullptr) << "column " << col;
        forms.push_back(form);
    }
    size_t i = 0;
    for (const auto& [col, n] : chanalOf) {
        TFormChanal* form = forms[i++];
        EXPECT_TRUE(PumpUntil([&] { return form->Label2->text() == SimValueText(mask, n); }))
            << "column " << col << ", channel " << n << ": " << form->Label2->text().toStdString();
    }
}

// Channels 1 and 2; 0 and 2; the first and the last.
INSTANTIATE_TEST_SUITE_P(Masks, GappedMaskTest, ::testing::Values(uint16_t(0x0006), uint16_t(0x0005),
                                                                   uint16_t(0x8001)));

} // namespace
} // namespace commands_test
