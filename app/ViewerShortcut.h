#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

// Ctrl+H on the monitor's window opens the history viewer on the monitor's own history file,
// as a program of its own (the window shows nothing new for it). The viewer is the
// servermonitor-history installed beside the monitor, else the one on the PATH.
inline constexpr const char* kViewerShortcut = "Ctrl+H";

using ProgramStarter = std::function<bool(const QString& program, const QStringList& arguments)>;

// `start` is the seam for tests; empty: QProcess::startDetached.
void AddViewerShortcut(QWidget& window, const QString& historyPath, ProgramStarter start = {});
