#pragma once

#include <QString>

// The folder for the process's sockets and locks: the session's XDG_RUNTIME_DIR.
//
// A start without one (ssh without a login session, cron, su) gets a folder of its own in the
// temporary folder, `runtime-<user>` with mode 0700, the one Qt itself would fall back to, and
// XDG_RUNTIME_DIR is set to it for the rest of the process: Qt's platform start-up looks there
// and would otherwise warn on standard error at every start. A runtime folder that is set but
// unusable (someone else's, open to others) is left for Qt to report.
//
// Call before the application object exists. Returns the folder, or an empty string when none
// can be used.
QString PrepareRuntimeFolder();
