#include "negotiation/DataPortTable.h"

DataPortTable::DataPortTable()
{
    m_rows.append({QStringLiteral("2010"), QString()});
}
