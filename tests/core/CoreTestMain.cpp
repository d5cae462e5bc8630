// Entry of the test program of the core library: the tests whose subject
// has no window, run with a GUI application object (pictures, fonts) but
// without the widget library, so that a sanitizer build of them stays small.
#include "support/RecordedErrors.h"
#include "support/TestEnvironment.h"

#include "base/ErrorReport.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

namespace {

// As the program's own application object: an exception that leaves a slot
// goes to the general error report instead of ending the process.
class CoreTestApplication : public QGuiApplication
{
public:
    using QGuiApplication::QGuiApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return QGuiApplication::notify(receiver, event);
        } catch (...) {
            ErrorReport::reportCurrentException();
            return false;
        }
    }
};

} // namespace

int main(int argc, char **argv)
{
    TestEnvironment environment(argc, argv);
    CoreTestApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Voxlane"));
    app.setOrganizationName(QStringLiteral("Tovanik"));
    RecordedErrors::install();
    return RUN_ALL_TESTS();
}
