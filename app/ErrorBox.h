#pragma once

#include <QString>

#include <functional>
#include <string>

// The program's default error report on screen: a modal error box with the critical icon, the
// message, one OK button and the display name as caption. It returns when the box is closed.
void ShowErrorBox(const std::string& messageGbk);

// Makes ShowErrorBox the default error report (platform/ErrorReport.h).
void InstallErrorBox();

// What puts the box on screen. Tests install a recorder; an empty runner restores the real
// message box. Returns the previous runner.
using ErrorBoxRunner = std::function<void(const QString& caption, const QString& text)>;
ErrorBoxRunner SetErrorBoxRunner(ErrorBoxRunner runner);
