#pragma once
// Passwords for the command-line tools, from the two places that other users cannot
// read: a file of the user's, or the tool's own environment.
#include <QString>

// The password in the file: its whole content less one line ending. False with a
// message in error when the file cannot be read; warning is set when other users can
// read it.
bool readPasswordFile(const QString& name, QString* password, QString* error, QString* warning);
// The variable's value, taken out of the process's environment so that no child
// inherits it; a null text when it was not set.
QString takeEnvironmentSecret(const char* name);
