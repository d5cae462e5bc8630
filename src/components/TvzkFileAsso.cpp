#include "components/TvzkFileAsso.h"

#include "base/DialogService.h"
#include "base/TextConvert.h"
#include "components/ExtractIcon.h"
#include "components/FileClassStore.h"
#include "components/TFileClassRegistry.h"
#include "components/TStringManager.h"

#include <QFileInfo>

namespace {

const TStringManager &strMan()
{
    return TStringManager::instance();
}

const QString kComma = QStringLiteral(",");
const QString kDefaultIcon = QStringLiteral("\\DefaultIcon\\");

} // namespace

const QString TvzkFileAsso::kAboutText = QStringLiteral("TvzkFileAsso 1.0 - Tovanik");
const QString TvzkFileAsso::kIconWriteText
    = QStringLiteral("Impossible de modifier l'ic\u00F4ne de cette mani\u00E8re.\n\r"
                     "Modifiez plut\u00F4t son chemin \"IconFile\" ainsi que son index \"IconIndex\".");
const QString TvzkFileAsso::kNotExistsText
    = QStringLiteral("Impossible de modifier la valeur, l'extension n'existe pas !");
const QString TvzkFileAsso::kReadOnlyText = QStringLiteral("Impossible de modifier la valeur en ReadOnly !");
const QString TvzkFileAsso::kEmptyFieldsText
    = QStringLiteral("\"Extension\", \"FileDesc\" ne peuvent \u00EAtre vides.");
const QString TvzkFileAsso::kKeyExistsText
    = QStringLiteral("Cl\u00E9 existante, cr\u00E9ation impossible si \"Overwrite\"=false.");
const QString TvzkFileAsso::kDeleteQuestion
    = QStringLiteral("Etes-vous s\u00FBr(e) de vouloir effacer la cl\u00E9");
const QString TvzkFileAsso::kDeleteTypeToo = QStringLiteral("et sa cl\u00E9 correspondante ");
const QString TvzkFileAsso::kMessageCaption = QStringLiteral("Voxlane");

TvzkFileAsso::TvzkFileAsso(std::shared_ptr<FileClassStore> store, DialogService *dialogs, QObject *parent)
    : QObject(parent)
    , m_store(std::move(store))
    , m_dialogs(dialogs)
{
}

void TvzkFileAsso::showError(const QString &text) const
{
    if (m_dialogs)
        m_dialogs->showMessage(text, kMessageCaption, DialogService::Kind::Error);
}

QString TvzkFileAsso::readDefault(const QString &key) const
{
    // A blank key would name the root itself, which holds nothing.
    if (strMan().IsBlank(key))
        return QString();
    TFileClassRegistry reg(*m_store);
    if (!reg.OpenKey(key, false))
        return QString();
    return reg.ReadString(QString());
}

bool TvzkFileAsso::writeDefault(const QString &key, const QString &value, bool expandable)
{
    if (strMan().IsBlank(FileClassStore::normalizedKey(key)))
        return false;
    TFileClassRegistry reg(*m_store);
    if (!reg.OpenKey(key, true))
        return false;
    return expandable ? reg.WriteExpandString(QString(), value) : reg.WriteString(QString(), value);
}

void TvzkFileAsso::SetExtension(const QString &value)
{
    const TStringManager &sm = strMan();
    if (sm.FirstChar(value) == u'.' || sm.IsBlank(value))
        m_extension = sm.LowerText(value);
    else
        m_extension = QStringLiteral(".") + sm.LowerText(value);
}

bool TvzkFileAsso::Exists() const
{
    if (strMan().IsBlank(m_extension))
        return false;
    TFileClassRegistry reg(*m_store);
    return reg.KeyExists(m_extension);
}

QString TvzkFileAsso::ExtensionDesc() const
{
    return readDefault(m_extension);
}

QString TvzkFileAsso::FileDesc() const
{
    const QString type = ExtensionDesc();
    return strMan().IsBlank(type) ? QString() : readDefault(type);
}

QString TvzkFileAsso::defaultIconKey() const
{
    const QString type = ExtensionDesc();
    return strMan().IsBlank(type) ? QString() : type + kDefaultIcon;
}

QString TvzkFileAsso::IconFile() const
{
    return strMan().TextBefore(kComma, readDefault(defaultIconKey()));
}

int TvzkFileAsso::IconIndex()
{
    const QString value = readDefault(defaultIconKey());
    m_exists = Exists();
    if (!m_exists || strMan().CharPosFrom(u',', value, 1) == 0)
        return 0;
    // Leading blanks are allowed ("file.ico, 2"), anything else that is not
    // a decimal integer is the association's fault and reported as such.
    QString index = strMan().TextAfter(kComma, value);
    while (!index.isEmpty() && index.at(0).unicode() <= 32)
        index.remove(0, 1);
    return TextConvert::strToInt(index);
}

QImage TvzkFileAsso::GetIcon()
{
    const QString file = IconFile();
    // Exactly the stored text: "%SystemRoot%\..." or a quoted path is no
    // file, and such a type has no icon here.
    const QFileInfo info(file);
    if (file.isEmpty() || !info.isFile()) {
        m_icon = QImage();
        return m_icon;
    }
    const int index = IconIndex();
    // Where the shell answers "no icon in this file", so do we: a null
    // picture, so that the caller falls back to its own.
    m_icon = ExtractIcon(file, index);
    return m_icon;
}

void TvzkFileAsso::SetIcon(const QImage &)
{
    showError(kIconWriteText);
}

bool TvzkFileAsso::guardedWriteAllowed()
{
    if (!m_readOnly && m_exists)
        return true;
    if (!strMan().IsBlank(m_extension))
        showError(m_exists ? kReadOnlyText : kNotExistsText);
    return false;
}

void TvzkFileAsso::SetExtensionDesc(const QString &value)
{
    if (guardedWriteAllowed())
        writeDefault(m_extension, value, false);
}

void TvzkFileAsso::SetFileDesc(const QString &value)
{
    if (!guardedWriteAllowed())
        return;
    const QString type = ExtensionDesc();
    if (!strMan().IsBlank(type))
        writeDefault(type, value, false);
}

void TvzkFileAsso::SetIconFile(const QString &value)
{
    if (!guardedWriteAllowed())
        return;
    const QString key = defaultIconKey();
    if (!key.isEmpty())
        writeDefault(key, value + QStringLiteral(",0"), false);
}

void TvzkFileAsso::SetIconIndex(int value)
{
    if (!guardedWriteAllowed())
        return;
    const QString key = defaultIconKey();
    if (!key.isEmpty())
        writeDefault(key, IconFile() + kComma + QString::number(value), false);
}

QString TvzkFileAsso::verbKey(Verb verb, bool command)
{
    static const char *const names[] = { "edit", "open", "opennew", "print", "printto" };
    QString key = QStringLiteral("\\shell\\") + QLatin1String(names[verb]) + u'\\';
    if (command)
        key += QStringLiteral("command\\");
    return key;
}

QString TvzkFileAsso::verbValue(Verb verb, bool command) const
{
    const QString type = ExtensionDesc();
    return strMan().IsBlank(type) ? QString() : readDefault(type + verbKey(verb, command));
}

void TvzkFileAsso::writeVerb(Verb verb, bool command, const QString &value)
{
    // Every verb is written alike, the print-to command included.
    if (!guardedWriteAllowed())
        return;
    const QString type = ExtensionDesc();
    if (!strMan().IsBlank(type))
        writeDefault(type + verbKey(verb, command), value, false);
}

QString TvzkFileAsso::normalizedForCreate(const QString &extension)
{
    // Unlike SetExtension, an extension given with its "." keeps its case.
    const TStringManager &sm = strMan();
    if (sm.FirstChar(extension) == u'.' || sm.IsBlank(extension))
        return extension;
    return QStringLiteral(".") + sm.LowerText(extension);
}

bool TvzkFileAsso::CreateExtension(const QString &extension, const QString &fileDesc,
    const QString &editCommand, const QString &editCommandDesc, const QString &openCommand,
    const QString &openCommandDesc, const QString &openNewCommand, const QString &openNewCommandDesc,
    const QString &printCommand, const QString &printCommandDesc, const QString &printToCommand,
    const QString &printToCommandDesc, const QString &iconFile, int iconIndex, bool overwrite)
{
    const TStringManager &sm = strMan();
    if (sm.IsBlank(extension) || sm.IsBlank(fileDesc)) {
        showError(kEmptyFieldsText);
        return false;
    }
    // A read-only lookup changes nothing, whole associations included.
    if (m_readOnly) {
        showError(kReadOnlyText);
        return false;
    }
    const QString ext = normalizedForCreate(extension);
    {
        TFileClassRegistry reg(*m_store);
        if (reg.KeyExists(ext) && !overwrite) {
            showError(kKeyExistsText);
            return false;
        }
    }
    // ".mp3" gives the type "mp3.file".
    const QString type = sm.TextAfter(QStringLiteral("."), ext) + QStringLiteral(".file");
    bool written = writeDefault(ext, type, false) && writeDefault(type, fileDesc, false);

    if (sm.IsBlank(iconFile)) {
        written = written
            && writeDefault(
                type + kDefaultIcon, QStringLiteral("%SystemRoot%\\system32\\SHELL32.dll,0"), true);
    } else {
        written = written
            && writeDefault(type + kDefaultIcon, iconFile + kComma + QString::number(iconIndex),
                sm.NthPos(QStringLiteral("%"), iconFile, 2) > 0);
    }

    const struct
    {
        Verb verb;
        const QString &command;
        const QString &description;
    } verbs[] = {
        { Edit, editCommand, editCommandDesc },
        { Open, openCommand, openCommandDesc },
        { OpenNew, openNewCommand, openNewCommandDesc },
        { Print, printCommand, printCommandDesc },
        { PrintTo, printToCommand, printToCommandDesc },
    };
    for (const auto &v : verbs) {
        if (sm.IsBlank(v.command))
            continue;
        written = written
            && writeDefault(type + verbKey(v.verb, false), v.description,
                sm.NthPos(QStringLiteral("%"), v.command, 2) > 0)
            && writeDefault(type + verbKey(v.verb, true), v.command, false);
    }
    // A store that refused a write (the desktop's view, a full disk) has
    // not got the association: say so rather than report success.
    return written;
}

bool TvzkFileAsso::DeleteExtension(const QString &extension, bool deleteFileType, bool confirm)
{
    const TStringManager &sm = strMan();
    const QString ext = normalizedForCreate(extension);
    // A blank extension would name the root: there is nothing to delete.
    if (sm.IsBlank(ext))
        return false;
    TFileClassRegistry reg(*m_store);
    if (!reg.KeyExists(ext))
        return false;
    if (m_readOnly) {
        showError(kReadOnlyText);
        return false;
    }
    QString question = kDeleteQuestion + u' ' + u'"' + ext + u'"' + u' ';
    if (deleteFileType)
        question += kDeleteTypeToo;
    question += u'?';
    if (confirm && m_dialogs && !m_dialogs->askYesNo(question, kMessageCaption))
        return false;

    if (deleteFileType) {
        const QString type = readDefault(ext);
        if (!sm.IsBlank(type) && reg.KeyExists(type))
            reg.DeleteKey(type);
    }
    const bool deleted = reg.DeleteKey(ext);
    return deleted && !reg.KeyExists(ext);
}
