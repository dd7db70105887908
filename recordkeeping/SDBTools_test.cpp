// Module start of the record keeping: the user stamp.
#include "SDBTools.h"

#include <gtest/gtest.h>

#include "LANTools.h"
#include "environment_testing.h"

namespace {

TEST(SDBToolsModule, UserStampNamesProgramFileAndComputerAfterTheSettings) {
  TTempEnvironment env;
  env.WriteFile(env.MachineHive(),
                "[System\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName]\n"
                "ComputerName=WS07\n");
  StartLANTools();
  StartSDBTools();
  EXPECT_EQ(UserStamp(), "[tessaly on WS07]");
  EXPECT_EQ(UserStampID(), -1);
  FinishSDBTools();
  EXPECT_EQ(UserStamp(), "");
  EXPECT_EQ(LastIDTableKey(), "");
  FinishLANTools();
}

}  // namespace
