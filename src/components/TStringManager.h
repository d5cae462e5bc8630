#pragma once

#include <QChar>
#include <QString>

#include <array>

// Text operations of the file-type lookup. Positions are 1-based as the
// registry code that uses them counts them; 0 means "not found".
//
// Letter case follows Windows-1252 rather than Unicode: the lower-case table
// has one entry per byte of the code page (0x8A 'Š' -> 0x9A 'š', 0x9F 'Ÿ' ->
// 0xFF 'ÿ', 0xC0..0xDE -> +0x20 except 0xD7 '×'), so a text compares the way
// it will once stored in a Windows-1252 store. Characters the code page
// cannot carry pass through unchanged.
class TStringManager
{
public:
    // The instance the program shares; it holds nothing but the table.
    static const TStringManager &instance();

    TStringManager();

    // The lower-case byte of each Windows-1252 byte.
    const std::array<unsigned char, 256> &lowerTable() const { return m_lower; }

    // True when every character is at or below the space (code 32); true for "".
    bool IsBlank(const QString &text) const;
    // The first character, or the character 0 for the empty text.
    QChar FirstChar(const QString &text) const;
    QString LowerText(const QString &text) const;

    // First occurrence of sub at or after start (below 1 counts as 1).
    // An empty sub is never found.
    int PosFrom(const QString &sub, const QString &text, int start) const;
    int CharPosFrom(QChar c, const QString &text, int start) const;
    // The n-th occurrence of sub; occurrences are counted at every position,
    // so "aa" occurs twice in "aaa". 0 when there are fewer than n (or n < 1).
    int NthPos(const QString &sub, const QString &text, int n) const;
    // The text after the first occurrence of sub; empty when sub is absent.
    QString TextAfter(const QString &sub, const QString &text) const;
    // The text before the first occurrence of sub; all of it when sub is absent.
    QString TextBefore(const QString &sub, const QString &text) const;

private:
    std::array<unsigned char, 256> m_lower {};
};
