#include "LANTools.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <thread>

#include "OEMDEFS.h"
#include "environment_testing.h"
#include "formatsettings.h"

namespace fs = std::filesystem;

namespace {

struct TRecordedError {
  std::string Label, Message;
  int HelpContext;
};

// A temporary HOME/TMPDIR with both hives and a program folder; errors shown
// by the module are recorded instead of written to standard error.
class LANToolsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TEnvironmentHooks hooks;
    hooks.ShowError = [this](const std::string& label, const std::string& message, int help) {
      Errors.push_back({label, message, help});
    };
    hooks.ProcessMessages = [this] { ++MessageRuns; };
    hooks.ApplicationTitleChanged = [this](const std::string& title) { Titles.push_back(title); };
    SetEnvironmentHooks(std::move(hooks));
    LoadBranding();
  }
  void TearDown() override {
    FinishLANTools();
    FinishBranding();
    SetEnvironmentHooks({});
  }

  bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
  }

  TTempEnvironment Env;
  std::vector<TRecordedError> Errors;
  std::vector<std::string> Titles;
  int MessageRuns = 0;
};

}  // namespace

// ---------------------------------------------------------------------------
// Installation settings

TEST_F(LANToolsTest, NothingConfiguredGivesTheDefaults) {
  StartLANTools();
  EXPECT_EQ(DBServer(), "localhost");
  EXPECT_EQ(DBPort(), 3306);
  EXPECT_EQ(ClientFolder(), "/opt/Seavane/");
  EXPECT_EQ(DataFolder(), Env.Home() + "SeavaneData/");
  EXPECT_EQ(WorkFolder(), Env.Temp() + "_Seavane1/");
  EXPECT_TRUE(FolderExists(WorkFolder()));
  EXPECT_EQ(fs::status(WorkFolder()).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(DocumentsFolder(), Env.Home() + "Documents/");
  EXPECT_EQ(StationNumber(), 0);
  EXPECT_EQ(ListDelimiter(), ',');
  EXPECT_EQ(FormatSettings().ShortTimeFormat, "hh:mm:ss");
  EXPECT_EQ(FormatSettings().TimeSeparator, ':');
  // Both folders are published without their trailing delimiter.
  EXPECT_EQ(ReadUserEnvironment("SeavaneClient"), "/opt/Seavane");
  EXPECT_EQ(ReadUserEnvironment("SeavaneData"), Env.Home() + "SeavaneData");
  EXPECT_TRUE(Errors.empty());

  // Finishing removes the work folder with its content and clears settings.
  const std::string work = WorkFolder();
  Env.WriteFile(work + "sub/left.txt", "x");
  FinishLANTools();
  EXPECT_FALSE(Exists(work));
  EXPECT_EQ(ClientFolder(), "");
  EXPECT_EQ(WorkFolder(), "");
}

TEST_F(LANToolsTest, DatabaseServerAndPort) {
  struct {
    const char* Setting;
    const char* Server;
    int Port;
  } cases[] = {{"dbhost:5432", "dbhost", 5432},
               {"dbhost:abc", "dbhost", 3306},
               {"dbhost", "dbhost", 3306},
               {"dbhost:", "dbhost", 3306}};
  for (const auto& c : cases) {
    Env.WriteFile(Env.UserHive(), std::string("[Software\\Seavane]\nDBServer=") + c.Setting + "\n");
    ResolveInstallation();
    EXPECT_EQ(DBServer(), c.Server) << c.Setting;
    EXPECT_EQ(DBPort(), c.Port) << c.Setting;
    FinishLANTools();
  }
  // The machine's server when the user names none.
  Env.WriteFile(Env.UserHive(), "");
  Env.WriteFile(Env.MachineHive(), "[Software\\Seavane]\nDBServer=central:3307\n");
  ResolveInstallation();
  EXPECT_EQ(DBServer(), "central");
  EXPECT_EQ(DBPort(), 3307);
}

TEST_F(LANToolsTest, UserSettingsWinOverMachineSettings) {
  // Key paths and names ignore case; a value directly under the hive's top
  // is the fallback of the Software\<root>\ place.
  Env.WriteFile(Env.UserHive(),
                "[software\\SEAVANE]\nclientfolder = /srv/user-client\n"
                "[Software\\Seavane\\Other]\nDataFolder=/not/this\n");
  Env.WriteFile(Env.MachineHive(),
                "DBServer=top-level-host\n"
                "[Software\\Seavane]\nClientFolder=/srv/machine-client\n"
                "DataFolder=/srv/machine-data/\nDataServer=fileserver\n");
  ResolveInstallation();
  EXPECT_EQ(ClientFolder(), "/srv/user-client/");
  EXPECT_EQ(DataFolder(), "/srv/machine-data/");  // DataFolder wins over DataServer
  EXPECT_EQ(DBServer(), "top-level-host");
  FinishLANTools();

  // DataServer alone names the family's data share on that host; the program
  // files folder comes from the machine hive.
  Env.WriteFile(Env.UserHive(), "");
  Env.WriteFile(Env.MachineHive(),
                "[Software\\Seavane]\nDataServer=fileserver\nDataFolder=\n"
                "[SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\nProgramFilesDir=/usr/local\n");
  ResolveInstallation();
  EXPECT_EQ(DataFolder(), "//fileserver/Seavane$/");
  EXPECT_EQ(ClientFolder(), "/usr/local/Seavane/");
}

TEST_F(LANToolsTest, ConfigurationFileBesideTheProgram) {
  Env.WriteFile(Env.UserHive(), "[Software\\Seavane]\nDataFolder=/srv/from-hive\n");
  Env.WriteFile(Env.ProgramFolder() + "seavane.cfg",
                "[Config]\nDataFolder=/srv/from-cfg\nClientFolder=\n");
  ResolveInstallation();
  EXPECT_EQ(DataFolder(), "/srv/from-cfg/");
  EXPECT_EQ(ClientFolder(), "/opt/Seavane/");  // empty counts as not set
  EXPECT_EQ(ReadUserEnvironment("SeavaneData"), "/srv/from-cfg");
  FinishLANTools();

  // Stand-alone: both folders are the program folder's parent, the file's
  // folders are ignored and nothing is published. The name ignores case.
  fs::remove(Env.ProgramFolder() + "seavane.cfg");
  Env.WriteFile(Env.UserHive(), "");
  Env.WriteFile(Env.ProgramFolder() + "SEAVANE.CFG",
                "[config]\nStandAlone=1\nDataFolder=/srv/from-cfg\n");
  ResolveInstallation();
  EXPECT_EQ(ClientFolder(), Env.Root() + "apps/");
  EXPECT_EQ(DataFolder(), Env.Root() + "apps/");
  EXPECT_EQ(TTempEnvironment::ReadFile(Env.UserHive()), "");
}

TEST_F(LANToolsTest, WorkFolderTakesTheFirstFreeNumber) {
  fs::create_directories(Env.Temp() + "_Seavane1");
  Env.WriteFile(Env.Temp() + "_Seavane2", "a file of that name counts as taken");
  StartLANTools();
  EXPECT_EQ(WorkFolder(), Env.Temp() + "_Seavane3/");
  EXPECT_TRUE(FolderExists(WorkFolder()));
  FinishLANTools();
  // Only the process's own folder is removed.
  EXPECT_TRUE(FolderExists(Env.Temp() + "_Seavane1"));
  EXPECT_FALSE(Exists(Env.Temp() + "_Seavane3"));
}

TEST_F(LANToolsTest, WorkFolderThatCannotBeCreatedStopsStartUp) {
  Env.WriteFile("blocker", "a file where a folder should be");
  Env.SetEnv("TMPDIR", Env.Root() + "blocker/tmp");
  EXPECT_THROW(StartLANTools(), EFolderError);
  EXPECT_EQ(WorkFolder(), "");  // nothing of ours to remove at finish
}

TEST_F(LANToolsTest, PublishesOnlyWhatDiffers) {
  // SeavaneClient is already right (in a spelling of its own, which stays);
  // SeavaneData names another folder and is rewritten in place.
  const std::string hive =
      "; the user's environment\n[Environment]\nPATH=/usr/bin\nSeavaneClient = /opt/Seavane\n"
      "seavanedata=/old\n\n[Other]\nx=1\n";
  Env.WriteFile(Env.UserHive(), hive);
  ResolveInstallation();
  EXPECT_EQ(TTempEnvironment::ReadFile(Env.UserHive()),
            "; the user's environment\n[Environment]\nPATH=/usr/bin\nSeavaneClient = /opt/Seavane\n"
            "seavanedata=" +
                Env.Home() + "SeavaneData\n\n[Other]\nx=1\n");
  FinishLANTools();

  // Equal after expansion of %HOME%: nothing is written at all.
  const std::string same =
      "[Environment]\nSeavaneClient=/opt/Seavane\nSeavaneData=%HOME%/SeavaneData\n";
  Env.WriteFile(Env.UserHive(), same);
  ResolveInstallation();
  EXPECT_FALSE(PublishFolderVariables());
  EXPECT_EQ(TTempEnvironment::ReadFile(Env.UserHive()), same);
}

TEST_F(LANToolsTest, BrandedShortNameShapesTheDefaults) {
  Env.WriteFile(Env.ProgramFolder() + "oeminfo.dat", "[OEM]\nOEMCOMPSHORT=Acme\n");
  LoadBranding();
  // The registry root stays Seavane.
  Env.WriteFile(Env.UserHive(), "[Software\\Seavane]\nDBServer=branded-host\n");
  StartLANTools();
  EXPECT_EQ(ClientFolder(), "/opt/Acme/");
  EXPECT_EQ(DataFolder(), Env.Home() + "AcmeData/");
  EXPECT_EQ(WorkFolder(), Env.Temp() + "_Acme1/");
  EXPECT_EQ(DBServer(), "branded-host");
}

TEST_F(LANToolsTest, ComputerNameIsReadOnceFromTheMachineHive) {
  const std::string base = "[System\\CurrentControlSet\\Control\\ComputerName\\";
  Env.WriteFile(Env.MachineHive(), base + "ComputerName]\nComputerName=CONFIGURED\n");
  StartLANTools();
  EXPECT_EQ(LocalComputerName(), "CONFIGURED");
  Env.WriteFile(Env.MachineHive(), base + "ActiveComputerName]\nComputerName=ACTIVE\n");
  EXPECT_EQ(LocalComputerName(), "CONFIGURED");  // remembered
  FinishLANTools();
  StartLANTools();
  EXPECT_EQ(LocalComputerName(), "ACTIVE");
  FinishLANTools();
  Env.WriteFile(Env.MachineHive(), "");
  StartLANTools();
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  EXPECT_EQ(LocalComputerName(), host);
}

// ---------------------------------------------------------------------------
// Registry, INI files and the user environment

TEST_F(LANToolsTest, IniValuesFollowTheProfileRules) {
  const std::string longValue(500, 'v');
  const std::string file = Env.Root() + "x.ini";
  Env.WriteFile(file,
                "\xEF\xBB\xBF; comment\n[Sec]\n  Key = first ; not a comment\nkey=second\n"
                "Empty=\nQuoted=\"  spaced  \"\nLong=" +
                    longValue + "\n[Sec2]\nOther=1\n");
  EXPECT_EQ(ReadIniValue("sec", "KEY", file, "d"), "first ; not a comment");
  EXPECT_EQ(ReadIniValue("Sec", "Empty", file, "d"), "d");
  EXPECT_EQ(ReadIniValue("Sec", "Missing", file, "d"), "d");
  EXPECT_EQ(ReadIniValue("Sec", "Quoted", file, "d"), "  spaced  ");
  EXPECT_EQ(ReadIniValue("Sec", "Long", file, "d"), longValue.substr(0, 399));
  EXPECT_EQ(ReadIniValue("Sec", "Other", file, "d"), "d");
  EXPECT_EQ(ReadIniValue("Sec", "Key", Env.Root() + "missing.ini", "d"), "d");

  // Long key paths are found whole.
  Env.WriteFile(Env.MachineHive(),
                "[System\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName]\n"
                "ComputerName=" +
                    longValue + "\n");
  EXPECT_EQ(ReadMachineSetting("System\\CurrentControlSet\\Control\\ComputerName\\"
                               "ActiveComputerName",
                               "computername", ""),
            longValue);
  EXPECT_EQ(ReadUserSetting("", "Anything", "fallback"), "fallback");  // no user hive
}

TEST_F(LANToolsTest, KeyPathsIgnoreStrayBackslashes) {
  // Key paths are often written with a trailing backslash; doubled, leading
  // and trailing ones do not make another key.
  Env.WriteFile(Env.UserHive(),
                "[Software\\Seavane\\]\nDBServer=trailing\n"
                "[\\Software\\\\Seavane\\Sub]\nName=sub\n");
  EXPECT_EQ(ReadUserSetting("", "DBServer", ""), "trailing");
  EXPECT_EQ(ReadUserSetting("Sub\\", "Name", ""), "sub");
  EXPECT_EQ(ReadUserSetting("Sub\\Deeper", "Name", "none"), "none");
}

TEST_F(LANToolsTest, UserEnvironmentReadAndWrite) {
  Env.SetEnv("TESSALY_TEST_VAR", "expanded");
  Env.WriteFile(Env.UserHive(), "[Environment]\nA=%TESSALY_TEST_VAR%/x/%NO_SUCH_VAR%/%%\nLong=" +
                                    std::string(300, 'L') + "\n");
  EXPECT_EQ(ReadUserEnvironment("a"), "expanded/x/%NO_SUCH_VAR%/%%");
  EXPECT_EQ(ReadUserEnvironment("Long"), std::string(254, 'L'));
  EXPECT_EQ(ReadUserEnvironment("Missing"), "");

  WriteUserEnvironment("New", " padded value ");
  WriteUserEnvironment("A", "replaced");
  EXPECT_EQ(ReadUserEnvironment("New"), " padded value ");
  EXPECT_EQ(ReadUserEnvironment("A"), "replaced");
  EXPECT_EQ(ReadUserEnvironment("Long"), std::string(254, 'L'));
  EXPECT_THROW(WriteUserEnvironment("Bad", "two\nlines"), Exception);

  // A missing hive is created with its folder.
  Env.SetEnv("SEAVANE_USER_HIVE", std::nullopt);
  WriteUserEnvironment("Created", "yes");
  EXPECT_EQ(TTempEnvironment::ReadFile(Env.Home() + ".config/registry/user.ini"),
            "[Environment]\nCreated=yes\n");
}

TEST_F(LANToolsTest, AHiveThatCannotBeReadIsNeverReplaced) {
  if (::geteuid() == 0) GTEST_SKIP() << "every file is readable for root";
  const std::string hive = "[Software\\Seavane]\nDBServer=kept\n";
  Env.WriteFile(Env.UserHive(), hive);
  fs::permissions(Env.UserHive(), fs::perms::owner_write, fs::perm_options::replace);
  EXPECT_THROW(WriteUserEnvironment("SeavaneData", "/srv/data"), Exception);
  fs::permissions(Env.UserHive(), fs::perms::owner_read, fs::perm_options::add);
  EXPECT_EQ(TTempEnvironment::ReadFile(Env.UserHive()), hive);
}

// ---------------------------------------------------------------------------
// Folders and files

TEST_F(LANToolsTest, RemoveTreeRefusesShortPaths) {
  Env.WriteFile("keep/file.txt", "x");
  // Characters count, not bytes: "/\xC3\xA9/x" is four characters long.
  for (const std::string path : {"/tmp", "abcd", "", "/./.", "////////", "/\xC3\xA9/x"}) {
    Errors.clear();
    RemoveTree(path, false);
    ASSERT_EQ(Errors.size(), 1u) << path;
    EXPECT_EQ(Errors[0].Message, "Directory removal aborted. Path \"" + path +
                                     "\" doesn't match the 5 characters minimum limit.");
    EXPECT_EQ(Errors[0].HelpContext, 0);
  }
  EXPECT_TRUE(FolderExists("/tmp"));
  EXPECT_TRUE(Exists(Env.Root() + "keep/file.txt"));
}

TEST_F(LANToolsTest, RemoveTreeRemovesEverythingButNeverFollowsLinks) {
  const std::string top = Env.Root() + "tree/";
  Env.WriteFile(top + "a.txt", "a");
  Env.WriteFile(top + ".hidden", "h");
  Env.WriteFile(top + "sub/deeper/b.txt", "b");
  Env.WriteFile(top + "locked/c.txt", "c");
  Env.WriteFile(Env.Root() + "outside/precious.txt", "p");
  fs::permissions(top + "a.txt", fs::perms::owner_read, fs::perm_options::replace);
  fs::permissions(top + "locked", fs::perms::owner_read | fs::perms::owner_exec,
                  fs::perm_options::replace);
  fs::create_directory_symlink(Env.Root() + "outside", top + "sub/link");

  // A link named as the folder to remove is not followed, also when written
  // with a trailing "/".
  fs::create_directory_symlink(Env.Root() + "outside", Env.Root() + "linked");
  RemoveTree(Env.Root() + "linked/", false);
  EXPECT_TRUE(Exists(Env.Root() + "outside/precious.txt"));

  RemoveTree(top, true);
  EXPECT_TRUE(FolderExists(top));
  EXPECT_TRUE(fs::is_empty(top));
  EXPECT_TRUE(Exists(Env.Root() + "outside/precious.txt"));
  EXPECT_TRUE(Errors.empty());

  Env.WriteFile(top + "again/x.txt", "x");
  RemoveTree(Env.Root() + "tree", false);
  EXPECT_FALSE(Exists(top));
}

TEST_F(LANToolsTest, KillFile) {
  const std::string file = Env.Root() + "readonly.txt";
  Env.WriteFile(file, "x");
  fs::permissions(file, fs::perms::owner_read, fs::perm_options::replace);
  KillFile(file);
  EXPECT_FALSE(Exists(file));

  KillFile(Env.Root() + "missing.txt");
  EXPECT_TRUE(Errors.empty());
}

TEST_F(LANToolsTest, KillFileGivesUpAfterSomeSeconds) {
  // No one may delete a file of /proc, so every attempt fails.
  const auto start = std::chrono::steady_clock::now();
  KillFile("/proc/self/comm");
  const auto waited = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0].Label, "KillFile");
  EXPECT_EQ(Errors[0].Message, "Couldn't delete file \"/proc/self/comm\"!");
  EXPECT_EQ(Errors[0].HelpContext, 11);
  EXPECT_GE(waited, std::chrono::seconds(4));
  EXPECT_GE(MessageRuns, 1);  // the window stayed responsive meanwhile
}

TEST_F(LANToolsTest, MessagesAreProcessedAtALimitedRate) {
  StartLANTools();
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  ProcessMessagesThrottled(100);
  EXPECT_EQ(MessageRuns, 1);
  // Processing restarts the interval: twice more at once, nothing runs.
  ProcessMessagesThrottled(100);
  ProcessMessagesThrottled(500);
  EXPECT_EQ(MessageRuns, 1);
}

TEST_F(LANToolsTest, FoldersAndCaselessNames) {
  EXPECT_EQ(WithTrailingDelimiter("/a/b"), "/a/b/");
  EXPECT_EQ(WithTrailingDelimiter("/a/b/"), "/a/b/");
  Env.SetEnv("TMPDIR", std::nullopt);
  EXPECT_EQ(GetTempFolder(), "/tmp/");

  // The XDG documents folder when configured.
  Env.WriteFile(Env.Home() + ".config/user-dirs.dirs",
                "# written by xdg-user-dirs-update\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
  EXPECT_EQ(GetSpecialFolder(CSIDL_PERSONAL), Env.Home() + "Dokumente");
  EXPECT_EQ(GetSpecialFolder(12345), "");

  EXPECT_THROW(EnsureFolder(""), EFolderError);
  EXPECT_FALSE(EnsureFolder(Env.Root() + "new/deep/folder"));
  EXPECT_TRUE(FolderExists(Env.Root() + "new/deep/folder"));
  Env.WriteFile("plain", "x");
  std::string reason;
  EXPECT_TRUE(EnsureFolder(Env.Root() + "plain/sub", &reason));
  EXPECT_FALSE(reason.empty());

  fs::create_directories(Env.Root() + "data/db");
  Env.WriteFile(Env.Root() + "data/db/cd_exchangerates_0.id", "7\r\n");
  EXPECT_EQ(CaselessPath(Env.Root() + "DATA/DB/CD_EXCHANGERATES_0.ID"),
            Env.Root() + "data/db/cd_exchangerates_0.id");
  EXPECT_EQ(CaselessPath(Env.Root() + "data/DB/NEW_0.ID"), Env.Root() + "data/db/NEW_0.ID");
  EXPECT_EQ(CaselessPath(Env.Root() + "Data/"), Env.Root() + "data/");
}

// ---------------------------------------------------------------------------
// Text and command line

TEST(LANToolsText, HasSwitch) {
  const std::string kEnDash = "\xE2\x80\x93", kEAcute = "\xC3\xA9";
  struct {
    std::vector<std::string> Args;
    bool Leading, Expected;
  } cases[] = {
      {{}, true, false},
      {{"AUTORUN"}, true, false},
      {{"/AUTORUN"}, true, true},
      {{"/auto"}, true, true},
      {{"-AUTO"}, true, true},
      {{"xAuto"}, true, true},
      {{"auto"}, true, true},
      {{"AUTOMATIC"}, true, false},
      {{"auto=1"}, true, false},
      {{"x", "auto"}, true, true},
      {{"/auto"}, false, false},
      {{"Auto"}, false, true},
      {{"/aut"}, true, false},
      // The leading character counts as one however many bytes it takes.
      {{kEnDash + "auto"}, true, true},
      {{kEAcute + "AUTORUN"}, true, true},
  };
  for (const auto& c : cases) {
    SetCommandLineArguments(c.Args);
    EXPECT_EQ(HasSwitch("auto", c.Leading), c.Expected)
        << (c.Args.empty() ? "(none)" : c.Args.back());
  }
  SetCommandLineArguments({});
}

TEST(LANToolsText, DelimitedItem) {
  EXPECT_EQ(DelimitedItem(2, "dbhost:5432", ':'), "5432");
  EXPECT_EQ(DelimitedItem(1, "dbhost:5432", ':'), "dbhost");
  EXPECT_EQ(DelimitedItem(3, "a,b", ','), "");
  EXPECT_EQ(DelimitedItem(2, "a,", ','), "");
  EXPECT_EQ(DelimitedItem(1, "", ','), "");
  EXPECT_EQ(DelimitedItem(0, "a", ','), "");
  EXPECT_EQ(DelimitedItem(2, " a , b ", ','), " b ");  // spaces belong to items
  EXPECT_EQ(DelimitedItem(2, "a,,c", ','), "");
  EXPECT_EQ(DelimitedItem(3, "a,,c", ','), "c");
  // Quoted items hold the delimiter and doubled quotes.
  EXPECT_EQ(DelimitedItem(1, "\"x,y\",z", ','), "x,y");
  EXPECT_EQ(DelimitedItem(2, "\"x,y\",z", ','), "z");
  EXPECT_EQ(DelimitedItem(1, "\"say \"\"hi\"\"\"", ','), "say \"hi\"");
  EXPECT_EQ(DelimitedItem(1, "\"open,end", ','), "open,end");
  EXPECT_EQ(DelimitedItem(2, "ab\"c,d", ','), "d");

  // A space stands for the default list delimiter.
  PushDelimiter(';');
  EXPECT_EQ(ListDelimiter(), ';');
  EXPECT_EQ(DelimitedItem(2, "a;b,c", ' '), "b,c");
  PopDelimiter();
  EXPECT_EQ(ListDelimiter(), ',');
  EXPECT_EQ(DelimitedItem(2, "a;b,c", ' '), "c");
}

TEST(LANToolsText, PadLeftAndUpperText) {
  EXPECT_EQ(PadLeft("7", 4, '0'), "0007");
  EXPECT_EQ(PadLeft("12345", 4, '0'), "12345");
  EXPECT_EQ(PadLeft("", 2, '*'), "**");
  EXPECT_EQ(PadLeft("\xC3\xA4", 3, '-'), "--\xC3\xA4");  // counts characters
  EXPECT_EQ(UpperText("abc xyz-09"), "ABC XYZ-09");
  EXPECT_EQ(UpperText("gr\xC3\xBC\xC3\x9F"
                      "e \xC3\xA9t\xC3\xA9"),
            "GR\xC3\xBC\xC3\x9F"
            "E \xC3\xA9T\xC3\xA9");
}

TEST(LANToolsText, NowUTCIsADayCount) {
  const double before = 25569.0 + static_cast<double>(std::time(nullptr)) / 86400.0;
  const double now = NowUTC();
  EXPECT_NEAR(now, before, 2.0 / 86400.0);
  EXPECT_GT(now, 40000.0);
}

TEST_F(LANToolsTest, ApplicationTitleReachesTheWindowLayer) {
  SetApplicationTitle("Seavane Tessaly");
  EXPECT_EQ(ApplicationTitle(), "Seavane Tessaly");
  EXPECT_EQ(Titles, std::vector<std::string>{"Seavane Tessaly"});
}

TEST(LANToolsHeadless, ErrorsGoToStandardErrorWithoutAWindowLayer) {
  SetEnvironmentHooks({});
  SetApplicationTitle("Seavane Tessaly");
  ::testing::internal::CaptureStderr();
  RemoveTree("abc", false);
  const std::string out = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(out,
            "[Seavane Tessaly] Error\nDirectory removal aborted. Path \"abc\" doesn't match the 5 "
            "characters minimum limit.\n");
  SetApplicationTitle("");
}
