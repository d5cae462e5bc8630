#pragma once

#include <QString>

#include <functional>
#include <stdexcept>
#include <type_traits>
#include <utility>

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

// A slot that runs fn and hands whatever it throws to the general error
// report. Qt leaves an exception that leaves a slot called by a signal
// undefined, so handlers that may throw are connected through this:
//   connect(button, &QPushButton::clicked, this, reportingSlot([this] { run(); }));
// It takes the signal's leading arguments that fn accepts, as Qt's functor
// slots do.
template <typename Fn>
class ReportingSlot
{
public:
    explicit ReportingSlot(Fn fn)
        : m_fn(std::move(fn))
    {
    }

    template <typename... Args>
        requires std::is_invocable_v<Fn &, Args...>
    void operator()(Args &&...args)
    {
        try {
            std::invoke(m_fn, std::forward<Args>(args)...);
        } catch (...) {
            ErrorReport::reportCurrentException();
        }
    }

private:
    Fn m_fn;
};

template <typename Fn>
ReportingSlot<Fn> reportingSlot(Fn fn)
{
    return ReportingSlot<Fn>(std::move(fn));
}
