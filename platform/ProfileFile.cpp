#include "platform/ProfileFile.h"

#include "platform/GbkText.h"

#include <fstream>
#include <iterator>
#include <optional>

namespace {

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && GbkUpperCase(a) == GbkUpperCase(b);
}

// One physical line of the text: where it starts, how long it is without its line end, and where
// the next line starts.
struct Line {
    size_t begin, length, next;
};

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> lines;
    size_t i = 0;
    while (i < text.size()) {
        size_t end = text.find_first_of("\r\n", i);
        if (end == std::string_view::npos)
            end = text.size();
        size_t next = end;
        if (next < text.size() && text[next] == '\r')
            ++next;
        if (next < text.size() && text[next] == '\n' && (next == end || text[next - 1] == '\r'))
            ++next;
        lines.push_back({i, end - i, next});
        i = next;
    }
    return lines;
}

enum class Kind { Comment, Header, Key };

struct Classified {
    Kind kind;
    std::string_view name;  // section name or key
    std::string_view value; // key lines only
};

Classified Classify(std::string_view raw) {
    std::string_view line = Trim(raw);
    if (line.empty() || line.front() == ';')
        return {Kind::Comment, {}, {}};
    if (line.front() == '[') {
        size_t close = line.rfind(']');
        if (close != std::string_view::npos && close > 0)
            return {Kind::Header, Trim(line.substr(1, close - 1)), {}};
    }
    size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return {Kind::Key, line, {}};
    std::string_view value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return {Kind::Key, Trim(line.substr(0, eq)), value};
}

// Where the first section named `section` lies in the text, by line numbers.
struct SectionSpan {
    size_t header;             // line of the header
    size_t end;                // first line after the section
    size_t afterLastKey;       // line after the section's last key (or after the header)
    std::optional<size_t> key; // first line of the sought key
};

std::optional<SectionSpan> FindSection(std::string_view text, const std::vector<Line>& lines,
                                       std::string_view section, std::string_view key) {
    std::optional<SectionSpan> span;
    for (size_t i = 0; i < lines.size(); ++i) {
        Classified c = Classify(text.substr(lines[i].begin, lines[i].length));
        if (c.kind == Kind::Header) {
            if (span)
                return span;
            if (SameName(c.name, section))
                span = SectionSpan{i, lines.size(), i + 1, std::nullopt};
        } else if (span && c.kind == Kind::Key) {
            span->afterLastKey = i + 1;
            if (!span->key && SameName(c.name, key))
                span->key = i;
        }
        if (span)
            span->end = i + 1;
    }
    return span;
}

size_t Offset(std::string_view text, const std::vector<Line>& lines, size_t line) {
    return line < lines.size() ? lines[line].begin : text.size();
}

// The text with lines [from, to) replaced by `insert`.
std::string Splice(std::string_view text, const std::vector<Line>& lines, size_t from, size_t to,
                   std::string_view insert) {
    size_t begin = Offset(text, lines, from);
    size_t end = Offset(text, lines, to);
    std::string out(text.substr(0, begin));
    // A last line without its line end must get one before anything follows it.
    if (!insert.empty() && begin == text.size() && !out.empty() && out.back() != '\n' &&
        out.back() != '\r')
        out += "\r\n";
    out.append(insert);
    out.append(text.substr(end));
    return out;
}

} // namespace

std::vector<ProfileSection> ParseProfileText(std::string_view text) {
    std::vector<ProfileSection> sections;
    for (const Line& line : SplitLines(text)) {
        Classified c = Classify(text.substr(line.begin, line.length));
        if (c.kind == Kind::Header)
            sections.push_back({std::string(c.name), {}});
        else if (c.kind == Kind::Key && !sections.empty())
            sections.back().keys.push_back({std::string(c.name), std::string(c.value)});
    }
    return sections;
}

std::string ReadProfileFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::string();
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace {

const ProfileSection* FirstSection(const std::vector<ProfileSection>& sections,
                                   std::string_view name) {
    for (const ProfileSection& s : sections)
        if (SameName(s.name, name))
            return &s;
    return nullptr;
}

} // namespace

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view fallback, const std::string& path) {
    const std::vector<ProfileSection> sections = ParseProfileText(ReadProfileFile(path));
    if (const ProfileSection* s = FirstSection(sections, section))
        for (const ProfileKey& k : s->keys)
            if (SameName(k.key, key))
                return k.value;
    return std::string(fallback);
}

std::vector<std::string> GetPrivateProfileSectionNames(const std::string& path) {
    std::vector<std::string> names;
    for (ProfileSection& s : ParseProfileText(ReadProfileFile(path)))
        names.push_back(std::move(s.name));
    return names;
}

std::vector<ProfileKey> GetPrivateProfileSection(std::string_view section,
                                                 const std::string& path) {
    const std::vector<ProfileSection> sections = ParseProfileText(ReadProfileFile(path));
    const ProfileSection* s = FirstSection(sections, section);
    return s ? s->keys : std::vector<ProfileKey>();
}

std::string WithProfileValue(std::string_view text, std::string_view section, std::string_view key,
                             std::string_view value) {
    const std::vector<Line> lines = SplitLines(text);
    std::string line;
    line.append(key).append("=").append(value).append("\r\n");
    std::optional<SectionSpan> span = FindSection(text, lines, section, key);
    if (!span) {
        std::string added = Trim(text).empty() ? std::string() : std::string("\r\n");
        added.append("[").append(section).append("]\r\n").append(line);
        return Splice(text, lines, lines.size(), lines.size(), added);
    }
    if (span->key)
        return Splice(text, lines, *span->key, *span->key + 1, line);
    return Splice(text, lines, span->afterLastKey, span->afterLastKey, line);
}

std::string WithoutProfileKey(std::string_view text, std::string_view section,
                              std::string_view key) {
    const std::vector<Line> lines = SplitLines(text);
    std::optional<SectionSpan> span = FindSection(text, lines, section, key);
    if (!span || !span->key)
        return std::string(text);
    return Splice(text, lines, *span->key, *span->key + 1, {});
}

std::string WithoutProfileSection(std::string_view text, std::string_view section) {
    const std::vector<Line> lines = SplitLines(text);
    std::optional<SectionSpan> span = FindSection(text, lines, section, {});
    if (!span)
        return std::string(text);
    return Splice(text, lines, span->header, span->end, {});
}
