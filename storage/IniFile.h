#pragma once

#include "storage/CustomIniFile.h"

// An INI document read through the profile-file functions (platform/ProfileFile.h) instead of
// an in-memory model: every read goes to the file as it is at that moment, and every write
// changes the file at once (atomically, as TMemIniFile::Save does), so Save has nothing left to
// do. Sections and keys are compared without regard to ASCII letter case; with duplicates the
// first one counts. A missing file reads as empty; a write creates it.
//
// The skin description reader uses it; the server list goes through TMemIniFile.
class TIniFile : public TCustomIniFile {
public:
    explicit TIniFile(const std::string& path) : TCustomIniFile(path) {}

    std::string GetStr(const std::string& section, const std::string& key,
                       const std::string& fallback) const override;
    // Raises EFCreateError or EWriteError like TMemIniFile::Save.
    void PutStr(const std::string& section, const std::string& key,
                const std::string& value) override;
    void GetKeyNames(const std::string& section, TStringList& target) const override;
    // Section names in file order, duplicates included.
    void GetSectionNames(TStringList& target) const override;
    // Every key of the section as "key=value" (a key without "=" in the file gives "key=").
    void GetSectionLines(const std::string& section, TStringList& target) const override;
    void RemoveSection(const std::string& section) override;
    void RemoveKey(const std::string& section, const std::string& key) override;
    // Writes go to the file at once; nothing is pending.
    void Save() override {}

private:
    std::string CurrentText() const;
};
