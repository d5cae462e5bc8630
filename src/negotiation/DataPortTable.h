#pragma once

#include <QList>
#include <QString>

// The data ports proposed, accepted or in use during this run. Rows are only
// appended; an owner, once written, stays.
class DataPortTable
{
public:
    struct Row {
        QString port;
        QString owner; // empty: free
    };

    // A fresh table holds one free row for port 2010.
    DataPortTable();

    const QList<Row> &rows() const { return m_rows; }
    qsizetype size() const { return m_rows.size(); }
    const Row &at(qsizetype i) const { return m_rows.at(i); }

private:
    QList<Row> m_rows;
};
