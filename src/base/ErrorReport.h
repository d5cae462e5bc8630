#pragma once

#include <QString>

#include <functional>
#include <stdexcept>

// A failure that no operation expects: a malformed number, an unwritable
// file, a picture that does not decode. It is thrown and travels up to the
// event dispatch, where VoxlaneApplication::notify hands it to ErrorReport;
// the user sees one error box and the program goes on.
class VoxlaneError : public std::runtime_error
{
public:
    explicit VoxlaneError(const QString &message);
    QString message() const { return QString::fromUtf8(what()); }
};

// The application's general error report. The application installs the
// handler that shows the error box; tests install one that records.
class ErrorReport
{
public:
    using Handler = std::function<void(const QString &message)>;

    // Returns the handler that was installed before.
    static Handler setHandler(Handler handler);
    static void report(const QString &message);

    // Reports the exception being handled; call from inside a catch block.
    static void reportCurrentException();

    // Runs fn and reports what it throws, so a caller outside event
    // dispatch (a thread hand-off, a test) gets the same treatment.
    static bool guard(const std::function<void()> &fn);
};
