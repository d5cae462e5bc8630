#pragma once

#include <QString>

class AvatarCache;
class QLabel;

// A member's avatar drawn into a label of any window, fitted to the label's
// height, from the avatar cache (fetched again when refresh is set). Events
// run while the service answers: the label may be gone by then, and is then
// left alone. Nothing is drawn when the fetch fails; a picture that does not
// decode throws VoxlaneError, as the cache does.
namespace AvatarLabel {

void show(AvatarCache &avatars, const QString &pseudo, QLabel *target, bool refresh);

} // namespace AvatarLabel
