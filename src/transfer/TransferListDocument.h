#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The saved properties of one transfer, as the transfer list keeps them
// between sessions, as the list file is read, and as a transfer is made.
struct TransferRecord
{
    QString IDTel;
    QString FichierName;
    QString FichierProprio;
    QString FichierPath;
    QString FichierPoids; // bytes, decimal, as the peer said it
    // Bytes already transferred: what a download's partial file holds, what
    // an upload has sent. Text only in the file.
    qint64 FichierTel = 0;
    qint32 Port = 0;
    QString Status; // "0": completed

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

    // One "Fichier" element. A port or a count that is not a number reads
    // as 0, and its text is kept in badPort or badCount (an empty port
    // included), so the loader decides what that means, entry by entry. An
    // empty count is 0 (a download saved without a partial file).
    struct Entry
    {
        TransferRecord record;
        std::optional<QString> badPort;
        std::optional<QString> badCount;
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
