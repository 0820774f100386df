#pragma once
// The FB manager's indexes of its instance records by name and of its
// connection records by the instance records at their ends. Loading a
// project looks every connection end up by name and every record's
// connections up by record, several times over: both are open-addressed
// tables in flat arrays, so that neither a lookup nor an insertion costs an
// allocation of its own.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace telvo {

class TFB_InstanceRef;
class TFB_AssocRef;

// Instance records by name. Several records may stand under one name; they
// are visited in the order in which they were added. A record renamed behind
// the index's back stays under its old name; a lookup that meets it says so,
// and the owner indexes anew.
class TInstanceNameIndex {
public:
    // Instance names are short: hashed eight bytes at a time.
    static size_t HashOf(std::string_view name)
    {
        uint64_t h = 0x9E3779B97F4A7C15ull ^ name.size();
        const char* p = name.data();
        size_t left = name.size();
        for (; left >= 8; p += 8, left -= 8) {
            uint64_t w;
            std::memcpy(&w, p, 8);
            h = mix(h ^ w);
        }
        if (left > 0) {
            uint64_t w = 0;
            std::memcpy(&w, p, left);
            h = mix(h ^ w);
        }
        return static_cast<size_t>(h ^ (h >> 29));
    }

    void Clear();
    void Reserve(size_t records);
    size_t Size() const { return count_; }
    void Insert(TFB_InstanceRef* record);
    // Removes the record from under its present name; false when it is not
    // there.
    bool Erase(const TFB_InstanceRef* record);
    // Removes the record from wherever it stands.
    bool EraseAnywhere(const TFB_InstanceRef* record);

    // Calls visit(record) for each record under the name, in order, until
    // visit returns false. Returns false when a record renamed behind the
    // index's back was met (what was visited is then not to be trusted).
    template <typename Visit>
    bool ForEach(std::string_view name, Visit&& visit) const
    {
        if (count_ == 0)
            return true;
        const size_t hash = HashOf(name);
        const size_t mask = slots_.size() - 1;
        for (size_t i = hash & mask; slots_[i].Record; i = (i + 1) & mask) {
            const TSlot& s = slots_[i];
            if (s.Hash != hash)
                continue;
            if (!sameName(s.Record, name)) {
                if (stale(s))
                    return false;
                continue;
            }
            if (!visit(s.Record))
                return true;
        }
        return true;
    }

private:
    struct TSlot {
        size_t Hash = 0;
        TFB_InstanceRef* Record = nullptr; // none: the slot is free
    };
    static uint64_t mix(uint64_t h)
    {
        h *= 0xBF58476D1CE4E5B9ull;
        return h ^ (h >> 31);
    }
    static bool sameName(const TFB_InstanceRef* record, std::string_view name);
    static bool stale(const TSlot& slot);
    void grow();
    void place(const TSlot& slot);
    void eraseAt(size_t at);

    std::vector<TSlot> slots_;
    size_t count_ = 0;
};

// A set of names the caller keeps alive (views into a parsed file, say):
// whether a name was met before, without copying it.
class TNameSet {
public:
    // False when the name is in the set already.
    bool Insert(std::string_view name);

private:
    struct TSlot {
        size_t Hash = 0;
        const char* Data = nullptr; // none: the slot is free
        size_t Size = 0;
    };
    std::vector<TSlot> slots_;
    size_t count_ = 0;
};

// The connection records at each instance record, one list per kind. The
// lists live in one array of links; a record's list is a chain through it.
// Lists are not in any order: callers that need the manager's list order
// sort by TFB_AssocRef::ListOrder.
class TConnectionIndex {
public:
    enum TKind { Events, Datas, IPPFBs, KindCount };
    static constexpr uint32_t None = UINT32_MAX;

    void Clear();
    void Add(const TFB_InstanceRef* record, TKind kind, TFB_AssocRef* connection);
    void Remove(const TFB_InstanceRef* record, TKind kind, const TFB_AssocRef* connection);
    bool Has(const TFB_InstanceRef* record) const { return find(record) != nullptr; }

    // Calls visit(connection) for each connection of that kind at the record.
    template <typename Visit>
    void ForEach(const TFB_InstanceRef* record, TKind kind, Visit&& visit) const
    {
        const TEntry* e = find(record);
        if (!e)
            return;
        for (uint32_t i = e->Heads[kind]; i != None; i = links_[i].Next)
            visit(links_[i].Connection);
    }

private:
    struct TEntry {
        const TFB_InstanceRef* Record = nullptr; // none: the slot is free
        uint32_t Heads[KindCount] = {None, None, None};
    };
    struct TLink {
        TFB_AssocRef* Connection = nullptr;
        uint32_t Next = None;
    };
    static size_t hashOf(const TFB_InstanceRef* record);
    const TEntry* find(const TFB_InstanceRef* record) const;
    TEntry& findOrAdd(const TFB_InstanceRef* record);
    void grow();

    std::vector<TEntry> entries_;
    size_t count_ = 0;
    std::vector<TLink> links_;
    uint32_t freeLinks_ = None;
};

// A fixed-size map from pointers to values, sized for a known number of
// keys; the first value stored for a key stays.
template <typename K, typename V>
class TPointerMap {
public:
    explicit TPointerMap(size_t keys)
    {
        size_t capacity = 8;
        while (capacity < 2 * keys)
            capacity *= 2;
        slots_.assign(capacity, TSlot());
    }
    // False when the key was there already (its value stays).
    bool Insert(const K* key, V value)
    {
        const size_t mask = slots_.size() - 1;
        for (size_t i = hashOf(key) & mask;; i = (i + 1) & mask) {
            if (!slots_[i].Key) {
                slots_[i] = {key, value};
                return true;
            }
            if (slots_[i].Key == key)
                return false;
        }
    }
    const V* Find(const K* key) const
    {
        const size_t mask = slots_.size() - 1;
        for (size_t i = hashOf(key) & mask; slots_[i].Key; i = (i + 1) & mask)
            if (slots_[i].Key == key)
                return &slots_[i].Value;
        return nullptr;
    }

private:
    struct TSlot {
        const K* Key = nullptr;
        V Value{};
    };
    static size_t hashOf(const K* key)
    {
        auto bits = reinterpret_cast<uintptr_t>(key) >> 4;
        return static_cast<size_t>(bits * 0x9E3779B97F4A7C15ull);
    }
    std::vector<TSlot> slots_;
};

} // namespace telvo
