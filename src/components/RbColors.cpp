#include "components/RbColors.h"

#include "components/RbDrawCore.h"

void TRbCustomColors::setImageColor(quint32 &field, quint32 value)
{
    if (field == value)
        return;
    field = value;
    imagesChanged();
}

void TRbCustomColors::setPaintColor(quint32 &field, quint32 value)
{
    if (field == value)
        return;
    field = value;
    if (onRepaint)
        onRepaint();
}

void TRbCustomColors::imagesChanged()
{
    if (onImagesChanged)
        onImagesChanged();
}

void TRbCustomColors::Assign(const TRbCustomColors &other)
{
    m_defaultFrom = other.m_defaultFrom;
    m_defaultTo = other.m_defaultTo;
    m_overFrom = other.m_overFrom;
    m_overTo = other.m_overTo;
    imagesChanged();
}

void TRbControlColors::Assign(const TRbCustomColors &other)
{
    if (auto *c = dynamic_cast<const TRbControlColors *>(&other)) {
        m_clickedFrom = c->m_clickedFrom;
        m_clickedTo = c->m_clickedTo;
        m_hotTrack = c->m_hotTrack;
        m_borderColor = c->m_borderColor;
        m_textShadow = c->m_textShadow;
    }
    TRbCustomColors::Assign(other);
}

TRbSplitterColors::TRbSplitterColors()
{
    m_defaultFrom = RbDrawCore::kButtonFace;
    m_defaultTo = RbDrawCore::kButtonFace;
    m_overFrom = 0xFFFFFF;
    m_overTo = 0xBE9476;
}
