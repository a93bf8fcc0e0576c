#include "storage/IniFile.h"

#include "platform/ProfileFile.h"
#include "storage/FileContent.h"

std::string TIniFile::GetStr(const std::string& section, const std::string& key,
                             const std::string& fallback) const {
    return GetPrivateProfileString(section, key, fallback, FilePath());
}

std::string TIniFile::CurrentText() const {
    return ReadFileContent(FilePath()).value_or(std::string());
}

void TIniFile::PutStr(const std::string& section, const std::string& key,
                      const std::string& value) {
    ReplaceFileContent(FilePath(), WithProfileValue(CurrentText(), section, key, value));
}

void TIniFile::GetKeyNames(const std::string& section, TStringList& target) const {
    target.Clear();
    for (ProfileKey& k : GetPrivateProfileSection(section, FilePath()))
        target.Add(std::move(k.key));
}

void TIniFile::GetSectionNames(TStringList& target) const {
    target.Clear();
    for (std::string& name : GetPrivateProfileSectionNames(FilePath()))
        target.Add(std::move(name));
}

void TIniFile::GetSectionLines(const std::string& section, TStringList& target) const {
    target.Clear();
    for (const ProfileKey& k : GetPrivateProfileSection(section, FilePath()))
        target.Add(k.key + "=" + k.value);
}

void TIniFile::RemoveSection(const std::string& section) {
    std::string text = CurrentText();
    std::string changed = WithoutProfileSection(text, section);
    if (changed != text)
        ReplaceFileContent(FilePath(), changed);
}

void TIniFile::RemoveKey(const std::string& section, const std::string& key) {
    std::string text = CurrentText();
    std::string changed = WithoutProfileKey(text, section, key);
    if (changed != text)
        ReplaceFileContent(FilePath(), changed);
}
