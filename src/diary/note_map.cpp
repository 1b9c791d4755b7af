// The diary in memory: ordered notes over one block of file bytes, with a key index.
#include "diary/note_map.h"

#include <functional>
#include <stdexcept>

bool IsBlankNote(std::string_view text) {
    for (const char c : text) {
        switch (c) {
        case ' ':
        case '\t':
        case '\n':
        case '\v':
        case '\f':
        case '\r':
            break;
        default:
            return false;
        }
    }
    return true;
}

std::uint32_t NoteMap::HashOf(std::string_view key) {
    // Widened first: shifting a 32-bit size_t by 32 is undefined, and on a 64-bit build the high half
    // is folded in.
    const auto h = static_cast<std::uint64_t>(std::hash<std::string_view>{}(key));
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

NoteView NoteMap::ViewOf(std::size_t slot) const {
    const Slot& s = m_slots[slot];
    if (s.keyAt == kApart) {
        const NoteEntry& entry = m_apart[s.textAt];
        return {entry.m_strKey, entry.m_strText};
    }
    // Offsets and lengths were checked against the block when the entry came in (InBlock).
    const char* block = m_block.data();
    return {std::string_view(block + s.keyAt, s.keyLen), std::string_view(block + s.textAt, s.textLen)};
}

bool NoteMap::InBlock(std::string_view bytes) const {
    // Compared as addresses: a view of any other buffer lies wholly outside the block's range.
    const auto begin = reinterpret_cast<std::uintptr_t>(m_block.data());
    const auto at = reinterpret_cast<std::uintptr_t>(bytes.data());
    return !m_block.empty() && at >= begin && at - begin <= m_block.size() &&
           bytes.size() <= m_block.size() - (at - begin) && at - begin + bytes.size() < kApart;
}

NoteMap::Slot NoteMap::BlockSlot(std::string_view key, std::string_view text) const {
    const auto offset = [&](std::string_view bytes) {
        return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(bytes.data()) -
                                          reinterpret_cast<std::uintptr_t>(m_block.data()));
    };
    return Slot{offset(key), static_cast<std::uint32_t>(key.size()), offset(text),
                static_cast<std::uint32_t>(text.size())};
}

std::size_t NoteMap::FindBucket(std::string_view key, std::uint32_t hash) const {
    if (m_index.empty()) {
        return kNoSlot;
    }
    const std::size_t mask = m_index.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const KeySlots& b = m_index[i];
        if (b.first == kNoSlot) {
            return kNoSlot;
        }
        if (b.hash == hash && KeyOf(b.first) == key) {
            return i;
        }
    }
}

void NoteMap::Rehash(std::size_t buckets) {
    std::vector<KeySlots> old = std::move(m_index);
    m_index.assign(buckets, KeySlots{});
    const std::size_t mask = buckets - 1;
    for (const KeySlots& b : old) {
        if (b.first == kNoSlot) {
            continue;
        }
        std::size_t i = b.hash & mask;
        while (m_index[i].first != kNoSlot) {
            i = (i + 1) & mask;
        }
        m_index[i] = b;
    }
}

void NoteMap::IndexAppended(std::size_t slot, std::uint32_t hash) {
    const std::string_view key = KeyOf(slot);
    const std::size_t found = FindBucket(key, hash);
    if (found != kNoSlot) {
        ++m_index[found].count;
        return;
    }
    if ((m_nKeys + 1) * 2 > m_index.size()) {
        Rehash(m_index.empty() ? 16 : m_index.size() * 2);
    }
    const std::size_t mask = m_index.size() - 1;
    std::size_t i = hash & mask;
    while (m_index[i].first != kNoSlot) {
        i = (i + 1) & mask;
    }
    m_index[i] = KeySlots{static_cast<std::uint32_t>(slot), 1, hash};
    ++m_nKeys;
}

bool NoteMap::PushUnindexed(std::string_view key, std::string_view text) {
    if (m_slots.size() >= kNoSlot || m_apart.size() >= kApart) {
        throw std::length_error("NoteMap: too many entries");
    }
    if (InBlock(key) && InBlock(text)) {
        m_slots.push_back(BlockSlot(key, text));
    } else {
        m_apart.push_back(NoteEntry{std::string(key), std::string(text)});
        m_slots.push_back(Slot{kApart, 0, static_cast<std::uint32_t>(m_apart.size() - 1), 0});
    }
    ++m_nLive;
    return true;
}

void NoteMap::IndexFrom(std::size_t from) {
    const std::size_t end = m_slots.size();
    if (from >= end) {
        return;
    }
    // Sized for every new entry being a new key, so the table keeps its mask while the buckets
    // ahead are fetched.
    std::size_t buckets = m_index.empty() ? 16 : m_index.size();
    while (buckets < (m_nKeys + end - from) * 2) {
        buckets *= 2;
    }
    if (buckets != m_index.size()) {
        Rehash(buckets);
    }
    const std::size_t mask = m_index.size() - 1;
    constexpr std::size_t kAhead = 16;
    std::uint32_t hashes[kAhead];
    auto fetch = [&](std::size_t slot) {
        const std::uint32_t hash = HashOf(KeyOf(slot));
        hashes[slot % kAhead] = hash;
#if defined(__GNUC__) || defined(__clang__)
        __builtin_prefetch(&m_index[hash & mask]);
#endif
    };
    for (std::size_t slot = from; slot < end && slot < from + kAhead; ++slot) {
        fetch(slot);
    }
    for (std::size_t slot = from; slot < end; ++slot) {
        const std::uint32_t hash = hashes[slot % kAhead];
        if (slot + kAhead < end) {
            fetch(slot + kAhead);
        }
        IndexAppended(slot, hash);
    }
}

// Linear probing without tombstones: the buckets after the hole that could live in it move back.
void NoteMap::EraseBucket(std::size_t bucket) {
    const std::size_t mask = m_index.size() - 1;
    std::size_t hole = bucket;
    for (std::size_t j = (hole + 1) & mask; m_index[j].first != kNoSlot; j = (j + 1) & mask) {
        const std::size_t home = m_index[j].hash & mask;
        // Stays when its home lies cyclically after the hole and at or before j.
        const bool stays = hole <= j ? (hole < home && home <= j) : (hole < home || home <= j);
        if (!stays) {
            m_index[hole] = m_index[j];
            hole = j;
        }
    }
    m_index[hole] = KeySlots{};
    --m_nKeys;
}

std::string_view NoteMap::FindNote(std::string_view key) const {
    const std::size_t found = FindBucket(key, HashOf(key));
    if (found == kNoSlot) {
        return {};
    }
    return ViewOf(m_index[found].first).m_strText;
}

void NoteMap::SetNote(std::string_view key, std::string_view text) {
    // Both are read before anything is removed: either may be a view of an entry that goes.
    const std::string ownKey(key);
    const std::uint32_t hash = HashOf(ownKey);
    const std::size_t found = FindBucket(ownKey, hash);
    const bool keep = !IsBlankNote(text);
    // Filed again as it stands (a day looked at and left): the new entry is the old one moved to the
    // end, pointing where it did, so paging through a diary copies nothing.
    Slot same;
    if (keep && found != kNoSlot) {
        const std::size_t first = m_index[found].first;
        if (ViewOf(first).m_strText == text) {
            same = m_slots[first];
        }
    }
    NoteEntry fresh;
    if (keep && same.keyAt == kHole) {
        fresh = {ownKey, std::string(text)};
    }
    // Room first: once the old entries are gone, nothing may fail before the new one is in.
    auto roomForOneMore = [](auto& items) {
        if (items.size() == items.capacity()) {
            items.reserve(items.empty() ? 16 : items.capacity() * 2);
        }
    };
    roomForOneMore(m_slots);
    if (keep && same.keyAt == kHole) {
        roomForOneMore(m_apart);
    }
    if (keep && found == kNoSlot && (m_nKeys + 1) * 2 > m_index.size()) {
        Rehash(m_index.empty() ? 16 : m_index.size() * 2);
    }
    if (m_slots.size() >= kNoSlot || m_apart.size() >= kApart) {
        throw std::length_error("NoteMap: too many entries");
    }

    if (found != kNoSlot) {
        const KeySlots slots = m_index[found];
        std::size_t left = slots.count;
        for (std::size_t i = slots.first; left > 0 && i < m_slots.size(); ++i) {
            Slot& s = m_slots[i];
            if (s.keyAt == kHole || KeyOf(i) != ownKey) {
                continue;
            }
            const bool reused = same.keyAt == kApart && s.keyAt == kApart && s.textAt == same.textAt;
            if (s.keyAt == kApart && !reused) {
                m_apart[s.textAt] = NoteEntry{};
            }
            s = Slot{};
            --left;
            --m_nLive;
        }
    }
    if (keep) {
        Slot slot = same;
        if (slot.keyAt == kHole) {
            m_apart.push_back(std::move(fresh));
            slot = Slot{kApart, 0, static_cast<std::uint32_t>(m_apart.size() - 1), 0};
        }
        m_slots.push_back(slot);
        ++m_nLive;
        const auto at = static_cast<std::uint32_t>(m_slots.size() - 1);
        if (found != kNoSlot) {
            // The key keeps its bucket; only where its one entry stands changes.
            m_index[found] = KeySlots{at, 1, hash};
        } else {
            IndexAppended(at, hash);
        }
    } else if (found != kNoSlot) {
        EraseBucket(found);
    }
    if (m_slots.size() > 64 && m_slots.size() - m_nLive > m_nLive) {
        Compact();
    }
}

void NoteMap::PushSlot(const Slot& slot) {
    if (m_slots.size() >= kNoSlot) {
        throw std::length_error("NoteMap: too many entries");
    }
    m_slots.push_back(slot);
    ++m_nLive;
    try {
        IndexAppended(m_slots.size() - 1);
    } catch (...) {
        m_slots.pop_back();
        --m_nLive;
        throw;
    }
}

void NoteMap::Append(std::string_view key, std::string_view text) {
    if (InBlock(key) && InBlock(text)) {
        PushSlot(BlockSlot(key, text));
        return;
    }
    Append(NoteEntry{std::string(key), std::string(text)});
}

void NoteMap::Append(NoteEntry entry) {
    if (m_apart.size() >= kApart) {
        throw std::length_error("NoteMap: too many entries");
    }
    m_apart.push_back(std::move(entry));
    try {
        PushSlot(Slot{kApart, 0, static_cast<std::uint32_t>(m_apart.size() - 1), 0});
    } catch (...) {
        m_apart.pop_back();
        throw;
    }
}

void NoteMap::Clear() {
    m_block = std::string();
    m_apart = {};
    m_slots = {};
    m_index = {};
    m_nKeys = 0;
    m_nLive = 0;
}

std::string_view NoteMap::Adopt(std::string bytes) {
    Clear();
    m_block = std::move(bytes);
    return m_block;
}

void NoteMap::Reserve(std::size_t entries) {
    m_slots.reserve(entries);
    std::size_t buckets = 16;
    while (buckets < entries * 2) {
        buckets *= 2;
    }
    if (buckets > m_index.size()) {
        Rehash(buckets);
    }
}

std::size_t NoteMap::HeldBytes() const {
    std::size_t bytes = m_block.capacity() + m_apart.capacity() * sizeof(NoteEntry) +
                        m_slots.capacity() * sizeof(Slot) + m_index.capacity() * sizeof(KeySlots);
    for (const NoteEntry& entry : m_apart) {
        bytes += entry.m_strKey.capacity() + entry.m_strText.capacity();
    }
    return bytes;
}

void NoteMap::Compact() {
    // Everything is allocated before anything moves, so running out of memory here leaves the
    // list as it was.
    std::size_t apartLive = 0;
    for (const Slot& slot : m_slots) {
        apartLive += slot.keyAt == kApart ? 1 : 0;
    }
    std::vector<Slot> live;
    live.reserve(m_nLive);
    std::vector<NoteEntry> apart;
    apart.reserve(apartLive);
    std::vector<KeySlots> index(m_index.size());
    for (const Slot& slot : m_slots) {
        if (slot.keyAt == kApart) {
            apart.push_back(std::move(m_apart[slot.textAt]));
            live.push_back(Slot{kApart, 0, static_cast<std::uint32_t>(apart.size() - 1), 0});
        } else if (slot.keyAt != kHole) {
            live.push_back(slot);
        }
    }
    m_slots = std::move(live);
    m_apart = std::move(apart);
    // The same keys as before, so the table of the same size takes them without growing.
    m_index = std::move(index);
    m_nKeys = 0;
    for (std::size_t i = 0; i < m_slots.size(); ++i) {
        IndexAppended(i);
    }
}
