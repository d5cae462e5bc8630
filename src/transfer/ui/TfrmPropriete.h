#pragma once

#include "transfer/TransferProperties.h"

#include <QDialog>
#include <QImage>
#include <QPixmap>

#include <functional>

class QLabel;
class QTimer;
class QLineEdit;
class TRbButton;
class TRbPanel;

// Properties of one transfer panel, one instance for the whole program.
// Its content is a snapshot taken when "Propriétés" is chosen; it is not
// refreshed while the window stays open.
class TfrmPropriete : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmPropriete(QWidget *parent = nullptr);

    // Replaces the content: the rows, the file-type icon (32 x 32) and the
    // other member's avatar (shown within 64 x 64, proportions kept).
    void fill(const TransferProperties &properties, const QPixmap &icon, const QImage &avatar);
    // fill, then show without making the window modal, centred on the main
    // window (the parent); an open window just takes the new content.
    void showProperties(const TransferProperties &properties, const QPixmap &icon, const QImage &avatar);
    // Where lblVitesse is read again every second while the window shows
    // (the rest of the content stays a snapshot); empty: it is not.
    void setSpeedSource(std::function<QString()> source);

    QLabel *imgICO = nullptr;
    QLineEdit *txtFileName = nullptr;
    QLabel *lblSourceCaption = nullptr;
    QLabel *lblSource = nullptr;
    QLabel *lblTaille = nullptr;
    QLabel *lblTailleTel = nullptr;
    QLabel *lblVitesse = nullptr;
    QLabel *lblDebutTel = nullptr;
    QLineEdit *lblEmplacement = nullptr;
    QLabel *lblPort = nullptr;
    QLabel *lblIPCaption = nullptr;
    QLabel *lblIP = nullptr;
    QLabel *lblIDTelCaption = nullptr;
    QLabel *lblIDTel = nullptr;
    TRbPanel *pnAvatar = nullptr;
    QLabel *imgAvatar = nullptr;
    TRbButton *btnPause_Re = nullptr;
    TRbButton *btnCancelTel = nullptr;
    TRbButton *btnOK = nullptr;

private:
    void btnOKClick();
    void refreshSpeed();

    std::function<QString()> m_speedSource;
    QTimer *m_speedTimer = nullptr;
};
