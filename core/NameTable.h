// The name tables of the reader and the catalogue steps: byte strings interned once, each with
// the index of its first insertion, so that records of one name share one QByteArray and a step
// finds a name's index without comparing it against every other.
#pragma once

#include "util/CommonDecl.h"

#include <QByteArrayView>

#include <cstring>
#include <limits>
#include <vector>

inline quint64 Load64(const char *p)
{
    quint64 v;
    std::memcpy(&v, p, 8);
    return v;
}

inline quint64 HashBytes(const char *p, qsizetype n)
{
    constexpr quint64 k = 0x9E3779B97F4A7C15ull;
    quint64 h = quint64(n) * k;
    while (n >= 8) {
        h = (h ^ Load64(p)) * k;
        h ^= h >> 29;
        p += 8;
        n -= 8;
    }
    if (n > 0) {
        quint64 tail = 0;
        std::memcpy(&tail, p, std::size_t(n));
        h = (h ^ tail) * k;
    }
    h ^= h >> 32;
    h *= 0xD6E8FEB86659FD93ull;
    h ^= h >> 32;
    return h;
}

inline bool SameBytes(QByteArrayView a, const QByteArray &b)
{
    qsizetype n = a.size();
    if (n != b.size())
        return false;
    const char *p = a.data();
    const char *q = b.constData();
    // Names are short: compare eight bytes at a time without a call.
    for (; n >= 8; n -= 8, p += 8, q += 8)
        if (Load64(p) != Load64(q))
            return false;
    for (; n > 0; --n)
        if (*p++ != *q++)
            return false;
    return true;
}

// Distinct byte strings, each with the index of its insertion: open addressing, linear probing.
// A slot keeps its own copy of the name (shared, not copied), so a probe reads the slot and the
// name's bytes and nothing else.
class TNameTable
{
public:
    explicit TNameTable(std::size_t expected = 16)
    {
        std::size_t capacity = 16;
        while (capacity < 2 * expected)
            capacity *= 2;
        m_slots.resize(capacity);
        m_mask = capacity - 1;
        m_names.reserve(expected);
    }

    qint32 find(QByteArrayView name) const
    {
        const quint64 h = HashBytes(name.data(), name.size());
        for (std::size_t i = std::size_t(h) & m_mask;; i = (i + 1) & m_mask) {
            const Slot &slot = m_slots[i];
            if (slot.index < 0)
                return -1;
            if (slot.tag == quint32(h >> 32) && SameBytes(name, slot.name))
                return slot.index;
        }
    }

    // The kept copy of name; when it is new, make() gives the QByteArray to keep for it.
    template <typename Make>
    const QByteArray &intern(QByteArrayView name, Make make, qint32 *index = nullptr)
    {
        return intern(name, HashBytes(name.data(), name.size()), make, index);
    }

    // The same with the name's hash already computed.
    template <typename Make>
    const QByteArray &intern(QByteArrayView name, quint64 h, Make make, qint32 *index = nullptr)
    {
        std::size_t i = std::size_t(h) & m_mask;
        for (;; i = (i + 1) & m_mask) {
            const Slot &slot = m_slots[i];
            if (slot.index < 0)
                break;
            if (slot.tag == quint32(h >> 32) && SameBytes(name, slot.name)) {
                if (index)
                    *index = slot.index;
                return slot.name;
            }
        }
        const auto added = qint32(m_names.size());
        m_names.push_back(make());
        m_slots[i] = Slot{m_names.back(), quint32(h >> 32), added};
        if (index)
            *index = added;
        if (2 * m_names.size() > m_slots.size()) {
            grow();
            return m_names.back();
        }
        return m_slots[i].name;
    }

    // The index of name, added when new as make() gives it.
    template <typename Make> qint32 findOrAdd(QByteArrayView name, Make make)
    {
        qint32 index = -1;
        intern(name, make, &index);
        return index;
    }

    // For look-ups in batches: bring the first slot of a hash into the cache, then find the
    // kept name whose slot carries the hash's tag (without comparing bytes: the caller compares
    // later, once that name is in the cache too), or null when the probe meets an empty slot.
    void prefetch(quint64 h) const { __builtin_prefetch(&m_slots[std::size_t(h) & m_mask]); }
    const QByteArray *candidate(quint64 h) const
    {
        for (std::size_t i = std::size_t(h) & m_mask;; i = (i + 1) & m_mask) {
            const Slot &slot = m_slots[i];
            if (slot.index < 0)
                return nullptr;
            if (slot.tag == quint32(h >> 32))
                return &slot.name;
        }
    }
    // Changes whenever the slots move, which makes earlier candidates invalid.
    std::size_t generation() const { return m_slots.size(); }

    const QByteArray &name(qint32 index) const { return m_names[std::size_t(index)]; }
    std::size_t size() const { return m_names.size(); }
    tVectorOfString takeNames()
    {
        m_slots.clear();
        return std::move(m_names);
    }

private:
    struct Slot
    {
        QByteArray name;
        quint32 tag = 0;
        qint32 index = -1;
    };

    void grow()
    {
        std::vector<Slot> grown(2 * m_slots.size());
        const std::size_t mask = grown.size() - 1;
        for (Slot &slot : m_slots) {
            if (slot.index < 0)
                continue;
            const quint64 h = HashBytes(slot.name.constData(), slot.name.size());
            std::size_t i = std::size_t(h) & mask;
            while (grown[i].index >= 0)
                i = (i + 1) & mask;
            grown[i] = std::move(slot);
        }
        m_slots.swap(grown);
        m_mask = mask;
    }

    std::vector<Slot> m_slots;
    std::size_t m_mask = 0;
    tVectorOfString m_names;
};

// Names looked up through a content table, first by the QByteArray's data pointer and size:
// records of one interned name share their data, so a look-up mostly costs one probe of a small
// table of pointers and no hashing or comparing of bytes. Equal pointer and size mean equal bytes
// as long as the names seen are alive and unchanged, which holds during one catalogue step.
// Records whose names are not shared would only fill the pointer table, so it is given up when it
// grows far beyond the number of distinct names.
class TNameLookup
{
public:
    explicit TNameLookup(TNameTable &table) : m_table(table) { rehash(1 << 12); }

    // The index of name in the table, or -1.
    qint32 find(const QByteArray &name) { return lookup(name, false); }
    // The index of name, adding it to the table when it is new.
    qint32 findOrAdd(const QByteArray &name) { return lookup(name, true); }

private:
    struct Slot
    {
        const char *data = nullptr; // constData() is never null, so null marks an empty slot
        qint32 size = 0;            // names longer than 2 GB are not cached
        qint32 index = -1;
    };

    qint32 lookup(const QByteArray &name, bool add)
    {
        if (!m_enabled || name.size() > std::numeric_limits<qint32>::max())
            return add ? m_table.findOrAdd(name, [&] { return name; }) : m_table.find(name);
        const char *data = name.constData();
        std::size_t i = PointerHash(data) & m_mask;
        for (;; i = (i + 1) & m_mask) {
            const Slot &slot = m_slots[i];
            if (slot.data == data && slot.size == name.size())
                return slot.index;
            if (!slot.data)
                break;
        }
        const qint32 index =
            add ? m_table.findOrAdd(name, [&] { return name; }) : m_table.find(name);
        m_slots[i] = Slot{data, qint32(name.size()), index};
        if (2 * ++m_used > m_slots.size()) {
            if (m_used > 4 * m_table.size() + 4096)
                m_enabled = false; // the names are not shared: look them up by content
            else
                rehash(2 * m_slots.size());
        }
        return index;
    }

    static std::size_t PointerHash(const char *data)
    {
        const quint64 h = quint64(reinterpret_cast<quintptr>(data)) * 0x9E3779B97F4A7C15ull;
        return std::size_t(h >> 20);
    }

    void rehash(std::size_t capacity)
    {
        std::vector<Slot> old;
        old.swap(m_slots);
        m_slots.assign(capacity, Slot{});
        m_mask = capacity - 1;
        for (const Slot &slot : old) {
            if (!slot.data)
                continue;
            std::size_t i = PointerHash(slot.data) & m_mask;
            while (m_slots[i].data)
                i = (i + 1) & m_mask;
            m_slots[i] = slot;
        }
    }

    TNameTable &m_table;
    std::vector<Slot> m_slots;
    std::size_t m_mask = 0;
    std::size_t m_used = 0;
    bool m_enabled = true;
};
