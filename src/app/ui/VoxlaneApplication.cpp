#include "app/ui/VoxlaneApplication.h"

#include "base/ErrorReport.h"

#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QTranslator>

VoxlaneApplication::VoxlaneApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    // No display name: the X11 platform appends it to every window title
    // ("Nouveau contact — Voxlane"), and each caption must read as designed.
    setApplicationName(QStringLiteral("Voxlane"));
    setOrganizationName(QStringLiteral("Tovanik"));
    // The menu entry and the icon an installation puts in the hicolor theme.
    setDesktopFileName(QStringLiteral("voxlane"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("voxlane")));
}

namespace {

// Qt 6 moved the texts of its file type column ("Folder", "Drive", "File",
// "%1 File") from the file dialog's context to the icon provider's, and the
// French catalogue Debian ships still has them under the old one only, so the
// dialog's type column said "Folder". This translator answers the new
// context from Qt's own translation under the old.
class RenamedContexts : public QTranslator
{
public:
    RenamedContexts(QTranslator *qt, QObject *parent)
        : QTranslator(parent)
        , m_qt(qt)
    {
    }

    QString translate(
        const char *context, const char *sourceText, const char *disambiguation, int n) const override
    {
        if (!m_qt || qstrcmp(context, "QAbstractFileIconProvider") != 0)
            return QString();
        return m_qt->translate("QFileDialog", sourceText, disambiguation, n);
    }

    bool isEmpty() const override { return false; }

private:
    QPointer<QTranslator> m_qt;
};

} // namespace

bool VoxlaneApplication::installFrenchTranslations()
{
    // The program speaks French whatever the desktop's language, so the
    // texts that Qt itself draws (dialog buttons, the file dialog, the
    // folder tree's header, the media player's messages) are French too.
    // "qt" gathers every module's catalogue (qtbase, qtmultimedia); an
    // installation without it may still have qtbase's alone.
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const QLocale french(QLocale::French, QLocale::France);
    auto *translator = new QTranslator(qApp);
    if (!translator->load(french, QStringLiteral("qt"), QStringLiteral("_"), folder)
        && !translator->load(french, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
        delete translator;
        return false;
    }
    if (!QCoreApplication::installTranslator(translator))
        return false;
    // Installed after, so asked first.
    QCoreApplication::installTranslator(new RenamedContexts(translator, qApp));
    return true;
}

bool VoxlaneApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ErrorReport::reportCurrentException();
        return false;
    }
}

void VoxlaneApplication::installErrorBox()
{
    ErrorReport::setHandler([](const QString &message) {
        // One box per failure, as the platform's default report shows it.
        QMessageBox::critical(nullptr, QApplication::applicationDisplayName(), message);
    });
}
