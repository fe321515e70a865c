#pragma once

#include <QString>

namespace tessaly {

// The project's LICENSE file as built into the program, exactly as written
// (hard line breaks included). Empty, with a warning on the log, if the build
// lost it.
QString LicenseText();

}  // namespace tessaly
