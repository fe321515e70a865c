#pragma once

#include "core/packet_time.h"

#include <QString>

#include <optional>
#include <string>

namespace tessaly {

// Where the program keeps the files of its captures: the user's data
// folder ($XDG_DATA_HOME, or ~/.local/share), under tessaly/captures.
QString CaptureFolder();

// "tessaly-2026-12-08-090507-ttyUSB0": the local time the capture began and
// the link it came from, as a file name without extension. A device's path
// loses its "/dev/", an address its colon; whatever else a file name should
// not hold becomes "-".
QString ProposedLogName(PacketTime captureStart, const QString& link);

// A new file in folder for a capture begun at start on the line where names:
// "tessaly-2026-12-08-090507-ttyUSB0.pcapng", with "-2", "-3", ... before
// the extension when that name is taken (two starts within a second).
// Creates the folder when missing.
std::string NewCapturePath(const QString& folder, PacketTime start, const QString& where);

// The newest capture file in folder whose writing never finished (its
// marker is still there and the process that wrote it is gone), if any.
// Markers left beside files that no longer exist are removed.
std::optional<QString> UnfinishedCapture(const QString& folder);
// Forgets that the capture at path was cut off, once it has been offered.
void ForgetUnfinished(const QString& path);

}  // namespace tessaly
