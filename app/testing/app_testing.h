// Test support for the program: a throw-away installation (home, work-files
// folder, user hive, data folder with a real dictionary made by sdbsql), a
// feed server on loopback, and runs of the real executable.
#pragma once

#include <memory>
#include <string>
#include <vector>

class TLoopbackHttpServer;

/// What one run of the program left behind.
struct TProgramRun {
  int ExitStatus = -1;  ///< -1 when the program crashed or did not finish
  std::string Out;      ///< standard output
  std::string Err;      ///< standard error
  /// Standard output split into lines (the status report of an unattended
  /// run); a final line break ends the last line.
  std::vector<std::string> OutLines() const;
};

/// A fresh installation in a temporary folder. The user hive names the data
/// folder and, once Serve() ran, the feed host; the machine hive is empty.
class TInstallationFixture {
 public:
  TInstallationFixture();
  ~TInstallationFixture();
  TInstallationFixture(const TInstallationFixture&) = delete;
  TInstallationFixture& operator=(const TInstallationFixture&) = delete;

  const std::string& Root() const { return FRoot; }
  /// The data folder, ending with "/"; db/db.add lives here.
  std::string DataFolder() const { return FRoot + "data/"; }
  std::string Dictionary() const { return DataFolder() + "db/db.add"; }
  std::string FeedFolder() const { return FRoot + "feeds/"; }
  std::string UserHive() const { return FRoot + "hives/user.ini"; }
  std::string WorkFiles() const { return FRoot + "tmp/"; }

  /// Creates the dictionary from engine SQL (sdbsql --create).
  void CreateDictionary(const std::string& sql) const;
  /// The project's demo dictionary.
  void CreateDemoDictionary() const;
  /// Runs engine SQL against the dictionary.
  void Sql(const std::string& sql) const;
  /// Rows of a query read with the sqlite3 shell, one text per row, values
  /// separated by "|".
  std::vector<std::string> Rows(const std::string& query) const;

  /// Writes a feed file served as /daily/<code>.xml.
  void WriteFeed(const std::string& code, const std::string& xml) const;
  /// A feed of well-formed entries: each pair is target code, rate text.
  static std::string Feed(const std::string& pubDate,
                          const std::vector<std::pair<std::string, std::string>>& entries);
  /// Starts the feed server on FeedFolder() and names it in the user hive.
  void Serve();
  TLoopbackHttpServer& Server() const { return *FServer; }

  /// Sets a value under [Software\Seavane] of the user hive.
  void SetUserSetting(const std::string& name, const std::string& value);

  /// Runs the program (or another executable) with the arguments, headless,
  /// in this installation's environment; waits at most timeoutMs.
  TProgramRun Run(const std::vector<std::string>& arguments, int timeoutMs = 60000,
                  const std::string& executable = "") const;

  /// Files of a folder (names only, sorted).
  static std::vector<std::string> Files(const std::string& folder);
  static std::string ReadFile(const std::string& path);
  static void WriteFile(const std::string& path, const std::string& text);

 private:
  void WriteUserHive() const;

  std::string FRoot;
  std::vector<std::pair<std::string, std::string>> FUserSettings;
  std::unique_ptr<TLoopbackHttpServer> FServer;
};

/// The lines of a text, split at "\n"; a final line break ends the last line.
std::vector<std::string> SplitLines(const std::string& text);
