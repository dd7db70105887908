// Program start: the modules in their order, the application title, the main
// window, then either the message loop or one unattended update run.
#pragma once

#include <string>
#include <vector>

/// Runs the program with its command line (argv[0] the program) and answers
/// the exit status: 0, or 1 when the start fails or a failure escapes the
/// unattended run.
int TessalyMain(int argc, char** argv);

/// Whether the first argument asks for the unattended run: it contains
/// "AUTO" in any case.
bool IsUnattendedStart(const std::vector<std::string>& arguments);

/// Chooses Qt's offscreen platform when no display is reachable (no DISPLAY
/// and no WAYLAND_DISPLAY) and no platform was asked for. Answers whether the
/// program runs without a display.
bool ChooseHeadlessPlatform();

/// Loads the application icon: oem.ico beside the program when present (an
/// unreadable one raises Exception), else the program's own icon.
void LoadApplicationIcon();

/// The text of the "Application Error" box for a failure that escaped the
/// unattended run: the failure's class and its message.
std::string ApplicationErrorText(const std::string& className, const std::string& message);
