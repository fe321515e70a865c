#pragma once

#include <QString>

#include <optional>

#include <sys/types.h>

namespace tessaly {

// Who may open a device file: its owner, its group and its permission bits,
// and whether the user running the program is listed in that group.
struct DeviceOwnership {
  QString owner;  // the user's name, or the number when it has none
  QString group;  // the group's name, or the number
  bool rootGroup = false;  // the group is root's (gid 0)
  bool rootOwner = false;  // the owner is root (uid 0)
  bool ownedByUser = false;  // the owner is the user running the program
  mode_t mode = 0;
  // The user is a member of the group in the group database, although the
  // running program does not have the group (a membership added since the
  // session began).
  bool memberNotInSession = false;
};

// The device's owner, group and mode; nothing when the file cannot be
// examined.
std::optional<DeviceOwnership> ReadDeviceOwnership(const QString& devicePath);

// What to do when opening the device is refused for want of permission:
// names the device's owner, group and mode, and the step that would give
// the user access (joining the group only where the group may read and
// write it and is not root's).
QString AccessAdvice(const std::optional<DeviceOwnership>& device);

}  // namespace tessaly
