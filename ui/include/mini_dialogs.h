// Message dialogs: every message of the program's own code in one modal
// dialog captioned with the application title, or on standard error headless.
#pragma once

#include <string>

/// Message kinds; any other value shows no heading and the information icon.
enum TTaskMessageKind : int { mkWarning = 0, mkError = 1, mkInformation = 2, mkQuestion = 3 };

/// A set of the standard buttons (bit flags).
using TTaskButtons = unsigned;
inline constexpr TTaskButtons tbOK = 1u << 0;
inline constexpr TTaskButtons tbYes = 1u << 1;
inline constexpr TTaskButtons tbNo = 1u << 2;
inline constexpr TTaskButtons tbCancel = 1u << 3;
inline constexpr TTaskButtons tbRetry = 1u << 4;
inline constexpr TTaskButtons tbClose = 1u << 5;

/// Result codes of the button that closed a dialog.
inline constexpr int mrNone = 0;  ///< the dialog was not shown
inline constexpr int mrOK = 1;
inline constexpr int mrCancel = 2;  ///< also Esc and the close box
inline constexpr int mrRetry = 4;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;
inline constexpr int mrClose = 8;

/// Shows the message modally over the active window: caption = application
/// title, heading by kind, the text shown literally. Answers the result code,
/// or mrNone when there is no display: then caption, heading and message go
/// to standard error as one block.
int ShowTaskMessage(const std::string& message, int kind, TTaskButtons buttons, int helpContext);

/// Kind error, OK only.
void ShowError(const std::string& message, int helpContext = 0);
/// Kind error, OK only; the label names the reporting routine and is not shown.
void ShowErrorCaptioned(const std::string& label, const std::string& message, int helpContext);
/// Kind warning, OK only.
void ShowWarning(const std::string& message);

/// Whether dialogs can be shown: a Qt application exists, its platform is not
/// "offscreen", and DISPLAY or WAYLAND_DISPLAY is set.
bool DialogsCanBeShown();

/// Connects the environment to the Qt application: message processing,
/// application title and error dialogs. Call after the QApplication exists.
void InstallDialogHooks();
