#pragma once

#include "transfer/TransferListDocument.h"

#include <QString>

class TransferJob;

// The texts of the properties window for one transfer, taken when
// "Propriétés" is chosen.
struct TransferProperties
{
    QString fileName;      // txtFileName
    QString sourceCaption; // "Source :" (download) or "Vers :" (upload)
    QString source;        // lblSource
    QString taille;        // lblTaille: "1,0 Mo (1048576 octets)"
    QString tailleTel;     // lblTailleTel: "34 Ko (35210 octets)"
    QString vitesse;       // lblVitesse: speed and time left while it runs, else "—"
    QString debutTel;      // lblDebutTel: DateFromIDTel
    QString emplacement;   // lblEmplacement: the folder, trailing separator kept
    QString port;          // lblPort
    QString ip;            // lblIP (hidden)
    QString idTel;         // lblIDTel (hidden)
    // lblChiffrement: "chiffré — code de comparaison 123456", "non chiffré
    // (...)", or "—" before any connection got that far.
    QString chiffrement;
    // The other member presented another key than the one remembered: the
    // window offers to accept it.
    bool keyChanged = false;

    // Throws VoxlaneError when FichierPoids is not a decimal integer: the
    // window cannot show such a transfer and is not opened.
    static TransferProperties of(const TransferRecord &record, bool download, const QString &ip);
    // lblVitesse for a transfer: its speed and time left while it runs
    // (TransferRate::caption), "—" otherwise or without a job.
    static QString speedOf(const TransferJob *job);
    // chiffrement and keyChanged, from the transfer's last connection.
    static void addSecurity(TransferProperties &properties, const TransferJob *job);
};
