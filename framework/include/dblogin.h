// The login dialog that a program may install for database connections that
// ask for a user name and password before they connect.
#pragma once

#include <functional>
#include <string>

/// Shows the dialog for the database `databaseName` with the user name and
/// password proposed; answers false when the user cancels, else true with
/// the two values as entered.
using TLoginDialog = std::function<bool(const std::string& databaseName, std::string& userName,
                                        std::string& password)>;

/// The process-wide login dialog. Empty by default: connections then use
/// their stored user name and password.
TLoginDialog& LoginDialogHook();
