// The real program started as a process, headless, in a throw-away
// installation: start failures, branding, exit statuses, the feed server.
#include "Tessaly.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <csignal>
#include <filesystem>

#include "RateFeed.h"
#include "app_testing.h"

namespace fs = std::filesystem;

namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A copy of the program in a folder of its own, for files beside it.
std::string CopyProgram(const TInstallationFixture& inst) {
  const std::string folder = inst.Root() + "bin/";
  fs::create_directories(folder);
  fs::copy_file(TESSALY_EXECUTABLE, folder + "tessaly", fs::copy_options::overwrite_existing);
  return folder + "tessaly";
}

TEST(ProgramStartProcess, UnreadableBrandingIconStopsTheStartWithStatusOne) {
  TInstallationFixture inst;
  const std::string program = CopyProgram(inst);
  TInstallationFixture::WriteFile(fs::path(program).parent_path().string() + "/oem.ico",
                                  "not an icon at all");
  const TProgramRun run = inst.Run({"/AUTO"}, 60000, program);
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_EQ(run.Out, "");
  EXPECT_TRUE(Contains(run.Err, "[Application Error] Error\n")) << run.Err;
  EXPECT_TRUE(Contains(run.Err, "cannot be read as an icon")) << run.Err;
  // Nothing was left behind in the work-files folder.
  for (const std::string& name : TInstallationFixture::Files(inst.WorkFiles()))
    EXPECT_NE(name.rfind("_Seavane", 0), 0u) << name;
}

TEST(ProgramStartProcess, BrandingNamesTheTitleAndTheWorkFolder) {
  TInstallationFixture inst;
  const std::string program = CopyProgram(inst);
  TInstallationFixture::WriteFile(fs::path(program).parent_path().string() + "/oeminfo.dat",
                                  "[OEM]\nOEMCOMPSHORT=Acme\n");
  // The data folder has no dictionary: the start reports it under the
  // branded title, and the run that follows fails.
  const TProgramRun run = inst.Run({"/AUTO"}, 60000, program);
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_TRUE(Contains(run.Err, "[Acme Tessaly] Error\n")) << run.Err;
  EXPECT_TRUE(Contains(run.Err, "[Application Error] Error\n")) << run.Err;
  EXPECT_FALSE(fs::exists(inst.WorkFiles() + "_Acme1")) << "the work folder is removed at exit";
}

TEST(ProgramStartWithoutDictionary, ReportsTheStartThenAnApplicationErrorAndEndsWithOne) {
  TInstallationFixture inst;
  const TProgramRun run = inst.Run({"/AUTO"});
  EXPECT_EQ(run.ExitStatus, 1);
  EXPECT_EQ(run.Out, "");
  const auto start = run.Err.find("[Seavane Tessaly] Error\n");
  const auto escaped = run.Err.find("[Application Error] Error\n");
  ASSERT_NE(start, std::string::npos) << run.Err;
  ASSERT_NE(escaped, std::string::npos) << run.Err;
  EXPECT_LT(start, escaped) << run.Err;
  // The work folder is gone.
  for (const std::string& name : TInstallationFixture::Files(inst.WorkFiles()))
    EXPECT_NE(name.rfind("_Seavane", 0), 0u) << name;
}

TEST(FeedServerTool, ServesAFolderOnLoopbackUntilTerminated) {
  TInstallationFixture inst;
  inst.WriteFeed("EUR", "<rates/>");
  QProcess server;
  server.start(TESSALY_FEEDSERVER, {QString::fromStdString(inst.FeedFolder())});
  ASSERT_TRUE(server.waitForReadyRead(20000));
  const int port = server.readLine().trimmed().toInt();
  ASSERT_GT(port, 0);

  TRateFeed feed;
  feed.Load(RateFeedAddress("127.0.0.1:" + std::to_string(port), "EUR"));
  EXPECT_TRUE(feed.Loaded());
  try {
    feed.Load(RateFeedAddress("127.0.0.1:" + std::to_string(port), "USD"));
    ADD_FAILURE() << "a missing feed loaded";
  } catch (const ERateFeedError& e) {
    EXPECT_TRUE(Contains(e.Message(), "404")) << e.Message();
  }

  ::kill(static_cast<pid_t>(server.processId()), SIGTERM);
  ASSERT_TRUE(server.waitForFinished(20000));
  EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(server.exitCode(), 0);

  // Without a folder it explains itself.
  server.start(TESSALY_FEEDSERVER, {});
  ASSERT_TRUE(server.waitForFinished(20000));
  EXPECT_EQ(server.exitCode(), 2);
}

}  // namespace
