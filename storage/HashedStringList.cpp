#include "storage/HashedStringList.h"

#include "storage/TextFold.h"

#include <unordered_map>

namespace {

struct FoldHash {
    bool caseSensitive;
    std::size_t operator()(std::string_view key) const {
        return textfold::Hash(key, caseSensitive);
    }
};

struct FoldEqual {
    bool caseSensitive;
    bool operator()(std::string_view a, std::string_view b) const {
        return textfold::Equal(a, b, caseSensitive);
    }
};

} // namespace

// Keys are views into the list's own strings; they stay valid because any change to the list,
// including one that moves its strings, throws the index away first.
struct THashedStringList::Index {
    std::unordered_map<std::string_view, int, FoldHash, FoldEqual> map;
    Index(std::size_t size, bool caseSensitive)
        : map(size, FoldHash{caseSensitive}, FoldEqual{caseSensitive}) {}
};

THashedStringList::THashedStringList() = default;

THashedStringList::THashedStringList(const THashedStringList& other) : TStringList(other) {}

THashedStringList& THashedStringList::operator=(const THashedStringList& other) {
    Assign(other);
    return *this;
}

THashedStringList::~THashedStringList() = default;

void THashedStringList::Changed() {
    TStringList::Changed();
    entries_.reset();
    names_.reset();
}

void THashedStringList::Rebuild(bool names) const {
    auto index =
        std::make_unique<Index>(static_cast<std::size_t>(Count()) * 2 + 16, CaseSensitive());
    const auto& items = Items();
    for (int i = 0; i < Count(); ++i) {
        std::string_view key = items[i].text;
        if (names) {
            size_t eq = key.find('=');
            if (eq == std::string_view::npos)
                continue;
            key = key.substr(0, eq);
        }
        // Walking first to last and overwriting leaves the last match of each key.
        index->map.insert_or_assign(key, i);
    }
    (names ? names_ : entries_) = std::move(index);
}

int THashedStringList::IndexOf(std::string_view text) const {
    if (!entries_)
        Rebuild(false);
    auto it = entries_->map.find(text);
    return it == entries_->map.end() ? -1 : it->second;
}

int THashedStringList::IndexOfName(std::string_view name) const {
    if (!names_)
        Rebuild(true);
    auto it = names_->map.find(name);
    return it == names_->map.end() ? -1 : it->second;
}
