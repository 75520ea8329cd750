#include "TestUtils.h"

#include "ComPort/CommSets.h"
#include "ComPort/MyDCBHelper.h"
#include "VCLUtils/IniFile.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace my::Comm;

namespace {

const char* const kDefaultSection = "[COMPORT]\n"
                                    "BaudRate=9600\n"
                                    "fBinary=1\n"
                                    "fParity=0\n"
                                    "fOutxCtsFlow=0\n"
                                    "fOutxDsrFlow=0\n"
                                    "fDtrControl=0\n"
                                    "fDsrSensitivity=0\n"
                                    "fTXContinueOnXoff=0\n"
                                    "fOutX=0\n"
                                    "fInX=0\n"
                                    "fErrorChar=0\n"
                                    "fNull=0\n"
                                    "fRtsControl=0\n"
                                    "fAbortOnError=0\n"
                                    "XonLim=256\n"
                                    "XoffLim=256\n"
                                    "ByteSize=8\n"
                                    "Parity=0\n"
                                    "StopBits=0\n"
                                    "XonChar=17\n"
                                    "XoffChar=19\n"
                                    "ErrorChar=192\n"
                                    "EofChar=0\n"
                                    "EvtChar=0\n"
                                    "ReadIntervalTimeout=1000\n"
                                    "ReadTotalTimeoutMultiplier=50\n"
                                    "ReadTotalTimeoutConstant=100\n"
                                    "WriteTotalTimeoutMultiplier=100\n"
                                    "WriteTotalTimeoutConstant=1000\n"
                                    "txdBuffSize=1024\n"
                                    "rxdBuffSize=1024\n";

bool SameSets(const PortSetsT& a, const PortSetsT& b)
{
    return !DCBDiffers(a.dcb, b.dcb) && std::memcmp(&a.timeouts, &b.timeouts, sizeof a.timeouts) == 0 &&
           a.txdBuffSize == b.txdBuffSize && a.rxdBuffSize == b.rxdBuffSize;
}

class PortSetsTest : public ::testing::Test {
protected:
    TempDir dir;
    my::IniFile ini{dir.File("comm.ini")};
};

} // namespace

TEST(DcbFieldsTest, DefaultsAsTheTableGivesThem)
{
    const DCB d = DefaultDCB();
    EXPECT_EQ(d.DCBlength, 28u);
    const uint32_t expected[DCB_FIELDS_COUNT] = {9600, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                 0,    0, 256, 256, 8, 0, 0, 17, 19, 192, 0, 0};
    for (unsigned i = 0; i < DCB_FIELDS_COUNT; ++i)
        EXPECT_EQ(GetDCBField(d, i), expected[i]) << DCBFieldName(i);
    const COMMTIMEOUTS t = DefaultTimeouts();
    EXPECT_EQ(t.ReadIntervalTimeout, 1000u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 1000u);
}

TEST(DcbFieldsTest, SetKeepsTheLowBitsOfTheFieldOnly)
{
    const struct {
        const char* name;
        uint32_t stored;
        uint32_t read;
    } cases[] = {
        {"fDtrControl", 6, 2}, {"fBinary", 2, 0},   {"XonLim", 70000, 4464}, {"ByteSize", 264, 8},
        {"BaudRate", 4000000000u, 4000000000u}, {"ErrorChar", 0xFF, 255}, {"fRtsControl", 7, 3},
    };
    for (const auto& c : cases) {
        unsigned idx = 0;
        while (std::strcmp(DCBFieldName(idx), c.name) != 0)
            ++idx;
        DCB d = DefaultDCB();
        SetDCBField(c.stored, d, idx);
        EXPECT_EQ(GetDCBField(d, idx), c.read) << c.name;
        for (unsigned other = 0; other < DCB_FIELDS_COUNT; ++other) {
            if (other != idx) {
                EXPECT_EQ(GetDCBField(d, other), GetDCBField(DefaultDCB(), other)) << c.name << " touched " << other;
            }
        }
    }
}

TEST(DcbFieldsTest, DiffersIgnoresReservedFields)
{
    DCB a = DefaultDCB();
    DCB b = a;
    b.wReserved = 7;
    b.wReserved1 = 9;
    b.fDummy2 = 5;
    EXPECT_FALSE(DCBDiffers(a, b));
    b.DCBlength = 12;
    EXPECT_TRUE(DCBDiffers(a, b));
    for (unsigned i = 0; i < DCB_FIELDS_COUNT; ++i) {
        DCB c = a;
        SetDCBField(GetDCBField(a, i) ^ 1u, c, i);
        EXPECT_TRUE(DCBDiffers(a, c)) << DCBFieldName(i);
    }
}

TEST(DcbFieldsDeathTest, IndexOutsideTheTable)
{
    DCB d = DefaultDCB();
    EXPECT_DEATH(DCBFieldName(24), "idx<DCB_FIELDS_COUNT");
    EXPECT_DEATH(GetDCBField(d, 24), "Неверный индекс поля DCB в GetDCBField!");
    EXPECT_DEATH(SetDCBField(0, d, 30), "Неверный индекс поля DCB в SetDCBField!");
}

TEST_F(PortSetsTest, DefaultRecordIsWrittenAsThirtyOneKeysInOrder)
{
    WritePortSets(PortSetsT(), ini, "COMPORT");
    EXPECT_EQ(ReadBytes(ini.FileName()), WinText(kDefaultSection));
}

TEST_F(PortSetsTest, MissingKeysReadAsBuiltInDefaultsNotAsTheOldValues)
{
    ini.WriteInteger("COMPORT", "BaudRate", 19200);
    PortSetsT sets;
    sets.dcb.ByteSize = 7;
    sets.timeouts.ReadIntervalTimeout = 5;
    sets.rxdBuffSize = 1;
    ReadPortSets(sets, ini, "COMPORT");
    PortSetsT expected;
    expected.dcb.BaudRate = 19200;
    EXPECT_TRUE(SameSets(sets, expected));
}

TEST_F(PortSetsTest, WriteThenReadGivesTheSameRecord)
{
    PortSetsT sets;
    for (unsigned i = 0; i < DCB_FIELDS_COUNT; ++i)
        SetDCBField(GetDCBField(sets.dcb, i) + 1 + i * 3, sets.dcb, i);
    sets.dcb.XoffChar = static_cast<char>(0xFF);
    sets.timeouts = {0xFFFFFFFFu, 1, 2, 3, 4};
    sets.txdBuffSize = 4096;
    sets.rxdBuffSize = 0xFFFFFFFEu;
    WritePortSets(sets, ini, "COM7");
    EXPECT_NE(ReadBytes(ini.FileName()).find("XoffChar=255\r\n"), std::string::npos);
    EXPECT_NE(ReadBytes(ini.FileName()).find("ReadIntervalTimeout=4294967295\r\n"), std::string::npos);
    PortSetsT back;
    ReadPortSets(back, ini, "COM7");
    EXPECT_TRUE(SameSets(sets, back));
}

TEST_F(PortSetsTest, PerPortFileLivesInTheUserConfigDirectory)
{
    ScopedEnv config("XDG_CONFIG_HOME", dir.Path() + "cfg");
    PortSetsT sets;
    sets.dcb.BaudRate = 115200;
    SavePortSetsToFile(5, sets);
    const std::string file = dir.Path() + "cfg/MyCommPortsSetings.ini";
    ASSERT_TRUE(FileExists(file));
    EXPECT_EQ(PortSetsFilePath(), file);
    EXPECT_NE(ReadBytes(file).find("[COM5]\r\nBaudRate=115200\r\n"), std::string::npos);

    PortSetsT back;
    LoadPortSetsFromFile(5, back);
    EXPECT_EQ(back.dcb.BaudRate, 115200u);
    PortSetsT absent;
    absent.dcb.BaudRate = 1;
    LoadPortSetsFromFile(6, absent);
    EXPECT_TRUE(SameSets(absent, PortSetsT()));
}

