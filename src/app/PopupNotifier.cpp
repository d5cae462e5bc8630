#include "app/PopupNotifier.h"

PopupNotifier::PopupNotifier(QObject *parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("PopupNotifier"));
}

void PopupNotifier::Alert()
{
    if (SoundEnabled)
        emit alertWanted();
}

void PopupNotifier::popupShown()
{
    ++MsgBoxCount;
}

void PopupNotifier::popupReleased()
{
    // Never below zero, whatever order pop-ups and counts came in.
    if (MsgBoxCount > 0)
        --MsgBoxCount;
}

void PopupNotifier::showDownloads()
{
    emit downloadsWanted();
}

void PopupNotifier::showUploads()
{
    emit uploadsWanted();
}

void PopupNotifier::showReception()
{
    emit receptionWanted();
}

void PopupNotifier::sendFileTo(const QString &pseudo)
{
    emit sendFileWanted(pseudo);
}

void PopupNotifier::contactOnline(const QString &pseudo)
{
    emit contactCameOnline(pseudo);
}
