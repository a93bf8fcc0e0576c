#pragma once

#include "storage/StringList.h"

#include <memory>

// A TStringList with two lookup indexes, each built whole on the first lookup after a change:
// one over the entries' whole strings (IndexOf / FindEntry), one over the name parts of the
// entries that contain "=" (IndexOfName / FindKey). Every change to the list marks both stale.
// When several entries match, the lookups yield the last one, in contrast to TStringList.
//
// The indexes are hash tables over the case-folded bytes (see TextFold.h), so a lookup costs
// constant work however long the list is; lists of up to eight entries are scanned from the end
// instead, which finds the same entry without building a table.
class THashedStringList : public TStringList {
public:
    THashedStringList();
    THashedStringList(const THashedStringList& other);
    THashedStringList& operator=(const THashedStringList& other);
    ~THashedStringList() override;

    int IndexOf(std::string_view text) const override;
    int IndexOfName(std::string_view name) const override;

    int FindEntry(std::string_view text) const { return IndexOf(text); }
    int FindKey(std::string_view name) const { return IndexOfName(name); }

protected:
    void Changed() override;

private:
    struct Index;
    void Rebuild(bool names) const;
    int Find(const Index& index, std::string_view key, bool names) const;
    // The whole string at `position`, or its name part for the name index.
    std::string_view KeyAt(int position, bool names) const;

    mutable std::unique_ptr<Index> entries_;
    mutable std::unique_ptr<Index> names_;
};
