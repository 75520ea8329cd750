#include "TestUtils.h"

#include "ProgramFiles.h"
#include "SingleInstance/InstanceLock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

TEST(InstanceLockTest, OnlyOneHolderAtATimeAndFreeAgainOnceItEnds)
{
    TempDir dir;
    const std::string path = dir.File("kalist8.lock");
    auto first = std::make_unique<InstanceLock>(path);
    EXPECT_EQ(first->GetState(), InstanceLock::Taken);
    EXPECT_TRUE(IsOnlyInstance(*first));
    {
        const InstanceLock second(path);
        EXPECT_EQ(second.GetState(), InstanceLock::HeldByAnother);
        EXPECT_FALSE(IsOnlyInstance(second));
    }
    first.reset();
    EXPECT_EQ(InstanceLock(path).GetState(), InstanceLock::Taken);
}

TEST(InstanceLockTest, NoFolderForTheFileLeavesTheDecisionToTheProcessList)
{
    TempDir dir;
    EXPECT_EQ(InstanceLock(dir.File("gone/kalist8.lock")).GetState(), InstanceLock::Unavailable);
}

TEST(InstanceLockTest, FileInTheRuntimeFolderElseBesideTheProgram)
{
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string restore = saved ? saved : "";
    setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
    EXPECT_EQ(InstanceLock::DefaultPath(), "/run/user/1000/" + GetExeName() + ".lock");
    setenv("XDG_RUNTIME_DIR", "", 1);
    EXPECT_EQ(InstanceLock::DefaultPath(), GetExeDir() + GetExeName() + ".lock");
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(InstanceLock::DefaultPath(), GetExeDir() + GetExeName() + ".lock");
    if (saved)
        setenv("XDG_RUNTIME_DIR", restore.c_str(), 1);
}
