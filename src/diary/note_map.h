// The diary in memory: an ordered list of notes, each filed under a date key.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct NoteEntry {
    std::string m_strKey;
    std::string m_strText;

    friend bool operator==(const NoteEntry&, const NoteEntry&) = default;
};

// True when the text holds nothing but the six ASCII white-space bytes. Any byte from 0x80 up,
// the GBK full-width space included, counts as writing.
bool IsBlankNote(std::string_view text);

// A sequence, oldest first. SetNote always moves a key's note to the end; entries appended raw
// (from a file) may repeat a key, and then only the first of them is seen.
//
// Removal leaves a hole that iteration skips and that is compacted away once holes outnumber the
// live entries; a per-key index finds the first entry of a key, so look-ups do not walk the list.
// The index is one flat open-addressed table that points into the list and holds no copy of any
// key, so a million notes cost no allocation of their own beyond their texts.
class NoteMap {
  public:
    class const_iterator {
      public:
        using value_type = NoteEntry;
        using difference_type = std::ptrdiff_t;
        using reference = const NoteEntry&;
        using pointer = const NoteEntry*;
        using iterator_category = std::forward_iterator_tag;

        const_iterator() = default;
        reference operator*() const { return **m_it; }
        pointer operator->() const { return &**m_it; }
        const_iterator& operator++() {
            ++m_it;
            SkipHoles();
            return *this;
        }
        const_iterator operator++(int) {
            auto old = *this;
            ++*this;
            return old;
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.m_it == b.m_it; }

      private:
        friend class NoteMap;
        using Base = std::vector<std::optional<NoteEntry>>::const_iterator;
        const_iterator(Base it, Base end) : m_it(it), m_end(end) { SkipHoles(); }
        void SkipHoles() {
            while (m_it != m_end && !m_it->has_value()) {
                ++m_it;
            }
        }
        Base m_it{};
        Base m_end{};
    };

    // The text of the first entry filed under the key; empty when there is none.
    std::string GetNote(std::string_view key) const;
    // Removes every entry of the key, then appends (key, text) unless the text is blank. Takes copies,
    // so a key or text that lives in the list itself stays valid while its entry is removed.
    void SetNote(std::string key, std::string text);
    // Appends as it comes, duplicates and blank texts included.
    void Append(NoteEntry entry);
    void Clear();
    // Room for this many entries in all, so that appending that many moves nothing.
    void Reserve(std::size_t entries);

    std::size_t size() const { return m_nLive; }
    bool empty() const { return m_nLive == 0; }
    const_iterator begin() const { return {m_slots.begin(), m_slots.end()}; }
    const_iterator end() const { return {m_slots.end(), m_slots.end()}; }
    std::vector<NoteEntry> Entries() const { return {begin(), end()}; }

  private:
    static constexpr std::size_t kNoSlot = static_cast<std::size_t>(-1);

    // One key of the index: where its first live entry stands, and how many live entries it has.
    struct KeySlots {
        std::size_t first = kNoSlot; // kNoSlot: an empty bucket
        std::size_t count = 0;
        std::size_t hash = 0;
    };

    static std::size_t HashOf(std::string_view key);
    // The bucket of the key, or kNoSlot.
    std::size_t FindBucket(std::string_view key, std::size_t hash) const;
    void IndexAppended(std::size_t slot);
    void EraseBucket(std::size_t bucket);
    void Rehash(std::size_t buckets);
    void Compact();

    std::vector<std::optional<NoteEntry>> m_slots;
    std::vector<KeySlots> m_index; // a power of two in size, at most half full; empty when no keys
    std::size_t m_nKeys = 0;
    std::size_t m_nLive = 0;
};
