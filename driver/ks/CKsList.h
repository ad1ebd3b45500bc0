// The doubly linked list the Kernel Streaming classes keep their filters, pins,
// nodes and data ranges in. Entries are appended at the tail and the list is
// emptied from the head. Whether a list owns its items is up to its holder:
// RemoveAll drops the entries only, DeleteAll deletes the items too.
#pragma once

#include <new>

template <typename T>
class CKsList {
public:
    struct Node {
        Node* next;
        Node* previous;
        T* item;
    };

    CKsList() = default;
    ~CKsList() { RemoveAll(); }
    CKsList(const CKsList&) = delete;
    CKsList& operator=(const CKsList&) = delete;

    Node* Head() const { return m_head; }
    Node* Tail() const { return m_tail; }
    long Count() const { return m_count; }
    bool IsEmpty() const { return m_head == nullptr; }

    // False when no entry could be allocated; the item is then not in the list.
    bool AddTail(T* item) {
        Node* node = new (std::nothrow) Node{nullptr, m_tail, item};
        if (!node) return false;
        if (m_tail)
            m_tail->next = node;
        else
            m_head = node;
        m_tail = node;
        ++m_count;
        return true;
    }

    // Takes a node out of the list, fixing its neighbours; the caller then owns
    // the node and its item.
    void Unlink(Node* node) {
        if (node->previous)
            node->previous->next = node->next;
        else
            m_head = node->next;
        if (node->next)
            node->next->previous = node->previous;
        else
            m_tail = node->previous;
        node->next = node->previous = nullptr;
        --m_count;
    }

    // Removes the head entry and returns its item (null when empty).
    T* RemoveHead() {
        Node* node = m_head;
        if (!node) return nullptr;
        Unlink(node);
        T* item = node->item;
        delete node;
        return item;
    }

    void RemoveAll() {
        while (m_head) RemoveHead();
    }

    void DeleteAll() {
        while (m_head) delete RemoveHead();
    }

private:
    Node* m_head = nullptr;
    Node* m_tail = nullptr;
    long m_count = 0;
};
