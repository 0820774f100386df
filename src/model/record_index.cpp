#include "model/record_index.h"

#include "model/fb_instance.h"

namespace telvo {

// ---------------------------------------------------------------------------
// Names met: linear probing, at most half full.

bool TNameSet::Insert(std::string_view name)
{
    if (2 * (count_ + 1) > slots_.size()) {
        std::vector<TSlot> old(slots_.empty() ? 64 : 2 * slots_.size());
        old.swap(slots_);
        const size_t mask = slots_.size() - 1;
        for (const TSlot& s : old)
            if (s.Data) {
                size_t i = s.Hash & mask;
                while (slots_[i].Data)
                    i = (i + 1) & mask;
                slots_[i] = s;
            }
    }
    const size_t hash = TInstanceNameIndex::HashOf(name);
    const size_t mask = slots_.size() - 1;
    size_t i = hash & mask;
    for (; slots_[i].Data; i = (i + 1) & mask)
        if (slots_[i].Hash == hash && std::string_view(slots_[i].Data, slots_[i].Size) == name)
            return false;
    // A view without data is the empty name all the same.
    slots_[i] = {hash, name.data() ? name.data() : "", name.size()};
    ++count_;
    return true;
}

// ---------------------------------------------------------------------------
// Records by name: linear probing, at most half full, so that a lookup ends
// at the first free slot after a step or two.

bool TInstanceNameIndex::sameName(const TFB_InstanceRef* record, std::string_view name)
{
    return std::string_view(record->Name) == name;
}

bool TInstanceNameIndex::stale(const TSlot& slot) { return HashOf(slot.Record->Name) != slot.Hash; }

void TInstanceNameIndex::Clear()
{
    for (TSlot& s : slots_)
        s = TSlot();
    count_ = 0;
}

void TInstanceNameIndex::Reserve(size_t records)
{
    if (2 * records <= slots_.size())
        return;
    size_t capacity = slots_.empty() ? 16 : slots_.size();
    while (capacity < 2 * records)
        capacity *= 2;
    std::vector<TSlot> old;
    old.swap(slots_);
    slots_.assign(capacity, TSlot());
    if (old.empty())
        return;
    // Moved cluster by cluster, each from its start, so that records of one
    // name keep their order: start after a free slot, where no cluster
    // wraps round the end.
    size_t start = 0;
    while (old[start].Record)
        ++start;
    for (size_t n = 0; n < old.size(); ++n) {
        const TSlot& s = old[(start + n) & (old.size() - 1)];
        if (s.Record)
            place(s);
    }
}

void TInstanceNameIndex::grow() { Reserve(count_ + 1); }

void TInstanceNameIndex::place(const TSlot& slot)
{
    const size_t mask = slots_.size() - 1;
    size_t i = slot.Hash & mask;
    while (slots_[i].Record)
        i = (i + 1) & mask;
    slots_[i] = slot;
}

void TInstanceNameIndex::Insert(TFB_InstanceRef* record)
{
    grow();
    place({HashOf(record->Name), record});
    ++count_;
}

void TInstanceNameIndex::eraseAt(size_t at)
{
    // Backward shift: every slot after the freed one that could have stood
    // there moves up, so that no lookup stops early and the order of the
    // records of one name stays.
    const size_t mask = slots_.size() - 1;
    size_t hole = at;
    for (size_t i = (at + 1) & mask; slots_[i].Record; i = (i + 1) & mask) {
        size_t home = slots_[i].Hash & mask;
        // The slot may move to the hole when its home is not within
        // (hole, i], cyclically.
        bool between = hole <= i ? (home > hole && home <= i) : (home > hole || home <= i);
        if (!between) {
            slots_[hole] = slots_[i];
            hole = i;
        }
    }
    slots_[hole] = TSlot();
    --count_;
}

bool TInstanceNameIndex::Erase(const TFB_InstanceRef* record)
{
    if (count_ == 0)
        return false;
    const size_t hash = HashOf(record->Name);
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask; slots_[i].Record; i = (i + 1) & mask)
        if (slots_[i].Record == record) {
            eraseAt(i);
            return true;
        }
    return false;
}

bool TInstanceNameIndex::EraseAnywhere(const TFB_InstanceRef* record)
{
    for (size_t i = 0; i < slots_.size(); ++i)
        if (slots_[i].Record == record) {
            eraseAt(i);
            return true;
        }
    return false;
}

// ---------------------------------------------------------------------------
// Connections by record

size_t TConnectionIndex::hashOf(const TFB_InstanceRef* record)
{
    // Records are heap objects: the low bits say little.
    auto bits = reinterpret_cast<uintptr_t>(record) >> 4;
    return static_cast<size_t>(bits * 0x9E3779B97F4A7C15ull);
}

void TConnectionIndex::Clear()
{
    for (TEntry& e : entries_)
        e = TEntry();
    count_ = 0;
    links_.clear();
    freeLinks_ = None;
}

const TConnectionIndex::TEntry* TConnectionIndex::find(const TFB_InstanceRef* record) const
{
    if (count_ == 0 || !record)
        return nullptr;
    const size_t mask = entries_.size() - 1;
    for (size_t i = hashOf(record) & mask; entries_[i].Record; i = (i + 1) & mask)
        if (entries_[i].Record == record)
            return &entries_[i];
    return nullptr;
}

void TConnectionIndex::grow()
{
    if (2 * (count_ + 1) <= entries_.size())
        return;
    std::vector<TEntry> old;
    old.swap(entries_);
    entries_.assign(old.empty() ? 16 : 2 * old.size(), TEntry());
    const size_t mask = entries_.size() - 1;
    for (const TEntry& e : old) {
        if (!e.Record)
            continue;
        size_t i = hashOf(e.Record) & mask;
        while (entries_[i].Record)
            i = (i + 1) & mask;
        entries_[i] = e;
    }
}

TConnectionIndex::TEntry& TConnectionIndex::findOrAdd(const TFB_InstanceRef* record)
{
    if (const TEntry* e = find(record))
        return const_cast<TEntry&>(*e);
    grow();
    const size_t mask = entries_.size() - 1;
    size_t i = hashOf(record) & mask;
    while (entries_[i].Record)
        i = (i + 1) & mask;
    entries_[i].Record = record;
    ++count_;
    return entries_[i];
}

void TConnectionIndex::Add(const TFB_InstanceRef* record, TKind kind, TFB_AssocRef* connection)
{
    if (!record)
        return;
    TEntry& e = findOrAdd(record);
    uint32_t link;
    if (freeLinks_ != None) {
        link = freeLinks_;
        freeLinks_ = links_[link].Next;
    } else {
        link = static_cast<uint32_t>(links_.size());
        links_.emplace_back();
    }
    links_[link] = {connection, e.Heads[kind]};
    e.Heads[kind] = link;
}

void TConnectionIndex::Remove(const TFB_InstanceRef* record, TKind kind, const TFB_AssocRef* connection)
{
    const TEntry* found = find(record);
    if (!found)
        return;
    uint32_t* at = &const_cast<TEntry*>(found)->Heads[kind];
    while (*at != None && links_[*at].Connection != connection)
        at = &links_[*at].Next;
    if (*at == None)
        return;
    uint32_t link = *at;
    *at = links_[link].Next;
    links_[link] = {nullptr, freeLinks_};
    freeLinks_ = link;
}

} // namespace telvo
