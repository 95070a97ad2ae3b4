#pragma once

#include <cassert>

namespace Vorn {

// Intrusive singly linked lists: a node type T carries its own `T* next` member, and the lists
// link nodes in place without ever allocating, so they serve fixed node pools on time-critical
// paths. A node is in at most one list at a time; the lists own no nodes. Not thread-safe; the
// owner locks around them.

// Last in, first out.
template <class T> class VLinkedListStack {
public:
    void push(T* node) {
        assert(node != nullptr);
        node->next = m_head;
        m_head = node;
        ++m_count;
    }

    // The most recently pushed node, unlinked; nullptr when empty.
    T* pop() {
        T* const node = m_head;
        if (node != nullptr) {
            m_head = node->next;
            node->next = nullptr;
            --m_count;
        }
        return node;
    }

    T* head() const { return m_head; }
    int count() const { return m_count; }
    bool isEmpty() const { return m_head == nullptr; }
    // Forgets every node (their `next` links are left as they are).
    void clear() {
        m_head = nullptr;
        m_count = 0;
    }

private:
    T* m_head = nullptr;
    int m_count = 0;
};

// First in, first out.
template <class T> class VLinkedListQueue {
public:
    void append(T* node) {
        assert(node != nullptr);
        node->next = nullptr;
        if (m_tail == nullptr) {
            m_head = node;
        } else {
            m_tail->next = node;
        }
        m_tail = node;
        ++m_count;
    }

    // The oldest node, unlinked; nullptr when empty.
    T* pop() {
        T* const node = m_head;
        if (node != nullptr) {
            m_head = node->next;
            if (m_head == nullptr) {
                m_tail = nullptr;
            }
            node->next = nullptr;
            --m_count;
        }
        return node;
    }

    T* head() const { return m_head; }
    T* tail() const { return m_tail; }
    int count() const { return m_count; }
    bool isEmpty() const { return m_head == nullptr; }
    void clear() {
        m_head = nullptr;
        m_tail = nullptr;
        m_count = 0;
    }

private:
    T* m_head = nullptr;
    T* m_tail = nullptr;
    int m_count = 0;
};

// Kept in ascending order by a caller-supplied comparison; nodes that compare equal stay in the
// order they were inserted. Insertion walks the list, so it suits short lists.
template <class T> class VLinkedListSorted {
public:
    class Compare {
    public:
        virtual ~Compare() = default;
        // Negative when a orders before b, zero when equal, positive when after.
        virtual int compare(const T* a, const T* b) const = 0;
    };

    // The comparison is not owned and must outlive the list.
    explicit VLinkedListSorted(const Compare& comparator) : m_comparator(&comparator) {}

    void insert(T* node) {
        assert(node != nullptr);
        T** link = &m_head;
        while (*link != nullptr && m_comparator->compare(*link, node) <= 0) {
            link = &(*link)->next;
        }
        node->next = *link;
        *link = node;
        ++m_count;
    }

    // The first (smallest) node, unlinked; nullptr when empty.
    T* pop() {
        T* const node = m_head;
        if (node != nullptr) {
            m_head = node->next;
            node->next = nullptr;
            --m_count;
        }
        return node;
    }

    T* head() const { return m_head; }
    int count() const { return m_count; }
    bool isEmpty() const { return m_head == nullptr; }
    void clear() {
        m_head = nullptr;
        m_count = 0;
    }

private:
    const Compare* m_comparator;
    T* m_head = nullptr;
    int m_count = 0;
};

} // namespace Vorn
