#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

// An ordered list of pseudonyms whose look-ups ignore letter case, as the
// main window's contact lists compare names. Appending, membership and
// removal of the first matching entry take constant time, so a tick can move
// thousands of contacts between lists without scanning them; the order of
// the entries is the order they were appended in.
class PseudoList
{
public:
    PseudoList() = default;
    PseudoList(std::initializer_list<QString> names);

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

private:
    struct Entry {
        QString name;
        QString key;
        bool alive = true;
    };
    void compact() const;

    mutable std::vector<Entry> m_entries;
    // Positions of the live entries of each key, ascending.
    mutable QHash<QString, QList<qsizetype>> m_positions;
    qsizetype m_alive = 0;
};
