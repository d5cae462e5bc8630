#pragma once

#include <QString>

#include <optional>

// The file-class root of the desktop's association database, seen the way
// the registry shows it: keys named by paths separated by '\' (".mp3",
// "mp3.file\DefaultIcon"), compared without regard to letter case, each key
// holding named string values; the unnamed value "" is the key's default.
//
// Two stores stand behind this interface: the desktop's own read-only view
// (DesktopFileClassStore) and the per-user store that overlays it
// (UserFileClassStore). Callers reach either through TFileClassRegistry.
class FileClassStore
{
public:
    struct Value
    {
        QString data;
        // Written as an expandable string: the reader is expected to
        // expand %VARIABLES% itself. The lookup never does.
        bool expandable = false;
    };

    virtual ~FileClassStore() = default;

    // The root itself ("") is no key: nothing can be stored there.
    virtual bool keyExists(const QString &key) const = 0;
    virtual std::optional<Value> value(const QString &key, const QString &name) const = 0;

    // Writing. The desktop's view refuses every change.
    virtual bool createKey(const QString &key);
    // Creates the key (and its parents) when missing.
    virtual bool setValue(const QString &key, const QString &name, const Value &value);
    // Deletes the key with everything below it; false when it did not exist.
    virtual bool deleteKey(const QString &key);

    // "\mp3.file\DefaultIcon\" and "mp3.file\\DefaultIcon" both give
    // "mp3.file\DefaultIcon": no empty segments, no leading or trailing '\'.
    static QString normalizedKey(const QString &path);
    // The form keys are compared in.
    static QString foldedKey(const QString &path);
};
