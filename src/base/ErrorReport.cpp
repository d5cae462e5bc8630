#include "base/ErrorReport.h"

#include <QDebug>

#include <exception>

namespace {

ErrorReport::Handler &handler()
{
    static ErrorReport::Handler h;
    return h;
}

} // namespace

VoxlaneError::VoxlaneError(const QString &message)
    : std::runtime_error(message.toUtf8().toStdString())
{
}

ErrorReport::Handler ErrorReport::setHandler(Handler h)
{
    Handler previous = std::move(handler());
    handler() = std::move(h);
    return previous;
}

void ErrorReport::report(const QString &message)
{
    if (handler())
        handler()(message);
    else
        qWarning().noquote() << "Voxlane error:" << message;
}

void ErrorReport::reportCurrentException()
{
    try {
        throw;
    } catch (const std::exception &e) {
        report(QString::fromUtf8(e.what()));
    } catch (...) {
        report(QStringLiteral("Erreur inconnue"));
    }
}

bool ErrorReport::guard(const std::function<void()> &fn)
{
    try {
        fn();
        return true;
    } catch (...) {
        reportCurrentException();
        return false;
    }
}
