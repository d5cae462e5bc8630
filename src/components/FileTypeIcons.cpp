#include "components/FileTypeIcons.h"

#include "components/DesktopFileClassStore.h"
#include "components/FileTypeLook.h"
#include "components/TvzkFileAsso.h"
#include "components/UserFileClassStore.h"

FileTypeIcons::FileTypeIcons(const QString &userFile, DialogService &dialogs)
    : m_desktop(std::make_shared<DesktopFileClassStore>())
    , m_asso(std::make_unique<TvzkFileAsso>(std::make_shared<UserFileClassStore>(userFile, m_desktop), &dialogs))
{
    m_asso->setObjectName(QStringLiteral("vzkFileAsso1"));
    m_asso->SetReadOnly(true);
}

FileTypeIcons::~FileTypeIcons() = default;

QImage FileTypeIcons::forExtension(const QString &extension) const
{
    return FileTypeLook::IconFor(*m_asso, extension, QImage(), FileTypeLook::Large);
}

QImage FileTypeIcons::forFile(const QString &path, const QImage &stock) const
{
    return FileTypeLook::AssociatedIcon(*m_desktop, path, stock, FileTypeLook::Large);
}
