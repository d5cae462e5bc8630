#pragma once

#include "transfer/TransferJob.h"
#include "transfer/ui/TvzkLoadPanel.h"

#include <memory>

// The job a test panel shows, made before the panel and destroyed after it
// (a base listed first), as the transfer manager holds it in the program.
struct TestPanelJob
{
    std::unique_ptr<TransferJob> ownedJob = std::make_unique<TransferJob>();
};

// A panel together with its own job, for the data-channel tests that drive
// one transfer on loopback without a transfer manager: the test sets the
// job up through job() and reads what the panel shows.
class TestPanel : private TestPanelJob, public TvzkLoadPanel
{
public:
    explicit TestPanel(QWidget *parent = nullptr)
        : TestPanelJob(), TvzkLoadPanel(*ownedJob, parent)
    {
    }
};
