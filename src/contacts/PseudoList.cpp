#include "contacts/PseudoList.h"

PseudoList::PseudoList(std::initializer_list<QString> names)
{
    for (const QString &name : names)
        append(name);
}

PseudoList::PseudoList(const QStringList &names)
{
    *this = names;
}

PseudoList &PseudoList::operator=(const QStringList &names)
{
    clear();
    m_entries.reserve(size_t(names.size()));
    m_chains.reserve(names.size());
    for (const QString &name : names)
        append(name);
    return *this;
}

PseudoList::const_iterator PseudoList::begin() const
{
    const_iterator it;
    it.m_entries = &m_entries;
    it.m_pos = 0;
    it.skipDead();
    return it;
}

PseudoList::const_iterator PseudoList::end() const
{
    const_iterator it;
    it.m_entries = &m_entries;
    it.m_pos = m_entries.size();
    return it;
}

void PseudoList::append(const QString &name)
{
    const qsizetype pos = qsizetype(m_entries.size());
    Entry entry { name, keyOf(name), true, -1 };
    const auto it = m_chains.find(entry.key);
    if (it == m_chains.end()) {
        m_chains.insert(entry.key, Chain { pos, pos });
    } else {
        m_entries[size_t(it->tail)].next = pos;
        it->tail = pos;
    }
    m_entries.push_back(std::move(entry));
    ++m_alive;
}

bool PseudoList::removeOne(const QString &name)
{
    const auto it = m_chains.find(keyOf(name));
    if (it == m_chains.end())
        return false;
    const qsizetype pos = it->head;
    if (pos == it->tail)
        m_chains.erase(it);
    else
        it->head = m_entries[size_t(pos)].next;
    m_entries[size_t(pos)].alive = false;
    m_entries[size_t(pos)].name.clear();
    --m_alive;
    // Dead entries are dropped once they outnumber the live ones, which
    // keeps removal constant on average.
    const qsizetype dead = qsizetype(m_entries.size()) - m_alive;
    if (dead > 64 && dead > m_alive)
        compact();
    return true;
}

qsizetype PseudoList::removeAll(const QString &name)
{
    qsizetype removed = 0;
    while (removeOne(name))
        ++removed;
    return removed;
}

bool PseudoList::contains(const QString &name) const
{
    return m_chains.contains(keyOf(name));
}

qsizetype PseudoList::indexOf(const QString &name) const
{
    const QString key = keyOf(name);
    if (!m_chains.contains(key))
        return -1;
    compact();
    return m_chains.value(key).head;
}

QString PseudoList::at(qsizetype i) const
{
    compact();
    Q_ASSERT(i >= 0 && i < m_alive);
    return m_entries[size_t(i)].name;
}

void PseudoList::clear()
{
    m_entries.clear();
    m_chains.clear();
    m_alive = 0;
}

QStringList PseudoList::toStringList() const
{
    QStringList out;
    out.reserve(m_alive);
    for (const Entry &e : m_entries) {
        if (e.alive)
            out.append(e.name);
    }
    return out;
}

void PseudoList::compact() const
{
    if (qsizetype(m_entries.size()) == m_alive)
        return;
    std::vector<Entry> live;
    live.reserve(size_t(m_alive));
    for (Entry &e : m_entries) {
        if (e.alive)
            live.push_back(std::move(e));
    }
    m_entries = std::move(live);
    m_chains.clear();
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const qsizetype pos = qsizetype(i);
        m_entries[i].next = -1;
        const auto it = m_chains.find(m_entries[i].key);
        if (it == m_chains.end()) {
            m_chains.insert(m_entries[i].key, Chain { pos, pos });
        } else {
            m_entries[size_t(it->tail)].next = pos;
            it->tail = pos;
        }
    }
}
