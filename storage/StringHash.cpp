#include "storage/StringHash.h"

TStringHash::TStringHash(std::size_t bucketCount) : buckets_(bucketCount == 0 ? 1 : bucketCount) {}

std::uint32_t TStringHash::HashKey(std::string_view key) {
    std::uint32_t h = 0;
    for (unsigned char c : key)
        h = ((h << 2) | (h >> 30)) ^ c;
    return h;
}

std::vector<std::pair<std::string, int>>& TStringHash::Bucket(std::string_view key) {
    return buckets_[HashKey(key) % buckets_.size()];
}

void TStringHash::Add(std::string key, int value) {
    // The back of each vector is the head of its chain.
    auto& chain = Bucket(key);
    chain.emplace_back(std::move(key), value);
}

int TStringHash::ValueOf(std::string_view key) const {
    const auto& chain = buckets_[HashKey(key) % buckets_.size()];
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        if (it->first == key)
            return it->second;
    return -1;
}

bool TStringHash::Remove(std::string_view key) {
    auto& chain = Bucket(key);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (it->first == key) {
            chain.erase(std::next(it).base());
            return true;
        }
    }
    return false;
}

void TStringHash::Clear() {
    for (auto& chain : buckets_)
        chain.clear();
}
