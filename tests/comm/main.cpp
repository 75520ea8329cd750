#include "CommTestSupport.h"

#include "ComPort/PortMap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The serial port tests run over pseudo-terminals mapped through the
// environment. The present-port list is first built when the serial
// settings module is first used, so the mapping is made here, before any
// test runs; no devices are scanned (the adapters of a test's fake device
// tree are mapped through the variables too).
int main(int argc, char** argv)
{
    my::Comm::SetDeviceScanSource([] { return std::vector<std::string>(); });
    if (argc >= 2 && std::string(argv[1]) == kHelperFlag)
        return RunCommHelper(argc - 2, argv + 2);
    ::testing::InitGoogleTest(&argc, argv);
    SetUpCommTestWorld();
    return RUN_ALL_TESTS();
}
