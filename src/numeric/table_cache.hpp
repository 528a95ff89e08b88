#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

// Strip tables kept per exact gamma shape, so that a shape seen again draws from the table
// built the first time instead of building it anew (shapes repeat: a rejected random-walk move
// proposes from the same value next sweep, independence proposals use the prior's shapes for
// every cohort). Building is deterministic and draws no random numbers, so a cached table is
// bit-identical to a fresh one and no draw changes. Bounded: `sets` sets of `ways` tables keyed
// by the bits of the shape, the least recently used table of a set giving way to a new shape.
// A shape comes back within about a hundred tables or not at all, so 256 tables keep nearly
// every table that is ever asked for again.
template <class Table, std::size_t sets = 64, std::size_t ways = 4>
class table_cache {
public:
    static constexpr std::size_t set_size = ways;

    // The cached table of `shape` (a hit, counted), or null.
    const Table* lookup(double shape)
    {
        const std::uint64_t key = key_of(shape);
        const std::size_t s = set_of(key);
        for (std::size_t w = 0; w < ways; ++w)
            if (sets_[s].used[w] && sets_[s].key[w] == key) {
                ++hits;
                touch(sets_[s], w);
                return &tables_[s * ways + w];
            }
        return nullptr;
    }

    // A table to build the table of `shape` in (a miss, counted): the least recently used one of
    // its set, which `lookup` does not find until `keep` says it is complete. A table stays in
    // place until it is the least recently used of its set and another shape is claimed there,
    // so a second claim does not take the first one's.
    Table& claim(double shape)
    {
        ++misses;
        const std::uint64_t key = key_of(shape);
        const std::size_t s = set_of(key);
        const std::size_t w = sets_[s].order[ways - 1];
        sets_[s].used[w] = false;
        sets_[s].key[w] = key;
        touch(sets_[s], w);
        return tables_[s * ways + w];
    }

    // Makes a claimed table found by `lookup` from now on.
    void keep(const Table& t)
    {
        const std::size_t i = static_cast<std::size_t>(&t - tables_);
        sets_[i / ways].used[i % ways] = true;
    }

    // Whether `shape` is cached, without counting a hit or a miss.
    bool contains(double shape) const
    {
        const std::uint64_t key = key_of(shape);
        const set& s = sets_[set_of(key)];
        for (std::size_t w = 0; w < ways; ++w)
            if (s.used[w] && s.key[w] == key) return true;
        return false;
    }

    std::uint64_t hits = 0, misses = 0;   // tables found, tables claimed

private:
    struct set {
        std::uint64_t key[ways] = {};
        bool used[ways] = {};
        std::uint8_t order[ways];   // the ways from the most to the least recently used
        set()
        {
            for (std::size_t w = 0; w < ways; ++w) order[w] = static_cast<std::uint8_t>(w);
        }
    };

    static std::uint64_t key_of(double shape)
    {
        std::uint64_t key;
        std::memcpy(&key, &shape, sizeof key);
        return key;
    }
    static std::size_t set_of(std::uint64_t key)
    {
        key ^= key >> 33;
        key *= 0xff51afd7ed558ccdULL;
        key ^= key >> 33;
        return static_cast<std::size_t>(key % sets);
    }
    // Makes way w the most recently used of its set.
    static void touch(set& s, std::size_t w)
    {
        std::size_t i = 0;
        while (s.order[i] != w) ++i;
        for (; i > 0; --i) s.order[i] = s.order[i - 1];
        s.order[0] = static_cast<std::uint8_t>(w);
    }
    set sets_[sets];
    Table tables_[sets * ways];   // set s holds tables s * ways ... s * ways + ways - 1
};
