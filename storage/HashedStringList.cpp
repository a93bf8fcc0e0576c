#include "storage/HashedStringList.h"

#include "storage/TextFold.h"

#include <cstdint>
#include <vector>

// An open-addressing table of (hash, position) slots, as small as the list allows and walked
// without pointer chasing: a lookup touches one slot run and the matching entry's string.
// Keys are never copied; a slot's key is read from the list itself, which is why any change to
// the list throws the index away first.
struct THashedStringList::Index {
    struct Slot {
        std::uint32_t hash = 0;
        std::int32_t position = -1; // -1: empty
    };
    std::vector<Slot> slots;
    std::size_t mask = 0;
};

namespace {

std::uint32_t HashOf(std::string_view key, bool caseSensitive) {
    std::uint64_t h = textfold::Hash(key, caseSensitive);
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

} // namespace

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

std::string_view THashedStringList::KeyAt(int position, bool names) const {
    std::string_view text = Items()[position].text;
    if (names)
        text = text.substr(0, text.find('='));
    return text;
}

void THashedStringList::Rebuild(bool names) const {
    auto index = std::make_unique<Index>();
    std::size_t size = 16;
    while (size < static_cast<std::size_t>(Count()) * 2)
        size *= 2;
    index->slots.resize(size);
    index->mask = size - 1;
    const auto& items = Items();
    const bool exact = CaseSensitive();
    for (int i = 0; i < Count(); ++i) {
        std::string_view key = items[i].text;
        if (names) {
            size_t eq = key.find('=');
            if (eq == std::string_view::npos)
                continue;
            key = key.substr(0, eq);
        }
        const std::uint32_t hash = HashOf(key, exact);
        for (std::size_t at = hash & index->mask;; at = (at + 1) & index->mask) {
            Index::Slot& slot = index->slots[at];
            if (slot.position < 0) {
                slot = {hash, i};
                break;
            }
            // Walking first to last and overwriting leaves the last match of each key.
            if (slot.hash == hash && textfold::Equal(KeyAt(slot.position, names), key, exact)) {
                slot.position = i;
                break;
            }
        }
    }
    (names ? names_ : entries_) = std::move(index);
}

int THashedStringList::Find(const Index& index, std::string_view key, bool names) const {
    const bool exact = CaseSensitive();
    const std::uint32_t hash = HashOf(key, exact);
    for (std::size_t at = hash & index.mask;; at = (at + 1) & index.mask) {
        const Index::Slot& slot = index.slots[at];
        if (slot.position < 0)
            return -1;
        if (slot.hash == hash && textfold::Equal(KeyAt(slot.position, names), key, exact))
            return slot.position;
    }
}

namespace {

// Lists this short are scanned from the end instead: a scan of a few entries costs less than
// building a hash table, and most sections of a document hold only a handful of lines.
constexpr int kScanLimit = 8;

} // namespace

int THashedStringList::IndexOf(std::string_view text) const {
    if (Count() <= kScanLimit) {
        for (int i = Count() - 1; i >= 0; --i)
            if (SameText(KeyAt(i, false), text))
                return i;
        return -1;
    }
    if (!entries_)
        Rebuild(false);
    return Find(*entries_, text, false);
}

int THashedStringList::IndexOfName(std::string_view name) const {
    if (Count() <= kScanLimit) {
        // A name part holds no "=", and one equal to `name` is followed by the first "=".
        if (name.find('=') != std::string_view::npos)
            return -1;
        const auto& items = Items();
        const size_t n = name.size();
        for (int i = Count() - 1; i >= 0; --i) {
            const std::string& text = items[i].text;
            if (text.size() > n && text[n] == '=' &&
                SameText(std::string_view(text).substr(0, n), name))
                return i;
        }
        return -1;
    }
    if (!names_)
        Rebuild(true);
    return Find(*names_, name, true);
}
