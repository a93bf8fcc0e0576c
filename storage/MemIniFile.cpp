#include "storage/MemIniFile.h"

#include "storage/FileContent.h"

#include <memory>

namespace {

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

std::string_view Trim(std::string_view text) {
    size_t begin = 0;
    while (begin < text.size() && IsBlank(text[begin]))
        ++begin;
    size_t end = text.size();
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

} // namespace

TMemIniFile::TMemIniFile(const std::string& path) : TCustomIniFile(path) {
    try {
        LoadFile();
    } catch (...) {
        Clear();
        throw;
    }
}

TMemIniFile::~TMemIniFile() {
    Clear();
}

void TMemIniFile::LoadFile() {
    std::optional<std::string> content = ReadFileContent(FilePath());
    if (content)
        ParseLines(SplitText(*content));
}

void TMemIniFile::Clear() {
    for (int i = 0; i < sectionList_.Count(); ++i)
        delete Lines(i);
    sectionList_.Clear();
}

void TMemIniFile::SetText(std::string_view text) {
    Clear();
    ParseLines(SplitText(text));
}

std::string TMemIniFile::Text() const {
    return JoinText(RenderLines());
}

THashedStringList* TMemIniFile::Lines(int section) const {
    return static_cast<THashedStringList*>(sectionList_.Objects(section));
}

THashedStringList* TMemIniFile::AppendSection(std::string name) {
    auto lines = std::make_unique<THashedStringList>();
    lines->SetCaseSensitive(sectionList_.CaseSensitive());
    sectionList_.AddObject(std::move(name), lines.get());
    return lines.release();
}

THashedStringList* TMemIniFile::FindSection(const std::string& section) const {
    int index = sectionList_.FindEntry(section);
    return index < 0 ? nullptr : Lines(index);
}

std::vector<std::string_view> TMemIniFile::SplitText(std::string_view buffer) {
    std::vector<std::string_view> lines;
    const size_t n = buffer.size();
    size_t i = 0;
    while (i < n && buffer[i] != '\0') {
        size_t start = i;
        while (i < n && buffer[i] != '\r' && buffer[i] != '\n' && buffer[i] != '\0')
            ++i;
        lines.push_back(buffer.substr(start, i - start));
        if (i < n && buffer[i] == '\r')
            ++i;
        if (i < n && buffer[i] == '\n')
            ++i;
    }
    return lines;
}

void TMemIniFile::ParseLines(const std::vector<std::string_view>& lines) {
    THashedStringList* current = nullptr;
    for (std::string_view raw : lines) {
        std::string_view line = Trim(raw);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
            current = AppendSection(std::string(Trim(line.substr(1, line.size() - 2))));
            continue;
        }
        if (!current)
            continue;
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            current->Add(std::string(line));
            continue;
        }
        std::string_view name = Trim(line.substr(0, eq));
        std::string_view value = Trim(line.substr(eq + 1));
        std::string stored;
        stored.reserve(name.size() + 1 + value.size());
        stored.append(name).append(1, '=').append(value);
        current->Add(std::move(stored));
    }
}

std::vector<std::string> TMemIniFile::RenderLines() const {
    std::vector<std::string> lines;
    for (int i = 0; i < sectionList_.Count(); ++i) {
        lines.push_back("[" + sectionList_[i] + "]");
        for (const auto& item : *Lines(i))
            lines.push_back(item.text);
        lines.emplace_back();
    }
    return lines;
}

std::string TMemIniFile::JoinText(const std::vector<std::string>& lines) {
    size_t size = 0;
    for (const std::string& line : lines)
        size += line.size() + 2;
    std::string text;
    text.reserve(size);
    for (const std::string& line : lines)
        text.append(line).append("\r\n");
    return text;
}

std::string TMemIniFile::GetStr(const std::string& section, const std::string& key,
                                const std::string& fallback) const {
    const THashedStringList* lines = FindSection(section);
    if (!lines)
        return fallback;
    int index = lines->FindKey(key);
    if (index < 0)
        return fallback;
    return std::string(lines->ValueFromIndex(index));
}

void TMemIniFile::PutStr(const std::string& section, const std::string& key,
                         const std::string& value) {
    THashedStringList* lines = FindSection(section);
    if (!lines)
        lines = AppendSection(section);
    std::string line;
    line.reserve(key.size() + 1 + value.size());
    line.append(key).append(1, '=').append(value);
    int index = lines->FindKey(key);
    if (index >= 0)
        lines->Put(index, std::move(line));
    else
        lines->Add(std::move(line));
}

void TMemIniFile::GetKeyNames(const std::string& section, TStringList& target) const {
    target.Clear();
    if (const THashedStringList* lines = FindSection(section))
        for (int i = 0; i < lines->Count(); ++i)
            target.Add(std::string(lines->Names(i)));
}

void TMemIniFile::GetSectionNames(TStringList& target) const {
    target.Clear();
    for (int i = 0; i < sectionList_.Count(); ++i)
        target.Add(sectionList_[i]);
}

void TMemIniFile::GetSectionLines(const std::string& section, TStringList& target) const {
    target.Clear();
    if (const THashedStringList* lines = FindSection(section))
        for (const auto& item : *lines)
            target.Add(item.text);
}

void TMemIniFile::RemoveSection(const std::string& section) {
    int index = sectionList_.FindEntry(section);
    if (index < 0)
        return;
    delete Lines(index);
    sectionList_.Delete(index);
}

void TMemIniFile::RemoveKey(const std::string& section, const std::string& key) {
    THashedStringList* lines = FindSection(section);
    if (!lines)
        return;
    int index = lines->FindKey(key);
    if (index >= 0)
        lines->Delete(index);
}

void TMemIniFile::Save() {
    ReplaceFileContent(FilePath(), Text());
}
