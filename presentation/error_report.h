#pragma once

#include "presentation/failure_report.h"

namespace tessaly {

// Makes every report a modal message box (see ShowErrorReport), with the
// active window as its parent. The window program installs it at start-up.
void InstallMessageBoxReports();

}  // namespace tessaly
