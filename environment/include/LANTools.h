// Installation environment: the installation's folders and database server,
// registry and INI reading, the work folder, file removal, text utilities.

// Everything here runs on the main thread. The settings are written only by
// StartLANTools/ResolveInstallation and cleared by FinishLANTools; the rest of
// the program reads them. Paths built here use "/"; values read from settings
// are used as given. Module start and finish are explicit calls, in the order
// LoadBranding, StartLANTools ... FinishLANTools, FinishBranding.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "exceptions.h"

/// A folder that cannot be created, or a path of an unsupported form.
class EFolderError : public Exception {
 public:
  using Exception::Exception;
};

// ---------------------------------------------------------------------------
// Installation settings

/// The process-wide installation settings. Folders end with "/".
struct TInstallation {
  std::string ClientFolder;     ///< the family's programs
  std::string DataFolder;       ///< shared data: db/db.add, record ID files
  std::string DBServer;         ///< database server host
  int32_t DBPort = 0;           ///< database server port
  std::string WorkFolder;       ///< this process's private work folder
  std::string DocumentsFolder;  ///< the user's Documents folder
  int32_t StationNumber = 0;    ///< this workstation in the record ID scheme
};

const TInstallation& Installation();
inline const std::string& ClientFolder() {
  return Installation().ClientFolder;
}
inline const std::string& DataFolder() {
  return Installation().DataFolder;
}
inline const std::string& DBServer() {
  return Installation().DBServer;
}
inline int32_t DBPort() {
  return Installation().DBPort;
}
inline const std::string& WorkFolder() {
  return Installation().WorkFolder;
}
inline const std::string& DocumentsFolder() {
  return Installation().DocumentsFolder;
}
inline int32_t StationNumber() {
  return Installation().StationNumber;
}
void SetStationNumber(int32_t station);

/// Resolves the settings from the hives, the user environment and
/// seavane.cfg, publishes the folders, creates the work folder.
/// Throws EFolderError when the work folder cannot be created.
void ResolveInstallation();

/// Module start, steps in order: message-processing clock, computer name
/// cleared, list delimiter ",", time format "hh:mm:ss", ResolveInstallation,
/// station 0. The hand cursor belongs to the main window.
void StartLANTools();
/// Module finish: removes the work folder with its content, clears settings.
void FinishLANTools();

// ---------------------------------------------------------------------------
// The running program and its command line

/// The running program's file; /proc/self/exe unless set.
const std::string& ProgramFile();
/// Lets tests and the program start name the program file explicitly.
void SetProgramFile(const std::string& path);
/// Folder of ProgramFile(), ending with "/".
std::string ProgramFolder();

/// Arguments after the program name: as set, else from /proc/self/cmdline.
const std::vector<std::string>& CommandLineArguments();
void SetCommandLineArguments(std::vector<std::string> arguments);

// ---------------------------------------------------------------------------
// Registry hives (INI files), INI files and the user environment

/// The user hive: $SEAVANE_USER_HIVE, else $XDG_CONFIG_HOME/registry/user.ini,
/// else $HOME/.config/registry/user.ini.
std::string UserHivePath();
/// The machine hive: $SEAVANE_MACHINE_HIVE, else /etc/registry/machine.ini.
std::string MachineHivePath();

/// Value `name` under Software\<root>\<subKey> of the user hive, else under
/// <subKey> from the hive's top, else `def`. Key paths and names ignore case
/// (and doubled or trailing backslashes); an empty value counts as missing.
std::string ReadUserSetting(const std::string& subKey, const std::string& name,
                            const std::string& def);
/// The same in the machine hive.
std::string ReadMachineSetting(const std::string& subKey, const std::string& name,
                               const std::string& def);

/// Value of `key` in `section` of an INI file (at most 399 characters), or
/// `def` when the file, the section or the key is missing or the value empty.
std::string ReadIniValue(const std::string& section, const std::string& key,
                         const std::string& file, const std::string& def);

/// User environment variable from the user hive's "Environment" key, with
/// %NAME% references expanded from the process environment; at most 254
/// characters.
std::string ReadUserEnvironment(const std::string& name);
/// Writes a user environment variable into the user hive. Throws Exception
/// when the hive cannot be read or written or the value holds a line break.
void WriteUserEnvironment(const std::string& name, const std::string& value);
/// Writes SeavaneClient/SeavaneData where they differ from the folders.
/// Answers whether anything was written.
bool PublishFolderVariables();

/// The computer name: machine hive's active, then configured computer name,
/// else the host name. Read once, then remembered.
const std::string& LocalComputerName();

// ---------------------------------------------------------------------------
// Folders and files

/// $TMPDIR, else /tmp/; always ends with "/".
std::string GetTempFolder();

/// Special folder numbers understood by GetSpecialFolder.
inline constexpr int CSIDL_DESKTOPDIRECTORY = 0x10;
inline constexpr int CSIDL_PERSONAL = 5;  ///< Documents
inline constexpr int CSIDL_MYMUSIC = 0x0d;
inline constexpr int CSIDL_MYVIDEO = 0x0e;
inline constexpr int CSIDL_APPDATA = 0x1a;
inline constexpr int CSIDL_LOCAL_APPDATA = 0x1c;
inline constexpr int CSIDL_MYPICTURES = 0x27;
inline constexpr int CSIDL_PROFILE = 0x28;
/// Path of a special folder (XDG user directories), without trailing "/";
/// empty for a number it does not know.
std::string GetSpecialFolder(int folder);

bool FolderExists(const std::string& path);
/// True for an existing entry that is not a folder.
bool FileExists(const std::string& path);
/// The path ending with "/".
std::string WithTrailingDelimiter(const std::string& path);
/// Creates the folder with its missing parents. Answers true when the folder
/// still does not exist afterwards (the reason then in *reason). Throws
/// EFolderError for an empty path.
bool EnsureFolder(const std::string& path, std::string* reason = nullptr);
/// Removes everything below `path`, and the folder itself unless keepRoot.
/// Refuses paths under 5 characters (and paths naming the root folder) with
/// an error message. Symbolic links are removed, never followed.
void RemoveTree(const std::string& path, bool keepRoot);
/// Deletes one file, retrying for up to 4 seconds; tells the user when the
/// file stays. A missing file is no error.
void KillFile(const std::string& path);
/// Lets the window process pending messages, at most once per `ms`.
void ProcessMessagesThrottled(int ms);

/// A path the program builds, matched case-insensitively against existing
/// entries one component at a time; components without a match keep their
/// spelling (a new entry is created as spelt).
std::string CaselessPath(const std::string& path);

// ---------------------------------------------------------------------------
// Text and command line

/// Whether a command-line argument equals `name` (ignoring case) or, with
/// allowLeadingChar, carries it from its second character on.
bool HasSwitch(const std::string& name, bool allowLeadingChar);
/// Item n (from 1) of a delimited text; a space delimiter stands for the
/// default list delimiter. Quoted items may hold the delimiter.
std::string DelimitedItem(int n, const std::string& text, char delimiter);
/// The default list delimiter ("," after module start).
char ListDelimiter();
/// Saves the default list delimiter (one level) and sets `c`.
void PushDelimiter(char c);
/// Restores the saved default list delimiter.
void PopDelimiter();
/// `text` with `fill` in front up to `width` characters.
std::string PadLeft(const std::string& text, int width, char fill);
/// Letters a to z upper-cased; every other character kept.
std::string UpperText(const std::string& text);
/// Sets the application title (captions the dialogs).
void SetApplicationTitle(const std::string& title);
const std::string& ApplicationTitle();
/// Current UTC time as days since 1899-12-30, millisecond resolution.
double NowUTC();

// ---------------------------------------------------------------------------
// Hooks into the windowing layer (installed by ui/; none in plain tests)

struct TEnvironmentHooks {
  /// Processes all pending window messages.
  std::function<void()> ProcessMessages;
  /// Called with the new application title.
  std::function<void(const std::string& title)> ApplicationTitleChanged;
  /// Shows an error dialog (label, message, help context).
  std::function<void(const std::string& label, const std::string& message, int helpContext)>
      ShowError;
};
void SetEnvironmentHooks(TEnvironmentHooks hooks);

/// Shows an error through the hook; without one, writes it to standard error.
void EnvironmentShowError(const std::string& label, const std::string& message, int helpContext);

/// The text of a dialog that could not be shown: caption, heading and message
/// as one block, as written to standard error.
std::string MessageBlockText(const std::string& caption, const std::string& heading,
                             const std::string& message);
