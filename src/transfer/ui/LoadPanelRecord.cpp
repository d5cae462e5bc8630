#include "transfer/ui/LoadPanelRecord.h"

#include "transfer/ui/TvzkLoadPanel.h"

TransferRecord LoadPanelRecord::of(const TvzkLoadPanel &panel)
{
    TransferRecord r;
    r.IDTel = panel.IDTel();
    r.FichierName = panel.FichierName();
    r.FichierProprio = panel.FichierProprio();
    r.FichierPath = panel.FichierPath();
    r.FichierPoids = panel.FichierPoids();
    r.FichierTel = panel.FichierTel();
    r.Port = panel.Port();
    r.Status = panel.Status();
    return r;
}

void LoadPanelRecord::apply(TvzkLoadPanel &panel, const TransferRecord &r)
{
    panel.setIDTel(r.IDTel);
    panel.setFichierName(r.FichierName);
    panel.setFichierProprio(r.FichierProprio);
    panel.setFichierPath(r.FichierPath);
    panel.setFichierPoids(r.FichierPoids);
    panel.setFichierTel(r.FichierTel);
    panel.setPort(r.Port);
    panel.setStatus(r.Status);
}
