#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <iterator>
#include <vector>

// An ordered list of pseudonyms whose look-ups ignore letter case, as the
// main window's contact lists compare names. Appending, membership and
// removal of the first matching entry take constant time, so a tick can move
// thousands of contacts between lists without scanning them; the order of
// the entries is the order they were appended in.
class PseudoList
{
    struct Entry
    {
        QString name;
        QString key;
        bool alive = true;
        qsizetype next = -1; // next live entry of the same key
    };
    // The live entries of one key form a chain in list order.
    struct Chain
    {
        qsizetype head;
        qsizetype tail;
    };

public:
    PseudoList() = default;
    PseudoList(std::initializer_list<QString> names);
    // From a plain list, same order.
    PseudoList(const QStringList &names); // NOLINT: converts like a QStringList copy
    PseudoList &operator=(const QStringList &names);

    // The key two names share when they differ only in letter case.
    static QString keyOf(const QString &name) { return name.toCaseFolded(); }

    void append(const QString &name);
    // Removes the first entry equal to name ignoring case.
    bool removeOne(const QString &name);
    // Removes every entry equal to name ignoring case; returns how many.
    qsizetype removeAll(const QString &name);
    bool contains(const QString &name) const;
    // Position of the first entry equal to name ignoring case, or -1.
    // Linear; membership tests should use contains().
    qsizetype indexOf(const QString &name) const;
    QString at(qsizetype i) const;
    qsizetype size() const { return m_alive; }
    qsizetype count() const { return m_alive; }
    bool isEmpty() const { return m_alive == 0; }
    void clear();
    QStringList toStringList() const;

    bool operator==(const QStringList &names) const { return toStringList() == names; }

    // Iteration over the live entries, in order.
    class const_iterator
    {
    public:
        using value_type = QString;
        using difference_type = std::ptrdiff_t;
        using reference = const QString &;
        using pointer = const QString *;
        using iterator_category = std::forward_iterator_tag;

        const_iterator() = default;
        reference operator*() const { return (*m_entries)[m_pos].name; }
        pointer operator->() const { return &(*m_entries)[m_pos].name; }
        const_iterator &operator++()
        {
            ++m_pos;
            skipDead();
            return *this;
        }
        const_iterator operator++(int)
        {
            const_iterator old = *this;
            ++*this;
            return old;
        }
        bool operator==(const const_iterator &o) const { return m_pos == o.m_pos; }

    private:
        friend class PseudoList;
        void skipDead()
        {
            while (m_pos < m_entries->size() && !(*m_entries)[m_pos].alive)
                ++m_pos;
        }
        const std::vector<PseudoList::Entry> *m_entries = nullptr;
        size_t m_pos = 0;
    };
    const_iterator begin() const;
    const_iterator end() const;

private:
    void compact() const;

    mutable std::vector<Entry> m_entries;
    mutable QHash<QString, Chain> m_chains;
    qsizetype m_alive = 0;
};
