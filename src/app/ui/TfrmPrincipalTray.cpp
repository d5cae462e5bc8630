// The main window's tray icon and its menu.
#include "app/ui/TfrmPrincipal.h"
#include "components/ui/TPiconeBarreTache.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QStyle>

namespace {

// The icon the form carries when the desktop has none installed for us.
QIcon formIcon()
{
    const QIcon installed = qApp->windowIcon();
    if (!installed.isNull())
        return installed;
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(49, 106, 197));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(1, 1, 30, 30);
    QFont font = painter.font();
    font.setPixelSize(20);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("V"));
    painter.end();
    return QIcon(pixmap);
}

} // namespace

void TfrmPrincipal::buildTray()
{
    ImageListMenu.resize(10);
    ImageListMenu[8] = style()->standardIcon(QStyle::SP_MediaPlay);
    ImageListMenu[9] = style()->standardIcon(QStyle::SP_MediaPause);

    PopupSysTray = new QMenu(this);
    PopupSysTray->setObjectName(QStringLiteral("PopupSysTray"));
    OuvrirVoxlane1 = PopupSysTray->addAction(QStringLiteral("Ouvrir Voxlane"));
    OuvrirVoxlane1->setObjectName(QStringLiteral("OuvrirVoxlane1"));
    Lecture2 = PopupSysTray->addAction(QStringLiteral("Pas de lecture"));
    Lecture2->setObjectName(QStringLiteral("Lecture2"));
    Lecture2->setEnabled(false);
    Lecture2->setProperty("ImageIndex", -1);
    PopupSysTray->addSeparator();
    Quitter1 = PopupSysTray->addAction(QStringLiteral("Quitter"));
    Quitter1->setObjectName(QStringLiteral("Quitter1"));
    connect(PopupSysTray, &QMenu::aboutToShow, this, &TfrmPrincipal::PopupSysTrayPopup);
    connect(OuvrirVoxlane1, &QAction::triggered, this, &TfrmPrincipal::OuvrirVoxlane1Click);
    connect(Lecture2, &QAction::triggered, this, &TfrmPrincipal::Lecture2Click);
    connect(Quitter1, &QAction::triggered, this, &TfrmPrincipal::Quitter1Click);

    setWindowIcon(formIcon());
    PiconeBarreTache1 = new TPiconeBarreTache(this);
    PiconeBarreTache1->setObjectName(QStringLiteral("PiconeBarreTache1"));
    PiconeBarreTache1->setMenuPop(PopupSysTray);
    PiconeBarreTache1->setCacherSiMinimize(true);
    PiconeBarreTache1->setIcone(windowIcon());
    PiconeBarreTache1->setOuvreSiClicGauche(false);
    PiconeBarreTache1->setOuvreSiDblClick(true);
    PiconeBarreTache1->Loaded();

    // The pop-ups bring the window back through the tray icon.
    connect(this, &TfrmPrincipal::applicationRestoring, this, [this] { PiconeBarreTache1->ShowApplication(); });
}

void TfrmPrincipal::OuvrirVoxlane1Click()
{
    PiconeBarreTache1->ShowApplication();
}
