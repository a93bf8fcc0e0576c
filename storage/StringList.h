#pragma once

#include "platform/Exception.h"

#include <string>
#include <string_view>
#include <vector>

// A position outside the list: "List index out of bounds (<index>)".
class EStringListError : public Exception {
public:
    using Exception::Exception;
};

// An ordered list of byte strings, each with an optional attached object (a plain pointer the
// list never owns or frees). Unsorted; duplicates allowed; new entries go at the end.
//
// An entry containing "=" has a name part (the bytes before the first "=") and a value part (the
// bytes after it). Lookups compare without regard to ASCII letter case (GBK-aware, see
// TextFold.h) unless the list is made case-sensitive.
//
// Every change calls the virtual `Changed()` once the list holds its new content, which is how
// THashedStringList learns that its indexes are stale. Positions out of range raise
// EStringListError.
class TStringList {
public:
    TStringList() = default;
    TStringList(const TStringList&) = default;
    TStringList& operator=(const TStringList& other);
    virtual ~TStringList() = default;

    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    const std::string& operator[](int index) const { return Strings(index); }
    const std::string& Strings(int index) const;
    void* Objects(int index) const;

    // Appends and returns the new entry's position.
    int Add(std::string text);
    int AddObject(std::string text, void* object);
    // Appends every string of `lines` (moving them out) with a single change notice.
    void Append(std::vector<std::string>&& lines);
    // Makes room for `count` entries in all, so that adding up to that many moves nothing.
    void Reserve(int count);
    void Insert(int index, std::string text);
    void InsertObject(int index, std::string text, void* object);
    // Replaces the string at `index`, keeping its object.
    void Put(int index, std::string text);
    void PutObject(int index, void* object);
    void Delete(int index);
    void Exchange(int index1, int index2);
    void Clear();
    // Replaces the content with a copy of `other`'s strings and objects.
    void Assign(const TStringList& other);

    // The name part of the entry at `index`, or the empty string for an entry without "=".
    std::string_view Names(int index) const;
    // The text after the first "=" of the entry at `index`, or the empty string.
    std::string_view ValueFromIndex(int index) const;
    // The value of the entry found by IndexOfName, or the empty string.
    std::string Values(std::string_view name) const;

    // Position of an entry equal to `text`, or -1. This plain list scans and yields the first;
    // THashedStringList looks up an index and yields the last.
    virtual int IndexOf(std::string_view text) const;
    // Position of an entry whose name part equals `name`, or -1 (first here, last in
    // THashedStringList). Entries without "=" are never found.
    virtual int IndexOfName(std::string_view name) const;

    bool CaseSensitive() const { return caseSensitive_; }
    void SetCaseSensitive(bool value);

    // Every entry followed by CR LF.
    std::string Text() const;
    // Replaces the content with the lines of `text` (CR LF, LF or CR end a line; a terminator at
    // the very end adds no empty line).
    void SetText(std::string_view text);

    // Iteration over the strings.
    struct Item {
        std::string text;
        void* object = nullptr;
    };
    std::vector<Item>::const_iterator begin() const { return items_.begin(); }
    std::vector<Item>::const_iterator end() const { return items_.end(); }

protected:
    virtual void Changed() {}
    bool SameText(std::string_view a, std::string_view b) const;
    const std::vector<Item>& Items() const { return items_; }

private:
    void Check(int index) const;

    std::vector<Item> items_;
    bool caseSensitive_ = false;
};
