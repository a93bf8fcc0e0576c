#pragma once

// What the settings dialog needs of the main window: the cycle timer and the table rebuild.
class SettingsHost {
public:
    virtual ~SettingsHost() = default;
    // Timer1: stop it; set its interval and start it.
    virtual void StopCycleTimer() = 0;
    virtual void StartCycleTimer(int intervalMs) = 0;
    // LoadServers: rebuild the table and the rows from servers.ini; throws the INI document's
    // errors when the file cannot be read.
    virtual void ReloadServers() = 0;
};
