#pragma once

#include "base/ErrorReport.h"

#include <QString>

// Raised when OrdreImageListAffiche is given anything but digits and commas.
class ExceptionNumsImageLIstAffiche : public VoxlaneError
{
public:
    ExceptionNumsImageLIstAffiche();
    static QString text();
};

// The tray icon's rules that need no window: the animation order list, the
// tooltip length and the stepping of the icon animation.
namespace PiconeBarreTacheRules {

// Longest tooltip the notification area takes.
constexpr int kHintLength = 63;
// Highest image number an image list icon may have.
constexpr int kMaxImageIndex = 255;

// The tooltip for a hint: its first 63 characters.
QString TipText(const QString &hint);

// True when every character is a comma or a digit 0-9 (the empty list too).
bool IsValidOrder(const QString &order);
// Throws ExceptionNumsImageLIstAffiche unless IsValidOrder.
void CheckOrder(const QString &order);
// Number of items: commas + 1, 0 for the empty list.
int OrderCount(const QString &order);
// Item n (from 0) as a number; an empty or too large item counts as 0.
int OrderItem(const QString &order, int n);

// Whether image index of an image list of count images can be shown.
bool CanShowImage(int index, int count);

// The animation's position: the image last asked for and the position in
// the order list.
struct AnimationState
{
    int CurrentImage = 0;
    int OrderPosition = 0;
};

// One animation step over an image list of imageCount images. Returns the
// image number asked for (also the new CurrentImage; one that CanShowImage
// refuses leaves the icon as it is), or -1 when there are no images. Without an order
// list the images cycle 0..count-1; with one the next item is shown, an
// item beyond the list showing the last image.
int AnimationStep(AnimationState &state, const QString &order, int imageCount);

} // namespace PiconeBarreTacheRules
