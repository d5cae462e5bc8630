#include "app/ui/TfrmAbout.h"

#include "components/ui/TRbButton.h"

#include <QLabel>
#include <QVBoxLayout>

TfrmAbout::TfrmAbout(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("A propos de Voxlane"));
    auto *layout = new QVBoxLayout(this);
    auto *title = new QLabel(QStringLiteral("<b>Voxlane</b> %1").arg(versionText()), this);
    title->setObjectName(QStringLiteral("lblVersion"));
    layout->addWidget(title);
    layout->addWidget(new QLabel(QStringLiteral("Décembre 2026"), this));
    layout->addWidget(new QLabel(QStringLiteral("Envoi de fichiers entre membres de la communauté.\n"
                                                "Conception et développement : l'équipe Tovanik."),
                                 this));
    auto *ok = new TRbButton(this);
    ok->setObjectName(QStringLiteral("btnOK"));
    ok->setCaption(QStringLiteral("OK"));
    ok->UseFormColors();
    ok->setFixedSize(75, 25);
    ok->setDefault(true);
    ok->setModalResult(QDialog::Accepted);
    layout->addWidget(ok, 0, Qt::AlignRight);
}
