#pragma once

#include <QString>

#include <functional>
#include <string>

// The program's default error report on screen: a modal error box with the critical icon, the
// message, one OK button and the display name as caption. It returns when the box is closed.
void ShowErrorBox(const std::string& messageGbk);

// Whether anyone sees the windows of Qt's platform plugin `platformName`: not those of
// "offscreen" and "minimal", which draw into memory only.
bool ShowsWindows(const QString& platformName);

// The error report of a run without a display, as one UTF-8 line on standard error: the display
// name, ": " and the message, its line breaks turned into blanks. Returns at once, as the box's
// OK would.
void WriteErrorLine(const std::string& messageGbk);

// Makes the default error report (platform/ErrorReport.h) ShowErrorBox, or WriteErrorLine when
// the application's platform shows no windows. Call after the application object exists.
void InstallErrorBox();

// What puts the box on screen. Tests install a recorder; an empty runner restores the real
// message box. Returns the previous runner.
using ErrorBoxRunner = std::function<void(const QString& caption, const QString& text)>;
ErrorBoxRunner SetErrorBoxRunner(ErrorBoxRunner runner);
