#include "components/TDistractBarAnimateProcess.h"

#include "components/DistractBarModel.h"

#include <QDateTime>

TDistractBarAnimateProcess::TDistractBarAnimateProcess(DistractBarModel *bar)
    : Bar(bar)
{
}

TDistractBarAnimateProcess::~TDistractBarAnimateProcess()
{
    Teardown();
}

void TDistractBarAnimateProcess::Finish()
{
    Bar->setEnableMask(0);
}

int TDistractBarAnimateProcess::count() const
{
    return Bar->BarCount();
}

void TDBAProcessToLeft::Reset()
{
    Position = 0;
}

void TDBAProcessToLeft::Step()
{
    if (Position > count() - 1)
        Position = 0;
    Bar->ClearBars();
    Bar->SetBarState(Position, true);
    ++Position;
}

void TDBAProcessToRight::Reset()
{
    Position = count() - 1;
}

void TDBAProcessToRight::Step()
{
    if (Position < 0)
        Position = count() - 1;
    Bar->ClearBars();
    Bar->SetBarState(Position, true);
    --Position;
}

void TDBAProcessBounce::Reset()
{
    Position = 0;
    Forward = true;
}

void TDBAProcessBounce::Step()
{
    const int n = count();
    if (Forward && Position > n - 1) {
        Position = n - 2;
        Forward = false;
    } else if (!Forward && Position < 0) {
        Position = 1;
        Forward = true;
    }
    Bar->ClearBars();
    Bar->SetBarState(Position, true);
    Position += Forward ? 1 : -1;
}

void TDBAProcessDouble::Reset()
{
    Position = 0;
    Position2 = count() - 1;
}

void TDBAProcessDouble::Step()
{
    const int n = count();
    if (Position > n - 1)
        Position = 0;
    if (Position2 < 0)
        Position2 = n - 1;
    Bar->ClearBars();
    Bar->SetBarState(Position, true);
    Bar->SetBarState(Position2, true);
    ++Position;
    --Position2;
}

void TDBAProcessRandom::Reset()
{
    Random.seed(quint32(QDateTime::currentMSecsSinceEpoch()));
}

void TDBAProcessRandom::Step()
{
    const int n = count();
    Bar->ClearBars();
    // Every combination of the bars is equally likely. The mask holds 32
    // bars; from 32 bars on, every pattern of those 32 is drawn.
    const quint32 mask = n >= 32 ? Random.generate() : quint32(Random.bounded(quint64(1) << n));
    Bar->setEnableMask(mask);
}

void TDBAProcessFillLeft::Reset()
{
    Filling = true;
    Position = 0;
    Bar->ClearBars();
}

void TDBAProcessFillLeft::Step()
{
    Bar->SetBarState(Position, Filling);
    ++Position;
    if (Position > count() - 1) {
        Position = 0;
        Filling = !Filling;
    }
}

void TDBAProcessFillRight::Reset()
{
    Filling = true;
    Position = count() - 1;
    Bar->ClearBars();
}

void TDBAProcessFillRight::Step()
{
    Bar->SetBarState(Position, Filling);
    --Position;
    if (Position < 0) {
        Position = count() - 1;
        Filling = !Filling;
    }
}

void TDBAProcessFillBounce::Reset()
{
    Filling = true;
    Position = 0;
    Forward = true;
    Bar->ClearBars();
}

void TDBAProcessFillBounce::Step()
{
    const int n = count();
    Bar->SetBarState(Position, Filling);
    if (Forward) {
        ++Position;
        if (Position > n - 1) {
            if (Filling) {
                Position = n - 1;
                Forward = false;
            } else {
                Position = 0;
                Forward = true;
            }
            Filling = !Filling;
        }
    } else {
        --Position;
        if (Position < 0) {
            if (Filling) {
                Position = 0;
                Forward = true;
            } else {
                Position = n - 1;
                Forward = false;
            }
            Filling = !Filling;
        }
    }
}
