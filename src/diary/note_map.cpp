// The diary in memory: ordered notes with a key index.
#include "diary/note_map.h"

#include <functional>

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

std::size_t NoteMap::HashOf(std::string_view key) {
    return std::hash<std::string_view>{}(key);
}

std::size_t NoteMap::FindBucket(std::string_view key, std::size_t hash) const {
    if (m_index.empty()) {
        return kNoSlot;
    }
    const std::size_t mask = m_index.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const KeySlots& b = m_index[i];
        if (b.first == kNoSlot) {
            return kNoSlot;
        }
        if (b.hash == hash && m_slots[b.first]->m_strKey == key) {
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

void NoteMap::IndexAppended(std::size_t slot) {
    const std::string& key = m_slots[slot]->m_strKey;
    const std::size_t hash = HashOf(key);
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
    m_index[i] = KeySlots{slot, 1, hash};
    ++m_nKeys;
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

std::string NoteMap::GetNote(std::string_view key) const {
    const std::size_t found = FindBucket(key, HashOf(key));
    if (found == kNoSlot) {
        return {};
    }
    return m_slots[m_index[found].first]->m_strText;
}

void NoteMap::SetNote(std::string key, std::string text) {
    const std::size_t found = FindBucket(key, HashOf(key));
    if (found != kNoSlot) {
        const KeySlots slots = m_index[found];
        EraseBucket(found);
        std::size_t left = slots.count;
        for (std::size_t i = slots.first; left > 0 && i < m_slots.size(); ++i) {
            if (m_slots[i] && m_slots[i]->m_strKey == key) {
                m_slots[i].reset();
                --left;
                --m_nLive;
            }
        }
    }
    if (!IsBlankNote(text)) {
        Append({std::move(key), std::move(text)});
    }
    if (m_slots.size() > 64 && m_slots.size() - m_nLive > m_nLive) {
        Compact();
    }
}

void NoteMap::Append(NoteEntry entry) {
    m_slots.emplace_back(std::move(entry));
    ++m_nLive;
    IndexAppended(m_slots.size() - 1);
}

void NoteMap::Clear() {
    m_slots.clear();
    m_index.clear();
    m_nKeys = 0;
    m_nLive = 0;
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

void NoteMap::Compact() {
    std::vector<std::optional<NoteEntry>> live;
    live.reserve(m_nLive);
    for (auto& slot : m_slots) {
        if (slot) {
            live.push_back(std::move(slot));
        }
    }
    m_slots = std::move(live);
    m_index.clear();
    m_nKeys = 0;
    for (std::size_t i = 0; i < m_slots.size(); ++i) {
        IndexAppended(i);
    }
}
