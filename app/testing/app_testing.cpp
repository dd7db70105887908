#include "app_testing.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "LoopbackHttpServer.h"

namespace fs = std::filesystem;

namespace {

std::string RunTool(const std::string& program, const QStringList& arguments) {
  QProcess process;
  process.start(QString::fromStdString(program), arguments);
  if (!process.waitForFinished(120000)) {
    process.kill();
    process.waitForFinished();
    ADD_FAILURE() << program << " did not finish";
    return {};
  }
  const std::string out = process.readAllStandardOutput().toStdString();
  if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
    ADD_FAILURE() << program << " " << arguments.join(' ').toStdString() << " failed:\n"
                  << out << process.readAllStandardError().toStdString();
  return out;
}

}  // namespace

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  while (start < text.size()) {
    const auto end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> TProgramRun::OutLines() const {
  return SplitLines(Out);
}

TInstallationFixture::TInstallationFixture() {
  std::string pattern = (fs::temp_directory_path() / "tessaly-app-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  FRoot = pattern + "/";
  for (const char* sub : {"home", "tmp", "hives", "data/db", "feeds"})
    fs::create_directories(FRoot + sub);
  FUserSettings.push_back({"DataFolder", DataFolder()});
  WriteUserHive();
}

TInstallationFixture::~TInstallationFixture() {
  FServer.reset();
  std::error_code ec;
  fs::remove_all(FRoot, ec);
}

void TInstallationFixture::CreateDictionary(const std::string& sql) const {
  const std::string file = FRoot + "dictionary.sql";
  WriteFile(file, sql);
  std::error_code ec;
  fs::remove(Dictionary(), ec);
  RunTool(TESSALY_SDBSQL, {"--create", "--file", QString::fromStdString(file),
                           QString::fromStdString(Dictionary())});
}

void TInstallationFixture::CreateDemoDictionary() const {
  CreateDictionary(ReadFile(TESSALY_SOURCE_DIR "/engine/tools/demo.sql"));
}

void TInstallationFixture::Sql(const std::string& sql) const {
  RunTool(TESSALY_SDBSQL, {QString::fromStdString(Dictionary()), QString::fromStdString(sql)});
}

std::vector<std::string> TInstallationFixture::Rows(const std::string& query) const {
  return SplitLines(
      RunTool("sqlite3", {"-readonly", "-separator", "|", QString::fromStdString(Dictionary()),
                          QString::fromStdString(query)}));
}

void TInstallationFixture::WriteFeed(const std::string& code, const std::string& xml) const {
  WriteFile(FeedFolder() + code + ".xml", xml);
}

std::string TInstallationFixture::Feed(
    const std::string& pubDate, const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<channel>\n  <title>rates</title>\n";
  for (const auto& [target, rate] : entries)
    xml += "  <item>\n    <title>" + target + "</title>\n    <description>a rate</description>\n" +
           "    <pubDate>" + pubDate + "</pubDate>\n    <targetCurrency>" + target +
           "</targetCurrency>\n    <exchangeRate>" + rate + "</exchangeRate>\n  </item>\n";
  return xml + "</channel>\n";
}

void TInstallationFixture::Serve() {
  FServer = std::make_unique<TLoopbackHttpServer>(FeedFolder());
  SetUserSetting("RateFeedHost", "127.0.0.1:" + std::to_string(FServer->Port()));
}

void TInstallationFixture::SetUserSetting(const std::string& name, const std::string& value) {
  auto it = std::find_if(FUserSettings.begin(), FUserSettings.end(),
                         [&](const auto& setting) { return setting.first == name; });
  if (it != FUserSettings.end())
    it->second = value;
  else
    FUserSettings.push_back({name, value});
  WriteUserHive();
}

void TInstallationFixture::WriteUserHive() const {
  std::string text = "[Software\\Seavane]\n";
  for (const auto& [name, value] : FUserSettings) text += name + "=" + value + "\n";
  WriteFile(UserHive(), text);
}

TProgramRun TInstallationFixture::Run(const std::vector<std::string>& arguments, int timeoutMs,
                                      const std::string& executable) const {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("HOME", QString::fromStdString(FRoot + "home"));
  env.insert("TMPDIR", QString::fromStdString(WorkFiles()));
  env.insert("SEAVANE_USER_HIVE", QString::fromStdString(UserHive()));
  env.insert("SEAVANE_MACHINE_HIVE", QString::fromStdString(FRoot + "hives/machine.ini"));
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.remove("XDG_CONFIG_HOME");
  for (const char* proxy : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
    env.remove(proxy);

  QStringList args;
  for (const std::string& a : arguments) args << QString::fromStdString(a);
  QProcess process;
  process.setProcessEnvironment(env);
  process.setWorkingDirectory(QString::fromStdString(FRoot));
  process.start(QString::fromStdString(executable.empty() ? TESSALY_EXECUTABLE : executable), args);
  TProgramRun run;
  if (!process.waitForFinished(timeoutMs)) {
    process.kill();
    process.waitForFinished();
    ADD_FAILURE() << "the program did not finish in time";
  } else if (process.exitStatus() == QProcess::NormalExit) {
    run.ExitStatus = process.exitCode();
  }
  run.Out = process.readAllStandardOutput().toStdString();
  run.Err = process.readAllStandardError().toStdString();
  return run;
}

std::vector<std::string> TInstallationFixture::Files(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string TInstallationFixture::ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void TInstallationFixture::WriteFile(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}
