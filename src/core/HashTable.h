// core::HashTable<K, V>: a chained hash table with prime bucket counts and a
// pool of pre-allocated nodes. Nodes are made in batches (bucketCount x load
// factor per growth step); when the pool runs dry the table grows to the next
// prime and every stored node is moved to its new chain.
// insert of a present key and set of a missing key are warnings with a false
// result; get of a missing key is a silent false. The table is unchanged then.
#pragma once
#include "core/DebugLog.h"
#include "core/Object.h"
#include "core/Ref.h"
#include "core/TypeName.h"
#include "core/Vector.h"

namespace core {

namespace hashtable_detail {
static const unsigned PRIMES[18] = {3,    5,    7,    13,    23,    37,    67,    131,   257,
                                     521,  1031, 2053, 4099, 8209, 16411, 32771, 65543, 129403};
// The first prime of the table above n; past the table, n + 129403.
inline unsigned nextBucketCount(unsigned n) {
    for (unsigned p : PRIMES)
        if (p > n) return p;
    return n + 129403u;
}
} // namespace hashtable_detail

template <typename K, typename V> class HashTable : public Object {
public:
    class Node : public Object {
    public:
        Node() : key() {}
        K key;
        V value;
        Ref<Node> next;
    };

    HashTable(int initialSize, float loadFactor)
        : m_bucketCount(hashtable_detail::nextBucketCount((unsigned)(initialSize < 0 ? 0 : initialSize))),
          m_count(0), m_loadFactor(loadFactor) {
        m_buckets.resize((int)m_bucketCount);
        int nodes = (int)((float)m_bucketCount * m_loadFactor);
        m_freeNodes.resize(nodes);
        for (int i = 0; i < nodes; ++i) m_freeNodes[i] = newNode(constructorName(), 172);
    }

    virtual ~HashTable() {
        // Unlink chains iteratively so a long chain does not recurse on release.
        for (int i = 0; i < m_buckets.size(); ++i) {
            Ref<Node> n = m_buckets[i];
            m_buckets[i].release();
            while (n) {
                Ref<Node> next = n->next;
                n->next.release();
                n = next;
            }
        }
    }

    bool insert(const K& key, const V& value) {
        if (findNode(key)) {
            log(LOG_WARNING, "Key is already inserted to the hash table!\n");
            return false;
        }
        Ref<Node> node = takeFreeNode();
        if (!node) return false;
        node->key = key;
        node->value = value;
        unsigned b = bucketOf(key);
        node->next = m_buckets[(int)b];
        m_buckets[(int)b] = node;
        ++m_count;
        return true;
    }

    bool get(const K& key, V& out) const {
        Node* n = findNode(key);
        if (!n) return false;
        out = n->value;
        return true;
    }

    bool set(const K& key, const V& value) {
        Node* n = findNode(key);
        if (!n) {
            log(LOG_WARNING, "Key is not found from the hash table!\n");
            return false;
        }
        n->value = value;
        return true;
    }

    // The chain of a key's bucket, for owners that walk it directly.
    Node* chain(const K& key) const { return m_buckets[(int)bucketOf(key)].get(); }
    // The bucket of a key: the key taken as an unsigned 32-bit number, modulo the bucket count.
    unsigned bucketIndex(const K& key) const { return bucketOf(key); }

    unsigned getBucketCount() const { return m_bucketCount; }
    int getCount() const { return m_count; }
    int getFreeNodeCount() const { return m_freeNodes.size(); }

private:
    struct CtorTag {};
    struct GrowTag {};
    // "core::HashTable<int,class core::Vector<...> >::HashTable"
    template <typename Tag> static const char* tagName(const char* suffix) {
        static typename_detail::Text text = [&] {
            typename_detail::Text t;
            t.add("core::HashTable<");
            typename_detail::Spell<K>::add(t);
            t.add(",");
            typename_detail::Spell<V>::add(t);
            if (t.buf[t.len - 1] == '>') t.add(" ");
            t.add(">");
            t.add(suffix);
            return t;
        }();
        return text.buf;
    }
    static const char* constructorName() { return tagName<CtorTag>("::HashTable"); }
    static const char* growName() { return tagName<GrowTag>("::getFreeHashNode"); }

    static Node* newNode(const char* tag, int line) { return new (tag, line) Node(); }

    unsigned bucketOf(const K& key) const { return (unsigned)key % m_bucketCount; }

    Node* findNode(const K& key) const {
        for (Node* n = m_buckets[(int)bucketOf(key)].get(); n; n = n->next.get())
            if (n->key == key) return n;
        return nullptr;
    }

    Ref<Node> takeFreeNode() {
        if (m_freeNodes.size() == 0) grow();
        int last = m_freeNodes.size() - 1;
        if (last < 0) return Ref<Node>();
        Ref<Node> n = m_freeNodes[last];
        m_freeNodes.resize(last);
        return n;
    }

    void grow() {
        unsigned newCount = hashtable_detail::nextBucketCount(m_bucketCount);
        int nodes = (int)((float)newCount * m_loadFactor);
        m_freeNodes.resize(nodes);
        for (int i = 0; i < nodes; ++i)
            if (!m_freeNodes[i]) m_freeNodes[i] = newNode(growName(), 242);
        Vector<Ref<Node>> fresh;
        fresh.resize((int)newCount);
        for (int i = 0; i < m_buckets.size(); ++i) {
            Ref<Node> n = m_buckets[i];
            m_buckets[i].release();
            while (n) {
                Ref<Node> next = n->next;
                unsigned b = (unsigned)n->key % newCount;
                n->next = fresh[(int)b];
                fresh[(int)b] = n;
                n = next;
            }
        }
        m_bucketCount = newCount;
        m_buckets = fresh;
    }

    unsigned m_bucketCount;
    int m_count;
    Vector<Ref<Node>> m_buckets;
    float m_loadFactor;
    Vector<Ref<Node>> m_freeNodes;
};

} // namespace core
