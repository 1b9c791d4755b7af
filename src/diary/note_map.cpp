// The diary in memory: ordered notes with a key index.
#include "diary/note_map.h"

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

std::string NoteMap::GetNote(std::string_view key) const {
    const auto found = m_index.find(std::string(key));
    if (found == m_index.end()) {
        return {};
    }
    return m_slots[found->second.first]->m_strText;
}

void NoteMap::SetNote(std::string key, std::string text) {
    const auto found = m_index.find(key);
    if (found != m_index.end()) {
        const KeySlots slots = found->second;
        m_index.erase(found);
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
    auto [it, inserted] = m_index.try_emplace(entry.m_strKey, KeySlots{m_slots.size(), 0});
    ++it->second.count;
    m_slots.emplace_back(std::move(entry));
    ++m_nLive;
}

void NoteMap::Clear() {
    m_slots.clear();
    m_index.clear();
    m_nLive = 0;
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
    for (std::size_t i = 0; i < m_slots.size(); ++i) {
        auto [it, inserted] = m_index.try_emplace(m_slots[i]->m_strKey, KeySlots{i, 0});
        ++it->second.count;
    }
}
