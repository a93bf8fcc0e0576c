#include "storage/MemIniFile.h"

#include "storage/FileContent.h"

#include <cstring>
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
        ParseText(*content);
}

void TMemIniFile::Clear() {
    for (int i = 0; i < sectionList_.Count(); ++i)
        delete Lines(i);
    sectionList_.Clear();
    lastIndex_ = -1;
}

void TMemIniFile::SetText(std::string_view text) {
    Clear();
    ParseText(text);
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
    lastIndex_ = -1;
    return lines.release();
}

THashedStringList* TMemIniFile::FindSection(const std::string& section) const {
    if (lastIndex_ >= 0 && section == lastName_)
        return Lines(lastIndex_);
    int index = sectionList_.FindEntry(section);
    if (index < 0)
        return nullptr;
    lastName_ = section;
    lastIndex_ = index;
    return Lines(index);
}

namespace {

// Calls `line(view)` for each line of `buffer` as SplitText yields them.
template <typename Line> void ForEachLine(std::string_view buffer, Line&& line) {
    const char* p = buffer.data();
    const char* const end = p + buffer.size();
    while (p < end && *p != '\0') {
        const char* start = p;
        while (p < end && *p != '\r' && *p != '\n' && *p != '\0')
            ++p;
        line(std::string_view(start, static_cast<size_t>(p - start)));
        if (p < end && *p == '\r')
            ++p;
        if (p < end && *p == '\n')
            ++p;
    }
}

} // namespace

std::vector<std::string_view> TMemIniFile::SplitText(std::string_view buffer) {
    std::vector<std::string_view> lines;
    ForEachLine(buffer, [&lines](std::string_view line) { lines.push_back(line); });
    return lines;
}

void TMemIniFile::ParseLines(const std::vector<std::string_view>& lines) {
    ParseState state;
    for (std::string_view raw : lines)
        ParseLine(raw, state);
    FlushLines(state);
}

void TMemIniFile::ParseText(std::string_view buffer) {
    ParseState state;
    ForEachLine(buffer, [this, &state](std::string_view raw) { ParseLine(raw, state); });
    FlushLines(state);
}

void TMemIniFile::FlushLines(ParseState& state) {
    if (state.current)
        state.current->Append(std::move(state.pending));
    state.pending.clear();
}

void TMemIniFile::ParseLine(std::string_view raw, ParseState& state) {
    std::string_view line = Trim(raw);
    if (line.empty() || line.front() == ';')
        return;
    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
        FlushLines(state);
        state.current = AppendSection(std::string(Trim(line.substr(1, line.size() - 2))));
        return;
    }
    if (!state.current)
        return;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
        state.pending.emplace_back(line);
        return;
    }
    std::string_view name = Trim(line.substr(0, eq));
    std::string_view value = Trim(line.substr(eq + 1));
    std::string& stored = state.pending.emplace_back(name.size() + 1 + value.size(), '=');
    std::memcpy(stored.data(), name.data(), name.size());
    std::memcpy(stored.data() + name.size() + 1, value.data(), value.size());
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
    if (const THashedStringList* lines = FindSection(section)) {
        target.Reserve(lines->Count());
        for (int i = 0; i < lines->Count(); ++i)
            target.Add(std::string(lines->Names(i)));
    }
}

void TMemIniFile::GetSectionNames(TStringList& target) const {
    target.Clear();
    target.Reserve(sectionList_.Count());
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
    lastIndex_ = -1;
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
