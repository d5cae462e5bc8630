#pragma once

#include "components/DesktopRoots.h"
#include "components/FileClassStore.h"
#include "components/IconTheme.h"

#include <QHash>
#include <QMimeType>

// The desktop's own associations (the freedesktop shared MIME database, the
// icon theme and the default applications), shown read-only in the
// registry's layout:
//
//   ".mp3"                          default: the MIME type, "audio/mpeg"
//   "audio/mpeg"                    default: its description (MIME comment)
//   "audio/mpeg\DefaultIcon"        default: the icon file for the type's icon
//                                   (or its generic icon), then ",0"
//   "audio/mpeg\shell\open"         default: the default application's name
//   "audio/mpeg\shell\open\command" default: that application's command
//
// Keys with nothing behind them (an unknown extension, a type without icon
// or default application) do not exist. A machine without MIME database or
// icon theme simply has fewer keys: nothing here fails loudly.
class DesktopFileClassStore : public FileClassStore
{
public:
    // The size, in pixels, of the icon file the DefaultIcon value names:
    // the desktop's large icon, which the callers show.
    static constexpr int kIconSize = 32;

    explicit DesktopFileClassStore(DesktopRoots roots = DesktopRoots::fromEnvironment());

    bool keyExists(const QString &key) const override;
    std::optional<Value> value(const QString &key, const QString &name) const override;

    // The icon file of a MIME type at a size: its own icon, else its generic
    // one; empty when the theme has neither.
    QString iconFileFor(const QMimeType &type, int size) const;

private:
    struct Application
    {
        QString name;
        QString command;
    };

    QMimeType mimeTypeForExtension(const QString &extension) const;
    QMimeType mimeTypeNamed(const QString &name) const;
    Application defaultApplication(const QMimeType &type) const;
    Application readDesktopEntry(const QString &desktopId) const;
    // What a key shows; nullopt when the key does not exist.
    std::optional<QString> defaultValueOf(const QString &key) const;

    DesktopRoots m_roots;
    IconTheme m_icons;
    mutable QHash<QString, Application> m_applications;
};
