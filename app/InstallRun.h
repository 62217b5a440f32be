// The installation run over the machine: what its steps work with, its
// beginning, and its first step, stopping the package's services. Portable:
// the machine is a TSetupSystem, every change goes through the journal.
#pragma once
#include <exception>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/Journal.h"
#include "app/SetupScript.h"
#include "app/SetupSystem.h"

namespace kx {

// How the run talks to the window that shows it.
struct TRunUi {
    // A line at the end of the progress list.
    std::function<void(const std::string& line)> AddLine;
    // The share of the run done, 0 to 100; called often, also to keep the window alive.
    std::function<void(int percent)> SetProgress;
    // An error that is shown while the run goes on.
    std::function<void(const std::exception& e)> ShowError;
};

struct TRunContext {
    TSetupFields& F;
    TSetupSystem& System;
    TJournal& Journal;
    std::string_view Payload;     // the SETUPX archive
    std::string_view Uninstaller; // the UNINST program
    std::vector<bool> Checked;    // the check marks of the component list, item by item
    TRunUi Ui;

    void AddLine(const std::string& line) const {
        if (Ui.AddLine) Ui.AddLine(line);
    }
    void SetProgress(int percent) const {
        if (Ui.SetProgress) Ui.SetProgress(percent);
    }
};

// Begins the journal and makes sure of the target folder: the folders the
// directory page made are the run's to remove again on a rollback, and a
// target that a rollback removed is made again.
void BeginRun(TRunContext& c);
using TRunStep = void (*)(TRunContext& c);
// The steps after BeginRun, in their order: StopServices, ExtractFiles,
// WriteUninstaller, CreateProgramGroup, RegisterUninstall, the success line,
// InstallService. The commit and the finish follow them.
std::span<const TRunStep> RunSteps();

// For each service of FServices that runs: a progress line (message 31), a stop
// of at most 15 seconds and a pause of 1.5 seconds. A service that is not
// running is left alone; errors of the service manager are passed over.
void StopServices(TRunContext& c);

} // namespace kx
