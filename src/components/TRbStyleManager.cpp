#include "components/TRbStyleManager.h"

TRbStyleManager::TRbStyleManager(QObject *parent)
    : QObject(parent)
{
}

TRbStyleManager::~TRbStyleManager()
{
    m_destroying = true;
    const QList<TRbStyleClient *> clients = m_clients;
    m_clients.clear();
    for (TRbStyleClient *client : clients)
        client->StyleManagerGone(this);
}

void TRbStyleManager::Assign(const TRbStyleManager &other)
{
    m_colors.Assign(other.m_colors);
    m_splitterColors.Assign(other.m_splitterColors);
    Font = other.Font;
    ShowFocusRect = other.ShowFocusRect;
    HotTrack = other.HotTrack;
    GradientBorder = other.GradientBorder;
    TextShadow = other.TextShadow;
    CheckColor = other.CheckColor;
    FadeSpeed = other.FadeSpeed;
    PanelColor = other.PanelColor;
    BorderColor = other.BorderColor;
}

void TRbStyleManager::AddClient(TRbStyleClient *client)
{
    if (client && !m_clients.contains(client))
        m_clients.append(client);
}

void TRbStyleManager::RemoveClient(TRbStyleClient *client)
{
    m_clients.removeAll(client);
}
