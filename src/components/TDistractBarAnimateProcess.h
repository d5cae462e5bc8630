#pragma once

#include <QRandomGenerator>

#include <memory>

class DistractBarModel;

// Base of the activity bar's animation patterns. A pattern switches the
// bar's bars through SetBarState, ClearBars and EnableMask; the bar calls
// Step once per pattern tick, between BeginUpdate and EndUpdate.
class TDistractBarAnimateProcess
{
public:
    explicit TDistractBarAnimateProcess(DistractBarModel *bar);
    virtual ~TDistractBarAnimateProcess();
    TDistractBarAnimateProcess(const TDistractBarAnimateProcess &) = delete;
    TDistractBarAnimateProcess &operator=(const TDistractBarAnimateProcess &) = delete;

    virtual void Setup() { }
    virtual void Teardown() { }
    // Back to the pattern's start.
    virtual void Reset() { }
    // One frame.
    virtual void Step() { }
    // Just before the pattern is discarded: every bar off.
    virtual void Finish();

    // Creates a pattern of type T for bar (constructor, then Setup).
    template <class T> static std::unique_ptr<TDistractBarAnimateProcess> create(DistractBarModel *bar)
    {
        std::unique_ptr<TDistractBarAnimateProcess> p = std::make_unique<T>(bar);
        p->Setup();
        return p;
    }

protected:
    int count() const; // BarCount now
    DistractBarModel *Bar;
};

class TDBAProcessToLeft : public TDistractBarAnimateProcess
{
public:
    using TDistractBarAnimateProcess::TDistractBarAnimateProcess;
    void Reset() override;
    void Step() override;

private:
    int Position = 0;
};

class TDBAProcessToRight : public TDistractBarAnimateProcess
{
public:
    using TDistractBarAnimateProcess::TDistractBarAnimateProcess;
    void Reset() override;
    void Step() override;

private:
    int Position = 0;
};

class TDBAProcessBounce : public TDistractBarAnimateProcess
{
public:
    using TDistractBarAnimateProcess::TDistractBarAnimateProcess;
    void Reset() override;
    void Step() override;

private:
    int Position = 0;
    bool Forward = true;
};

class TDBAProcessDouble : public TDistractBarAnimateProcess
{
public:
    using TDistractBarAnimateProcess::TDistractBarAnimateProcess;
    void Reset() override;
    void Step() override;

private:
    int Position = 0;
    int Position2 = 0;
};

class TDBAProcessRandom : public TDistractBarAnimateProcess
{
public:
    using TDistractBarAnimateProcess::TDistractBarAnimateProcess;
    void Reset() override;
    void Step() override;

private:
    // Seeded from the clock by Reset; owned by the pattern so that the
    // animation thread shares no generator with the rest of the program.
    QRandomGenerator Random;
};

class TDBAProcessFillLeft : public TDistractBarAnimateProcess
{
public:
    using TDistractBarAnimateProcess::TDistractBarAnimateProcess;
    void Reset() override;
    void Step() override;

private:
    int Position = 0;
    bool Filling = true;
};

class TDBAProcessFillRight : public TDistractBarAnimateProcess
{
public:
    using TDistractBarAnimateProcess::TDistractBarAnimateProcess;
    void Reset() override;
    void Step() override;

private:
    int Position = 0;
    bool Filling = true;
};

class TDBAProcessFillBounce : public TDistractBarAnimateProcess
{
public:
    using TDistractBarAnimateProcess::TDistractBarAnimateProcess;
    void Reset() override;
    void Step() override;

private:
    int Position = 0;
    bool Filling = true;
    bool Forward = true;
};
