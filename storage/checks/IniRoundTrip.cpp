#include "storage/checks/IniRoundTrip.h"

#include "platform/GbkText.h"
#include "platform/ProfileFile.h"
#include "storage/MemIniFile.h"
#include "storage/StreamErrors.h"

#include <fstream>

namespace {

bool SameFolded(std::string_view a, std::string_view b) {
    return GbkUpperCase(a) == GbkUpperCase(b);
}

// The last position whose entry (or name part, for `names`) equals `key`, by plain scan.
int LastMatch(const TStringList& list, std::string_view key, bool names) {
    int found = -1;
    for (int i = 0; i < list.Count(); ++i) {
        std::string_view entry = list[i];
        if (names) {
            size_t eq = entry.find('=');
            if (eq == std::string_view::npos)
                continue;
            entry = entry.substr(0, eq);
        }
        if (SameFolded(entry, key))
            found = i;
    }
    return found;
}

std::string CheckLookups(const TMemIniFile& ini) {
    const THashedStringList& sections = ini.SectionList();
    for (int s = 0; s < sections.Count(); ++s) {
        const std::string& name = sections[s];
        if (sections.FindEntry(name) != LastMatch(sections, name, false))
            return "section lookup disagrees for [" + name + "]";
        const auto* lines = static_cast<const THashedStringList*>(sections.Objects(s));
        for (int k = 0; k < lines->Count(); ++k) {
            std::string key(lines->Names(k));
            if ((*lines)[k].find('=') == std::string::npos)
                continue;
            if (lines->FindKey(key) != LastMatch(*lines, key, true))
                return "key lookup disagrees for " + key;
            // Through the document: the last section of the name, its last line of the key.
            const int last = LastMatch(sections, name, false);
            if (last == s) {
                std::string expected(lines->ValueFromIndex(LastMatch(*lines, key, true)));
                if (ini.GetStr(name, key, "\x01") != expected)
                    return "GetStr disagrees for " + key;
                ini.GetInt(name, key, 0);
                ini.GetBool(name, key, false);
            }
        }
    }
    return "";
}

std::string CheckProfile(std::string_view bytes) {
    std::vector<ProfileSection> sections = ParseProfileText(bytes);
    std::string section = sections.empty() ? std::string("S") : sections.back().name;
    // A name that the reading rules can give back unchanged.
    if (section.find_first_of("]\r\n") != std::string::npos || section.empty())
        section = "S";
    std::string text = WithProfileValue(bytes, section, "FuzzKey", "v=1");
    for (const ProfileSection& s : ParseProfileText(text)) {
        if (!SameFolded(s.name, section))
            continue;
        for (const ProfileKey& k : s.keys)
            if (SameFolded(k.key, "FuzzKey"))
                return k.value == "v=1" ? "" : "profile read back " + k.value;
        return "profile key not found after writing it";
    }
    return "profile section not found after writing it";
}

} // namespace

std::string CheckIniRoundTrip(std::string_view bytes, const std::string& dir) {
    const std::string path = dir + "/fuzz.ini";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out)
            return "cannot write the input file";
    }
    std::string saved;
    try {
        TMemIniFile ini(path);
        if (std::string problem = CheckLookups(ini); !problem.empty())
            return problem;
        ini.Save();
        saved = ini.Text();
        TMemIniFile reloaded(path);
        if (reloaded.Text() != saved)
            return "reload differs from what was saved";
        TStringList a, b;
        ini.GetSectionNames(a);
        reloaded.GetSectionNames(b);
        if (a.Text() != b.Text())
            return "section names differ after reload";
    } catch (const EStreamError& e) {
        return std::string("file error: ") + e.what();
    }
    return CheckProfile(bytes);
}
