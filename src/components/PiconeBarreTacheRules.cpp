#include "components/PiconeBarreTacheRules.h"

#include <QStringList>

ExceptionNumsImageLIstAffiche::ExceptionNumsImageLIstAffiche()
    : VoxlaneError(text())
{
}

QString ExceptionNumsImageLIstAffiche::text()
{
    return QStringLiteral(
        "Erreur dans PiconeBarreTache : Mauvaise entrée dans NumsImageListAffiche. Mettre les numéros des "
        "images de la liste (ImageList) que vous voulez voir défiler séparés par des virgules");
}

namespace PiconeBarreTacheRules {

QString TipText(const QString &hint)
{
    return hint.left(kHintLength);
}

bool IsValidOrder(const QString &order)
{
    for (QChar c : order) {
        if (c != u',' && (c < u'0' || c > u'9'))
            return false;
    }
    return true;
}

void CheckOrder(const QString &order)
{
    if (!IsValidOrder(order))
        throw ExceptionNumsImageLIstAffiche();
}

int OrderCount(const QString &order)
{
    return order.isEmpty() ? 0 : int(order.count(u',')) + 1;
}

int OrderItem(const QString &order, int n)
{
    const QStringList items = order.split(u',');
    if (n < 0 || n >= items.size())
        return 0;
    bool ok = false;
    const int value = items.at(n).toInt(&ok);
    return ok ? value : 0;
}

bool CanShowImage(int index, int count)
{
    return index >= 0 && index <= count - 1 && index <= kMaxImageIndex;
}

int AnimationStep(AnimationState &state, const QString &order, int imageCount)
{
    if (imageCount < 1)
        return -1;
    const int count = OrderCount(order);
    if (count == 0) {
        state.CurrentImage = state.CurrentImage < imageCount - 1 ? state.CurrentImage + 1 : 0;
        return state.CurrentImage;
    }
    ++state.OrderPosition;
    if (state.OrderPosition > count - 1)
        state.OrderPosition = 0;
    state.CurrentImage = OrderItem(order, state.OrderPosition);
    if (state.CurrentImage >= imageCount - 1)
        state.CurrentImage = imageCount - 1;
    return state.CurrentImage;
}

} // namespace PiconeBarreTacheRules
