#pragma once

#include <QtGlobal>

#include <functional>

// The colour sets of the styled controls. Each belongs to a control (or to
// the style manager) and tells its owner when a colour changes: the gradient
// colours ask for new cached images, the hot-track and text-shadow colours
// only for a repaint. Colours are 0x00BBGGRR, or a system colour.
class TRbCustomColors
{
public:
    TRbCustomColors() = default;
    virtual ~TRbCustomColors() = default;
    TRbCustomColors(const TRbCustomColors &) = delete;
    TRbCustomColors &operator=(const TRbCustomColors &) = delete;

    // Owner callbacks; an unowned set (the style manager's) has none.
    std::function<void()> onImagesChanged;
    std::function<void()> onRepaint;

    quint32 DefaultFrom() const { return m_defaultFrom; }
    void setDefaultFrom(quint32 v) { setImageColor(m_defaultFrom, v); }
    quint32 DefaultTo() const { return m_defaultTo; }
    void setDefaultTo(quint32 v) { setImageColor(m_defaultTo, v); }
    quint32 OverFrom() const { return m_overFrom; }
    void setOverFrom(quint32 v) { setImageColor(m_overFrom, v); }
    quint32 OverTo() const { return m_overTo; }
    void setOverTo(quint32 v) { setImageColor(m_overTo, v); }

    // Copies every colour (a control set copies its extra colours too) and
    // notifies the owner once.
    virtual void Assign(const TRbCustomColors &other);

protected:
    void setImageColor(quint32 &field, quint32 value);
    void setPaintColor(quint32 &field, quint32 value);
    void imagesChanged();

    quint32 m_defaultFrom = 0xFFFFFF;
    quint32 m_defaultTo = 13745839;
    quint32 m_overFrom = 0xFFFFFF;
    quint32 m_overTo = 12489846;
};

class TRbControlColors : public TRbCustomColors
{
public:
    quint32 ClickedFrom() const { return m_clickedFrom; }
    void setClickedFrom(quint32 v) { setImageColor(m_clickedFrom, v); }
    quint32 ClickedTo() const { return m_clickedTo; }
    void setClickedTo(quint32 v) { setImageColor(m_clickedTo, v); }
    quint32 HotTrack() const { return m_hotTrack; }
    void setHotTrack(quint32 v) { setPaintColor(m_hotTrack, v); }
    quint32 BorderColor() const { return m_borderColor; }
    void setBorderColor(quint32 v) { setImageColor(m_borderColor, v); }
    quint32 TextShadow() const { return m_textShadow; }
    void setTextShadow(quint32 v) { setPaintColor(m_textShadow, v); }

    void Assign(const TRbCustomColors &other) override;

private:
    quint32 m_clickedFrom = 13029334;
    quint32 m_clickedTo = 15463415;
    quint32 m_hotTrack = 0xFF0000;
    quint32 m_borderColor = 8421504;
    quint32 m_textShadow = 0xFFFFFF;
};

// Colours of a splitter (not a control of this client); a change asks the
// owner to redraw its two images through onImagesChanged.
class TRbSplitterColors : public TRbCustomColors
{
public:
    TRbSplitterColors();
};
