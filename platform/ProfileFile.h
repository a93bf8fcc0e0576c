#pragma once

#include <string>
#include <string_view>
#include <vector>

// Private profile files: the reading rules of the platform's profile-file functions, used by the
// skin description reader (through TIniFile) only.
//
// Reading rules:
//   - Lines end at CR LF, LF or CR. Every line is trimmed of blank bytes (0x00..0x20).
//   - Empty lines and lines starting with ";" are comments.
//   - A line starting with "[" and holding a "]" opens a section: its name is the trimmed text
//     between the "[" and the last "]"; anything after that "]" is ignored.
//   - In a section, a line "key = value" gives the trimmed key and the trimmed value; a value
//     enclosed in a matching pair of double or single quotes loses them. A line without "=" is a
//     key without a value. Lines before the first section belong to no section and are never
//     found.
//   - Section and key names are compared without regard to ASCII letter case (GBK-aware: the
//     second byte of a double-byte character is never folded). With duplicates the first
//     section of a name is the one searched, and within it the first key of a name.
// A missing or unreadable file reads as an empty one. Every call reads the file afresh.

struct ProfileKey {
    std::string key;
    std::string value; // quotes removed
};

struct ProfileSection {
    std::string name;
    std::vector<ProfileKey> keys;
};

// The sections of a profile text, in file order, duplicates included.
std::vector<ProfileSection> ParseProfileText(std::string_view text);

// The whole content of the file at `path`, or the empty string when it cannot be read.
std::string ReadProfileFile(const std::string& path);

// The value of `key` in `section`, or `fallback` when either is missing. A key with an empty
// value (or no "=") gives the empty string.
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view fallback, const std::string& path);
// Every section name of the file, in file order, duplicates included.
std::vector<std::string> GetPrivateProfileSectionNames(const std::string& path);
// Every key of the section, in file order (empty when the section is missing).
std::vector<ProfileKey> GetPrivateProfileSection(std::string_view section, const std::string& path);

// Writing, as pure text edits: the new content of a profile file after the change. Lines that
// are not touched (comments, blank lines, other sections) stay as they are; new lines end in
// CR LF.
//   WithProfileValue: replaces the first line of `key` in the first section named `section` by
//     key=value, or adds that line after the section's last key, or adds the section (after an
//     empty line) with that line at the end of the text.
//   WithoutProfileKey: removes the first line of `key` in that section, if any.
//   WithoutProfileSection: removes the first section of that name with all its lines.
std::string WithProfileValue(std::string_view text, std::string_view section, std::string_view key,
                             std::string_view value);
std::string WithoutProfileKey(std::string_view text, std::string_view section,
                              std::string_view key);
std::string WithoutProfileSection(std::string_view text, std::string_view section);
