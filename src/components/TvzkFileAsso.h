#pragma once

#include <QImage>
#include <QObject>
#include <QString>

#include <memory>

class DialogService;
class FileClassStore;

// Looks a file extension up in the file-class store: the file type it maps
// to, the type's description, its shell verbs and its default icon; it can
// also create, change and delete associations.
//
// The client holds one read-only instance and only ever sets Extension and
// reads Icon. Reading Icon (or IconIndex) refreshes the cached Exists flag
// that every property writer consults, so a write made right after a new
// Extension still sees the previous lookup: read IconIndex (or set Exists)
// first. Refused writes are reported by an error message; nothing is thrown
// except the conversion error of a DefaultIcon index that is not a number.
class TvzkFileAsso : public QObject
{
    Q_OBJECT
    // In the order form files store them.
    Q_PROPERTY(QString About READ About WRITE SetAbout)
    Q_PROPERTY(QString EditCommand READ EditCommand WRITE SetEditCommand)
    Q_PROPERTY(QString EditCommandDesc READ EditCommandDesc WRITE SetEditCommandDesc)
    Q_PROPERTY(bool Exists READ Exists WRITE SetExists)
    Q_PROPERTY(QString Extension READ Extension WRITE SetExtension)
    Q_PROPERTY(QString ExtensionDesc READ ExtensionDesc WRITE SetExtensionDesc)
    Q_PROPERTY(QString FileDesc READ FileDesc WRITE SetFileDesc)
    Q_PROPERTY(QImage Icon READ GetIcon WRITE SetIcon)
    Q_PROPERTY(QString IconFile READ IconFile WRITE SetIconFile)
    Q_PROPERTY(int IconIndex READ IconIndex WRITE SetIconIndex)
    Q_PROPERTY(QString OpenCommand READ OpenCommand WRITE SetOpenCommand)
    Q_PROPERTY(QString OpenCommandDesc READ OpenCommandDesc WRITE SetOpenCommandDesc)
    Q_PROPERTY(QString OpenNewCommand READ OpenNewCommand WRITE SetOpenNewCommand)
    Q_PROPERTY(QString OpenNewCommandDesc READ OpenNewCommandDesc WRITE SetOpenNewCommandDesc)
    Q_PROPERTY(QString PrintCommand READ PrintCommand WRITE SetPrintCommand)
    Q_PROPERTY(QString PrintCommandDesc READ PrintCommandDesc WRITE SetPrintCommandDesc)
    Q_PROPERTY(QString PrintToCommand READ PrintToCommand WRITE SetPrintToCommand)
    Q_PROPERTY(QString PrintToCommandDesc READ PrintToCommandDesc WRITE SetPrintToCommandDesc)
    Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE SetReadOnly)

public:
    static const QString kAboutText;
    static const QString kIconWriteText;
    static const QString kNotExistsText;
    static const QString kReadOnlyText;
    static const QString kEmptyFieldsText;
    static const QString kKeyExistsText;
    static const QString kDeleteQuestion;
    static const QString kDeleteTypeToo;
    static const QString kMessageCaption;

    // dialogs may be null: refusals are then silent.
    TvzkFileAsso(std::shared_ptr<FileClassStore> store, DialogService *dialogs, QObject *parent = nullptr);

    QString About() const { return kAboutText; }
    void SetAbout(const QString &value) { m_about = value; }

    bool Exists() const;
    void SetExists(bool value) { m_exists = value; }
    QString Extension() const { return m_extension; }
    void SetExtension(const QString &value);
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool value) { m_readOnly = value; }

    QString ExtensionDesc() const;
    void SetExtensionDesc(const QString &value);
    QString FileDesc() const;
    void SetFileDesc(const QString &value);

    // Null when the type has no icon file, or the file holds no icon.
    QImage GetIcon();
    void SetIcon(const QImage &value);
    QString IconFile() const;
    void SetIconFile(const QString &value);
    // Throws VoxlaneError when the text after the "," is not an integer.
    int IconIndex();
    void SetIconIndex(int value);

    QString EditCommand() const { return verbValue(Edit, true); }
    void SetEditCommand(const QString &v) { writeVerb(Edit, true, v); }
    QString EditCommandDesc() const { return verbValue(Edit, false); }
    void SetEditCommandDesc(const QString &v) { writeVerb(Edit, false, v); }
    QString OpenCommand() const { return verbValue(Open, true); }
    void SetOpenCommand(const QString &v) { writeVerb(Open, true, v); }
    QString OpenCommandDesc() const { return verbValue(Open, false); }
    void SetOpenCommandDesc(const QString &v) { writeVerb(Open, false, v); }
    QString OpenNewCommand() const { return verbValue(OpenNew, true); }
    void SetOpenNewCommand(const QString &v) { writeVerb(OpenNew, true, v); }
    QString OpenNewCommandDesc() const { return verbValue(OpenNew, false); }
    void SetOpenNewCommandDesc(const QString &v) { writeVerb(OpenNew, false, v); }
    QString PrintCommand() const { return verbValue(Print, true); }
    void SetPrintCommand(const QString &v) { writeVerb(Print, true, v); }
    QString PrintCommandDesc() const { return verbValue(Print, false); }
    void SetPrintCommandDesc(const QString &v) { writeVerb(Print, false, v); }
    QString PrintToCommand() const { return verbValue(PrintTo, true); }
    void SetPrintToCommand(const QString &v) { writeVerb(PrintTo, true, v); }
    QString PrintToCommandDesc() const { return verbValue(PrintTo, false); }
    void SetPrintToCommandDesc(const QString &v) { writeVerb(PrintTo, false, v); }

    // Writes a whole association; commands left blank skip their verb.
    Q_INVOKABLE bool CreateExtension(const QString &extension, const QString &fileDesc,
        const QString &editCommand, const QString &editCommandDesc, const QString &openCommand,
        const QString &openCommandDesc, const QString &openNewCommand, const QString &openNewCommandDesc,
        const QString &printCommand, const QString &printCommandDesc, const QString &printToCommand,
        const QString &printToCommandDesc, const QString &iconFile, int iconIndex, bool overwrite);
    Q_INVOKABLE bool DeleteExtension(const QString &extension, bool deleteFileType, bool confirm);

private:
    enum Verb { Edit, Open, OpenNew, Print, PrintTo };

    static QString verbKey(Verb verb, bool command);
    static QString normalizedForCreate(const QString &extension);
    QString readDefault(const QString &key) const;
    bool writeDefault(const QString &key, const QString &value, bool expandable);
    QString defaultIconKey() const;
    QString verbValue(Verb verb, bool command) const;
    void writeVerb(Verb verb, bool command, const QString &value);
    // Whether a property writer may write; reports the refusal when not.
    bool guardedWriteAllowed();
    void showError(const QString &text) const;

    std::shared_ptr<FileClassStore> m_store;
    DialogService *m_dialogs;
    QString m_extension;
    QString m_about;
    bool m_readOnly = true;
    bool m_exists = false;
    QImage m_icon;
};
