#pragma once

#include <QStringList>

// Collects what reaches the general error report during a test.
class RecordedErrors
{
public:
    static void install();
    static QStringList &messages();
    static QStringList take();
};
