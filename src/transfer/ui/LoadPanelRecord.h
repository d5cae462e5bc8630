#pragma once

#include "transfer/TransferListDocument.h"

class TvzkLoadPanel;

// A panel's saved properties as a plain record, and back: what the owner of
// the lists hands to TransferListStore and what it sets on a re-created
// panel.
class LoadPanelRecord
{
public:
    static TransferRecord of(const TvzkLoadPanel &panel);
    // Sets the eight saved properties, nothing else.
    static void apply(TvzkLoadPanel &panel, const TransferRecord &record);
};
