#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

// The ID3 version 1 block: the last 128 bytes of an audio file. Fields keep
// the bytes as stored (padding zeros and blanks included); shown() gives the
// text a label displays.
struct TID3Tag
{
    QByteArray Header; // bytes 0-2, "TAG" when the block is a tag
    QByteArray Title; // 3-32
    QByteArray Artist; // 33-62
    QByteArray Album; // 63-92
    QByteArray Year; // 93-96
    QByteArray Comment; // 97-126
    quint8 Genre = 0; // 127

    static constexpr int kSize = 128;

    // Splits a block of exactly kSize bytes into the fields.
    static TID3Tag fromBlock(const QByteArray &block);

    bool isTag() const { return Header == "TAG"; }

    // A field as a label shows it: it ends at the first zero byte; padding
    // blanks stay. Single-byte Windows-1252 text.
    static QString shown(const QByteArray &field);
};

// Fills tag from the last 128 bytes of the file at path. A file that cannot
// be opened for reading or is shorter than 128 bytes is an input/output
// error: a VoxlaneError is thrown and tag keeps its former values.
void ReadID3Tag(const QString &path, TID3Tag &tag);
// The same from a device open for reading (random access); name is what the
// error message calls it.
void ReadID3Tag(QIODevice &device, const QString &name, TID3Tag &tag);
