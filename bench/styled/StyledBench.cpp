// Cost of repainting a styled button: with the frame cache hit (a blit of
// the cached frame, the usual case: a window uncovered, a sibling moving)
// and with a fade step, where the frame is blended anew from the cached
// gradients. Both go through the platform's full repaint of the widget.
#include "components/ui/TRbButton.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace {

constexpr int kRepaints = 20000;

double microsPerRepaint(TRbButton &button, bool stepFade)
{
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kRepaints; ++i) {
        if (stepFade)
            button.Fade().OverFade = (i % 10) * 10 + 10; // a new level each time: cache miss
        button.repaint();
    }
    return double(clock.nsecsElapsed()) / 1000.0 / kRepaints;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(200, 60);
    auto *button = new TRbButton(&window);
    button->setGeometry(20, 15, 75, 25);
    button->setCaption(QStringLiteral("Annuler"));
    button->Colors().setDefaultFrom(10346217);
    button->Colors().setDefaultTo(13561844);
    button->Colors().setOverFrom(13561844);
    button->Colors().setOverTo(10346217);
    window.show();
    QApplication::processEvents();

    microsPerRepaint(*button, false); // warm up
    const int rendersBefore = button->FrameRenders();
    const double hit = microsPerRepaint(*button, false);
    const int missesDuringHits = button->FrameRenders() - rendersBefore;
    const double miss = microsPerRepaint(*button, true);

    std::printf("styled: %.1f \xC2\xB5s per button repaint (cache hit; %d frame redraws in %d repaints)\n",
        hit, missesDuringHits, kRepaints);
    std::printf("styled: %.1f \xC2\xB5s per button repaint with a fade step (frame redrawn)\n", miss);
    return missesDuringHits == 0 ? 0 : 1;
}
