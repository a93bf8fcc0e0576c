#include "storage/StringList.h"

#include "storage/TextFold.h"

#include <utility>

TStringList& TStringList::operator=(const TStringList& other) {
    Assign(other);
    return *this;
}

void TStringList::Check(int index) const {
    if (index < 0 || index >= Count())
        throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
}

const std::string& TStringList::Strings(int index) const {
    Check(index);
    return items_[index].text;
}

void* TStringList::Objects(int index) const {
    Check(index);
    return items_[index].object;
}

int TStringList::Add(std::string text) {
    return AddObject(std::move(text), nullptr);
}

int TStringList::AddObject(std::string text, void* object) {
    items_.push_back({std::move(text), object});
    Changed();
    return Count() - 1;
}

void TStringList::Append(std::vector<std::string>&& lines) {
    if (lines.empty())
        return;
    items_.reserve(items_.size() + lines.size());
    for (std::string& line : lines)
        items_.push_back({std::move(line), nullptr});
    Changed();
}

void TStringList::Reserve(int count) {
    if (count > 0)
        items_.reserve(static_cast<size_t>(count));
}

void TStringList::Insert(int index, std::string text) {
    InsertObject(index, std::move(text), nullptr);
}

void TStringList::InsertObject(int index, std::string text, void* object) {
    if (index != Count())
        Check(index);
    items_.insert(items_.begin() + index, {std::move(text), object});
    Changed();
}

void TStringList::Put(int index, std::string text) {
    Check(index);
    items_[index].text = std::move(text);
    Changed();
}

void TStringList::PutObject(int index, void* object) {
    Check(index);
    items_[index].object = object;
    Changed();
}

void TStringList::Delete(int index) {
    Check(index);
    items_.erase(items_.begin() + index);
    Changed();
}

void TStringList::Exchange(int index1, int index2) {
    Check(index1);
    Check(index2);
    std::swap(items_[index1], items_[index2]);
    Changed();
}

void TStringList::Clear() {
    items_.clear();
    Changed();
}

void TStringList::Assign(const TStringList& other) {
    if (this != &other)
        items_ = other.items_;
    Changed();
}

std::string_view TStringList::Names(int index) const {
    std::string_view text = Strings(index);
    size_t eq = text.find('=');
    return eq == std::string_view::npos ? std::string_view() : text.substr(0, eq);
}

std::string_view TStringList::ValueFromIndex(int index) const {
    std::string_view text = Strings(index);
    size_t eq = text.find('=');
    return eq == std::string_view::npos ? std::string_view() : text.substr(eq + 1);
}

std::string TStringList::Values(std::string_view name) const {
    int index = IndexOfName(name);
    return index < 0 ? std::string() : std::string(ValueFromIndex(index));
}

bool TStringList::SameText(std::string_view a, std::string_view b) const {
    return textfold::Equal(a, b, caseSensitive_);
}

int TStringList::IndexOf(std::string_view text) const {
    for (int i = 0; i < Count(); ++i)
        if (SameText(items_[i].text, text))
            return i;
    return -1;
}

int TStringList::IndexOfName(std::string_view name) const {
    for (int i = 0; i < Count(); ++i) {
        std::string_view text = items_[i].text;
        size_t eq = text.find('=');
        if (eq != std::string_view::npos && SameText(text.substr(0, eq), name))
            return i;
    }
    return -1;
}

void TStringList::SetCaseSensitive(bool value) {
    if (caseSensitive_ == value)
        return;
    caseSensitive_ = value;
    Changed();
}

std::string TStringList::Text() const {
    size_t size = 0;
    for (const Item& item : items_)
        size += item.text.size() + 2;
    std::string out;
    out.reserve(size);
    for (const Item& item : items_) {
        out += item.text;
        out += "\r\n";
    }
    return out;
}

void TStringList::SetText(std::string_view text) {
    items_.clear();
    size_t i = 0;
    while (i < text.size()) {
        size_t end = text.find_first_of("\r\n", i);
        if (end == std::string_view::npos)
            end = text.size();
        items_.push_back({std::string(text.substr(i, end - i)), nullptr});
        i = end;
        if (i < text.size() && text[i] == '\r')
            ++i;
        if (i < text.size() && text[i] == '\n')
            ++i;
    }
    Changed();
}
