#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The saved properties of one transfer panel, as the transfer list keeps
// them between sessions.
struct TransferRecord
{
    QString IDTel;
    QString FichierName;
    QString FichierProprio;
    QString FichierPath;
    QString FichierPoids;
    QString FichierTel;
    qint32 Port = 0;
    QString Status;

    bool operator==(const TransferRecord &) const = default;
};

// The transfer list file's document, and nothing else: bytes in, bytes out.
//
//   <?xml version="1.0" encoding="ISO-8859-1"?>
//   <Voxlane><Info><NbUpLoad>u</NbUpLoad><NbDownLoad>d</NbDownLoad></Info>
//   <Download><Fichier>...</Fichier>...</Download>     (only when d > 0)
//   <Upload><Fichier>...</Fichier>...</Upload></Voxlane> (only when u > 0)
//
// Each "Fichier" holds IDTel, FichierName, FichierProprio, FichierPath,
// FichierPoids, FichierTel, Port, Status in that order. Texts are real
// ISO-8859-1 bytes; a character outside Latin-1 is written as a numeric
// character reference, so "€" survives even though the declared encoding
// cannot carry it. Older clients read these files, so the shape is fixed.
class TransferListDocument
{
public:
    static QByteArray write(const QList<TransferRecord> &downloads, const QList<TransferRecord> &uploads);

    // One "Fichier" element as texts: nothing is converted yet, so the
    // loader decides what a malformed port means, entry by entry.
    struct Entry
    {
        QString IDTel, FichierName, FichierProprio, FichierPath, FichierPoids, FichierTel, Port, Status;

        // The panel's record: a port that is not a number reads as 0.
        TransferRecord record() const;
    };

    struct Contents
    {
        bool hasInfo = false;
        QString NbUpLoad, NbDownLoad; // texts of the counts; empty when missing
        bool hasDownload = false, hasUpload = false;
        QList<Entry> downloads, uploads;
    };

    // Reads a document whatever its declared encoding; character references
    // and CDATA sections are taken as text. A section's entries are its
    // first "Fichier" child and every element after it, whatever its name;
    // a child an entry lacks reads as the empty text. The root's name is
    // not checked. Entity references are not expanded (our files never
    // declare any), so a hostile document cannot reach other files, and
    // entities that would grow without bound are refused by the parser.
    // Returns nothing when the bytes are not well-formed XML; error then
    // says why.
    static std::optional<Contents> read(const QByteArray &bytes, QString *error = nullptr);
};
