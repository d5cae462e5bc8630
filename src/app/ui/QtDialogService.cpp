#include "app/ui/QtDialogService.h"

#include "app/ui/FrenchFileColumns.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QStandardPaths>
#include <QProcess>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

void QtDialogService::showMessage(const QString &text, const QString &caption, Kind kind)
{
    switch (kind) {
    case Kind::Error:
        QMessageBox::critical(m_parent, caption, text, QMessageBox::Yes);
        break;
    case Kind::Information:
        QMessageBox::information(m_parent, caption, text, QMessageBox::Ok);
        break;
    case Kind::Warning:
        QMessageBox::warning(m_parent, caption, text, QMessageBox::Ok);
        break;
    }
}

bool QtDialogService::askYesNo(const QString &text, const QString &caption)
{
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, m_parent);
    // The question cannot be left without an answer that the user chose:
    // Escape and the close box say "No".
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

namespace {

// What QFileDialog's static functions do, on a dialog of ours so that Qt's
// own dialog shows its columns in French (the desktop's dialog, when the
// platform theme gives one, is used as the static functions would).
QString askFileName(QFileDialog &dialog)
{
    FrenchFileColumns::apply(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

} // namespace

QString QtDialogService::saveFileName(const QString &caption, const QString &directory,
                                      const QString &suggestedName)
{
    QFileDialog dialog(m_parent, caption, QDir(directory).filePath(suggestedName));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    return askFileName(dialog);
}

QString QtDialogService::qtFilter(const QString &filter)
{
    if (!filter.contains(u'|'))
        return filter;
    // Pairs of description and patterns, all separated by '|'.
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts.at(i);
        // Qt shows the description and takes the patterns from its last
        // parentheses: patterns written there make way for the real ones.
        const qsizetype open = description.lastIndexOf(u'(');
        if (open >= 0 && description.endsWith(u')') && description.indexOf(u'*', open) >= 0)
            description.truncate(open);
        else if (!description.isEmpty() && !description.endsWith(u' '))
            description += u' ';
        QStringList patterns = parts.at(i + 1).split(u';', Qt::SkipEmptyParts);
        for (QString &pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == QStringLiteral("*.*"))
                pattern = QStringLiteral("*");
        }
        filters << description + u'(' + patterns.join(u' ') + u')';
    }
    return filters.join(QStringLiteral(";;"));
}

QString QtDialogService::openFileName(const QString &caption, const QString &directory, const QString &filter)
{
    QFileDialog dialog(m_parent, caption, directory, qtFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return askFileName(dialog);
}

QStringList QtDialogService::openFileNames(const QString &caption, const QString &directory, const QString &filter)
{
    QFileDialog dialog(m_parent, caption, directory, qtFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    FrenchFileColumns::apply(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

bool QtDialogService::openUrl(const QString &address)
{
    const QUrl url = address.contains(u':') && !QDir::isAbsolutePath(address)
        ? QUrl(address, QUrl::TolerantMode)
        : QUrl::fromLocalFile(address);
    if (QStandardPaths::findExecutable(m_opener).isEmpty() && !QFileInfo(m_opener).isExecutable())
        return QDesktopServices::openUrl(url);
    // The opener may run as long as the program it starts; its exit status
    // says whether anything could open the address (3: no method, 4: the
    // action failed).
    auto *opener = new QProcess;
    opener->setProgram(m_opener);
    opener->setArguments({ url.isLocalFile() ? url.toLocalFile() : url.toString() });
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    const auto failed = m_openFailed;
    QObject::connect(opener, &QProcess::finished, opener,
        [opener, failed, address](int code, QProcess::ExitStatus status) {
            if ((code != 0 || status != QProcess::NormalExit) && failed)
                failed(address);
            opener->deleteLater();
        });
    QObject::connect(opener, &QProcess::errorOccurred, opener, [opener, failed, address](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart)
            return;
        if (failed)
            failed(address);
        opener->deleteLater();
    });
    opener->start();
    return true;
}
