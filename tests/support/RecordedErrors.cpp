#include "support/RecordedErrors.h"

#include "base/ErrorReport.h"

void RecordedErrors::install()
{
    ErrorReport::setHandler([](const QString &message) { messages().append(message); });
}

QStringList &RecordedErrors::messages()
{
    static QStringList list;
    return list;
}

QStringList RecordedErrors::take()
{
    QStringList out = messages();
    messages().clear();
    return out;
}
