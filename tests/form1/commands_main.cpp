#include "EngineTestSupport.h"

#include "VCLUtils/MySynchronize.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

// The window's commands run the engine's worker, which calls onto this
// thread; COM1 must be mapped before anything lists the ports.
int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ModuleImpl::Instance();
    engine_test::SetUpWorld();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
