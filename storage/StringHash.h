#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A hash of byte-string keys to integers with chained buckets. A new pair goes to the head of its
// bucket's chain and a lookup takes the first pair from the head whose key is equal byte for
// byte, so when one key was added several times the latest addition is found. Keys are compared
// as given: callers that want case-insensitive lookups fold the keys themselves.
class TStringHash {
public:
    explicit TStringHash(std::size_t bucketCount = 256);

    void Add(std::string key, int value);
    // The value of the latest pair with this key, or -1.
    int ValueOf(std::string_view key) const;
    // Removes the latest pair with this key; false when there is none.
    bool Remove(std::string_view key);
    void Clear();

    // Starting from 0, for each byte: rotate the 32-bit value left by 2 bits, then XOR the byte.
    static std::uint32_t HashKey(std::string_view key);

private:
    std::vector<std::vector<std::pair<std::string, int>>> buckets_;
    std::vector<std::pair<std::string, int>>& Bucket(std::string_view key);
};
