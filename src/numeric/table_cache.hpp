#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Strip tables kept per exact gamma shape, so that a shape seen again draws from the table
// built the first time instead of building it anew (shapes repeat: a rejected random-walk move
// proposes from the same value next sweep, independence proposals use the prior's shapes for
// every cohort). Building is deterministic and draws no random numbers, so a cached table is
// bit-identical to a fresh one and no draw changes. Bounded: `slots` direct-mapped entries
// keyed by the bits of the shape; a new shape replaces the one in its slot.
template <class Table, std::size_t slots = 1024>
class table_cache {
public:
    // The table of `shape`, made by `build()` when not cached. The reference stays valid
    // until the next call of `find`.
    template <class Build>
    const Table& find(double shape, Build build)
    {
        std::uint64_t key;
        std::memcpy(&key, &shape, sizeof key);
        entry& e = entries_[slot_of(key)];
        if (e.used && e.key == key) {
            ++hits;
            return e.table;
        }
        ++misses;
        e.used = false;   // stays unused if the build throws
        e.table = build();
        e.key = key;
        e.used = true;
        return e.table;
    }

    // Whether `shape` is cached, without counting a hit or a miss.
    bool contains(double shape) const
    {
        std::uint64_t key;
        std::memcpy(&key, &shape, sizeof key);
        const entry& e = entries_[slot_of(key)];
        return e.used && e.key == key;
    }

    std::uint64_t hits = 0, misses = 0;

private:
    static std::size_t slot_of(std::uint64_t key)
    {
        key ^= key >> 33;
        key *= 0xff51afd7ed558ccdULL;
        key ^= key >> 33;
        return static_cast<std::size_t>(key % slots);
    }
    struct entry {
        std::uint64_t key = 0;
        bool used = false;
        Table table;
    };
    std::array<entry, slots> entries_{};
};
