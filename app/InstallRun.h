// The first steps of the installation run: stopping the package's services and
// copying the selected files out of the payload.
#pragma once

namespace kx {

class TSetupFM;

// For each service of FServices: a progress line (message 31), StopService with
// 15 seconds, then a pause of 1.5 seconds; errors are passed over.
void StopServices(TSetupFM& form);
// Writes the payload resource to a temporary copy and runs the copy step on it
// (see TCopyStep), with progress lines and the progress bar on the form.
void ExtractFiles(TSetupFM& form);

} // namespace kx
