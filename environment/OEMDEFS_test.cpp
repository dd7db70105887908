#include "OEMDEFS.h"

#include <gtest/gtest.h>

#include "LANTools.h"
#include "environment_testing.h"

namespace {

class OEMDEFSTest : public ::testing::Test {
 protected:
  void TearDown() override { FinishBranding(); }
  TTempEnvironment Env;
};

}  // namespace

TEST_F(OEMDEFSTest, DefaultsWithoutBrandingFiles) {
  EXPECT_EQ(ShortCompanyName(), "");  // nothing before the module starts
  LoadBranding();
  EXPECT_EQ(Branding().OEMCOMPANY, "Seavane GmbH");
  EXPECT_EQ(ShortCompanyName(), "Seavane");
  EXPECT_EQ(RegistryRootKey(), "Seavane");
  EXPECT_EQ(Branding().OEMSUPPORTCOMPANY, "Seavane GmbH");
  EXPECT_EQ(Branding().OEMMODULENAME[12], "Exchange Rates");
  EXPECT_EQ(OemIconFile(), "");
  FinishBranding();
  EXPECT_EQ(ShortCompanyName(), "");
  EXPECT_EQ(RegistryRootKey(), "");
}

TEST_F(OEMDEFSTest, PresentKeysReplaceDefaultsEvenWhenEmpty) {
  Env.WriteFile(Env.ProgramFolder() + "OemInfo.DAT",
                "[oem]\noemcompshort=Acme\nOEMSUPPORTCOMPANY=\nOEMMODULENAME13=Rates\n"
                "[Other]\nOEMROOTKEY=NotThisOne\n");
  Env.WriteFile(Env.ProgramFolder() + "oem.ico", "icon bytes");
  LoadBranding();
  EXPECT_EQ(ShortCompanyName(), "Acme");
  EXPECT_EQ(Branding().OEMSUPPORTCOMPANY, "");
  EXPECT_EQ(Branding().OEMCOMPANY, "Seavane GmbH");
  EXPECT_EQ(RegistryRootKey(), "Seavane");
  EXPECT_EQ(Branding().OEMMODULENAME[12], "Rates");
  EXPECT_EQ(OemIconFile(), Env.ProgramFolder() + "oem.ico");

  // Loading again starts from the defaults.
  Env.WriteFile(Env.ProgramFolder() + "OemInfo.DAT", "[OEM]\nOEMROOTKEY=AcmeSoft\n");
  LoadBranding();
  EXPECT_EQ(ShortCompanyName(), "Seavane");
  EXPECT_EQ(RegistryRootKey(), "AcmeSoft");
}

TEST_F(OEMDEFSTest, RootKeyChoosesTheRegistryPlace) {
  Env.WriteFile(Env.ProgramFolder() + "oeminfo.dat", "[OEM]\nOEMROOTKEY=AcmeSoft\n");
  Env.WriteFile(Env.UserHive(),
                "[Software\\Seavane]\nDBServer=seavane-host\n"
                "[Software\\AcmeSoft]\nDBServer=acme-host\n");
  LoadBranding();
  EXPECT_EQ(ReadUserSetting("", "DBServer", ""), "acme-host");
}
