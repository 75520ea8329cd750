#include "EngineTestSupport.h"

#include "VCLUtils/MySynchronize.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

// The engine's worker calls onto this thread, which runs a real Qt
// application as the program does.
int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ModuleImpl::Instance();
    engine_test::SetUpWorld();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
