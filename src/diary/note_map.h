// The diary in memory: an ordered list of notes, each filed under a date key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "diary/archive.h"

struct NoteEntry {
    std::string m_strKey;
    std::string m_strText;

    friend bool operator==(const NoteEntry&, const NoteEntry&) = default;
};

// An entry as the list hands it out: views of the list's own bytes, valid until the list changes.
struct NoteView {
    std::string_view m_strKey;
    std::string_view m_strText;

    operator NoteEntry() const { return {std::string(m_strKey), std::string(m_strText)}; }
    friend bool operator==(const NoteView&, const NoteView&) = default;
};

// True when the text holds nothing but the six ASCII white-space bytes. Any byte from 0x80 up,
// the GBK full-width space included, counts as writing.
bool IsBlankNote(std::string_view text);

// A sequence, oldest first. SetNote always moves a key's note to the end; entries appended raw
// (from a file) may repeat a key, and then only the first of them is seen.
//
// A diary read from a file keeps the file's bytes as one block (Adopt), and its entries are views
// into it: a lifetime of notes then costs the file's size and a small record per entry, not two
// strings per note. What is written afterwards lives apart, one entry at a time; a note filed again
// unchanged goes on pointing into the block.
//
// Removal leaves a hole that iteration skips and that is compacted away once holes outnumber the
// live entries. A per-key index finds the first entry of a key, so look-ups do not walk the list:
// one flat open-addressed table of small integers that point into the list.
class NoteMap {
  public:
    class const_iterator {
      public:
        using value_type = NoteView;
        using difference_type = std::ptrdiff_t;
        using reference = NoteView;
        using iterator_category = std::input_iterator_tag;

        const_iterator() = default;
        NoteView operator*() const { return m_map->ViewOf(m_slot); }
        struct Arrow {
            NoteView view;
            const NoteView* operator->() const { return &view; }
        };
        Arrow operator->() const { return {**this}; }
        const_iterator& operator++() {
            ++m_slot;
            SkipHoles();
            return *this;
        }
        const_iterator operator++(int) {
            auto old = *this;
            ++*this;
            return old;
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b) {
            return a.m_slot == b.m_slot;
        }

      private:
        friend class NoteMap;
        const_iterator(const NoteMap* map, std::size_t slot) : m_map(map), m_slot(slot) { SkipHoles(); }
        void SkipHoles() {
            while (m_slot < m_map->m_slots.size() && m_map->m_slots[m_slot].keyAt == kHole) {
                ++m_slot;
            }
        }
        const NoteMap* m_map = nullptr;
        std::size_t m_slot = 0;
    };

    // The text of the first entry filed under the key; empty when there is none.
    std::string GetNote(std::string_view key) const { return std::string(FindNote(key)); }
    // The same without a copy; valid until the list next changes.
    std::string_view FindNote(std::string_view key) const;
    // Removes every entry of the key, then appends (key, text) unless the text is blank. The key
    // or text may be views of the list itself: they are read before anything is removed.
    void SetNote(std::string_view key, std::string_view text);
    // Appends as it comes, duplicates and blank texts included. Views into the adopted block are
    // kept as views; anything else is copied.
    void Append(std::string_view key, std::string_view text);
    void Append(NoteEntry entry);
    void Clear();
    // Empties the list and takes the bytes as its block; entries appended with views into the
    // returned view cost no copy of their bytes.
    std::string_view Adopt(std::string bytes);
    // Room for this many entries in all, so that appending that many moves nothing.
    void Reserve(std::size_t entries);

    std::size_t size() const { return m_nLive; }
    bool empty() const { return m_nLive == 0; }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, m_slots.size()}; }
    std::vector<NoteEntry> Entries() const { return {begin(), end()}; }
    // Bytes held for notes: the block, the entries apart, the list and its index.
    std::size_t HeldBytes() const;

  private:
    static constexpr std::uint32_t kNoSlot = UINT32_MAX;
    // keyAt of a removed entry, and of one whose bytes live apart (in m_apart[textAt]).
    static constexpr std::uint32_t kHole = UINT32_MAX;
    static constexpr std::uint32_t kApart = UINT32_MAX - 1;

    // One entry: offsets and lengths in the block, or an index into m_apart.
    struct Slot {
        std::uint32_t keyAt = kHole;
        std::uint32_t keyLen = 0;
        std::uint32_t textAt = 0;
        std::uint32_t textLen = 0;
    };

    // One key of the index: where its first live entry stands, and how many live entries it has.
    struct KeySlots {
        std::uint32_t first = kNoSlot; // kNoSlot: an empty bucket
        std::uint32_t count = 0;
        std::uint32_t hash = 0;
    };

    // The file decoder appends a whole file before anything looks the entries up, and the index is
    // then built in one pass that fetches its buckets ahead (IndexFrom): a million keys scattered
    // over a table of tens of megabytes would otherwise wait on memory once per key.
    friend bool DecodeNotes(std::string bytes, NoteMap& notes, const WideToNarrow& toNarrow,
                            std::size_t* unread);
    bool PushUnindexed(std::string_view key, std::string_view text);
    void IndexFrom(std::size_t slot);

    NoteView ViewOf(std::size_t slot) const;
    std::string_view KeyOf(std::size_t slot) const { return ViewOf(slot).m_strKey; }
    bool InBlock(std::string_view bytes) const;
    // The entry of a key and text that both lie in the block (InBlock).
    Slot BlockSlot(std::string_view key, std::string_view text) const;
    void PushSlot(const Slot& slot);

    static std::uint32_t HashOf(std::string_view key);
    // The bucket of the key, or kNoSlot.
    std::size_t FindBucket(std::string_view key, std::uint32_t hash) const;
    void IndexAppended(std::size_t slot) { IndexAppended(slot, HashOf(KeyOf(slot))); }
    void IndexAppended(std::size_t slot, std::uint32_t hash);
    void EraseBucket(std::size_t bucket);
    void Rehash(std::size_t buckets);
    void Compact();

    std::string m_block;
    std::vector<NoteEntry> m_apart; // removed ones are emptied and left until the next compaction
    std::vector<Slot> m_slots;
    std::vector<KeySlots> m_index; // a power of two in size, at most half full; empty when no keys
    std::size_t m_nKeys = 0;
    std::size_t m_nLive = 0;
};
