// Answer bytes from the line through the answer checks and the decoding of
// the instrument's BCD values. Input: the address asked, the function code,
// then the answer as it came.

#include "FuzzSupport.h"

#include "ComPort/RS232Modbus.h"
#include "VCLUtils/bcd_.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// A decoded value encodes back to itself: the command prompt sends what the
// windows showed.
void CheckRoundTrip(double x)
{
    if (!(std::fabs(x) < BCD_INVALID))
        return;
    uint8_t bcd[4];
    DoubleToBcd(x, bcd);
    const double back = BcdToDouble(bcd);
    fuzz::Check(std::fabs(back - x) <= 1e-9 * std::max(1.0, std::fabs(x)), "BCD value does not encode back");
}

void DecodeValues(const uint8_t* b, const uint8_t* e)
{
    std::vector<double> values(static_cast<size_t>(e - b + 3) / 4 + 1);
    const size_t n = BcdGroupsToDoubles(b, e, values.data());
    fuzz::Check(n == static_cast<size_t>(e - b + 3) / 4, "BCD group count");
    for (size_t i = 0; i < n; ++i) {
        CheckRoundTrip(values[i]);
        fuzz::Check(!FormatBcdValue(values[i], ',').empty(), "empty value text");
    }
    if (e - b >= 6)
        fuzz::Check(!CommandText(static_cast<uint16_t>(b[0] << 8 | b[1]), b + 2).empty(), "empty command text");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Input in(data, size);
    const uint8_t address = in.Byte();
    const uint8_t function = in.Byte();
    const std::string answer = in.Rest();
    const auto* b = reinterpret_cast<const uint8_t*>(answer.data());
    const auto* e = b + answer.size();

    const bool sound = IsModbusStr(b, e, address, function);
    bool validated = false;
    try {
        ValidateAnswer(b, e, address, function);
        validated = true;
    } catch (const PMyExcpt& x) {
        fuzz::Check(dynamic_cast<const MyTransferBadAnswerException*>(x.get()) != nullptr,
                    "answer check threw something else than a bad answer");
        fuzz::Check(!x->Message().empty(), "empty answer error");
    }
    // Address 0 is a broadcast: nothing is checked.
    fuzz::Check(validated == (sound || address == 0), "answer check and frame test disagree");
    fuzz::Check(BytesToListText(b, e).size() >= 2, "byte list text");
    if (validated && answer.size() >= 4)
        DecodeValues(b + 2, e - 2);
    DecodeValues(b, e);
    return 0;
}
