#pragma once

#include "components/RbColors.h"
#include "components/RbDrawCore.h"

#include <QFont>
#include <QList>
#include <QObject>

class TRbStyleManager;

// What a styled control shows the style manager: it is told when its
// manager goes away.
class TRbStyleClient
{
public:
    virtual ~TRbStyleClient() = default;
    virtual void StyleManagerGone(TRbStyleManager *manager) = 0;
};

// Shared settings for styled controls. It only keeps its settings and the
// list of attached controls; nothing pushes the settings onto them.
class TRbStyleManager : public QObject
{
    Q_OBJECT

public:
    explicit TRbStyleManager(QObject *parent = nullptr);
    ~TRbStyleManager() override;

    TRbControlColors &Colors() { return m_colors; }
    const TRbControlColors &Colors() const { return m_colors; }
    TRbSplitterColors &SplitterColors() { return m_splitterColors; }
    const TRbSplitterColors &SplitterColors() const { return m_splitterColors; }

    bool ShowFocusRect = true;
    bool HotTrack = false;
    bool GradientBorder = true;
    bool TextShadow = true;
    quint32 CheckColor = 32768;
    TFadeSpeed FadeSpeed = fsMedium;
    quint32 PanelColor = 14933983;
    quint32 BorderColor = 0x808080;
    QFont Font;

    void Assign(const TRbStyleManager &other);

    // The attached controls, each once.
    const QList<TRbStyleClient *> &Clients() const { return m_clients; }
    void AddClient(TRbStyleClient *client);
    void RemoveClient(TRbStyleClient *client);
    bool Destroying() const { return m_destroying; }

private:
    TRbControlColors m_colors;
    TRbSplitterColors m_splitterColors;
    QList<TRbStyleClient *> m_clients;
    bool m_destroying = false;
};
