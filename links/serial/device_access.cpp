#include "links/serial/device_access.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace tessaly {
namespace {

constexpr mode_t kOwnerReadWrite = S_IRUSR | S_IWUSR;
constexpr mode_t kGroupReadWrite = S_IRGRP | S_IWGRP;
constexpr mode_t kOthersReadWrite = S_IROTH | S_IWOTH;

// "crw-rw----", as ls shows it.
QString ModeText(mode_t mode) {
  QString text = S_ISCHR(mode) ? QStringLiteral("c") : S_ISDIR(mode) ? QStringLiteral("d") : QStringLiteral("-");
  const char* letters = "rwxrwxrwx";
  for (int bit = 0; bit < 9; ++bit) {
    text += (mode & (0400 >> bit)) != 0 ? QLatin1Char(letters[bit]) : QLatin1Char('-');
  }
  return text;
}

// Listed in the group database as a member (or by the primary group of the
// user's own entry), but the running program lacks the group.
bool MemberNotInSession(gid_t gid, const group* entry) {
  if (::getegid() == gid) return false;
  const int count = ::getgroups(0, nullptr);
  std::vector<gid_t> held(static_cast<std::size_t>(std::max(count, 0)));
  if (count > 0 && ::getgroups(count, held.data()) == count &&
      std::find(held.begin(), held.end(), gid) != held.end()) {
    return false;
  }
  const passwd* user = ::getpwuid(::geteuid());
  if (user == nullptr) return false;
  if (user->pw_gid == gid) return true;
  for (char** member = entry != nullptr ? entry->gr_mem : nullptr; member != nullptr && *member != nullptr;
       ++member) {
    if (std::strcmp(*member, user->pw_name) == 0) return true;
  }
  return false;
}

}  // namespace

std::optional<DeviceOwnership> ReadDeviceOwnership(const QString& devicePath) {
  struct stat info {};
  if (::stat(devicePath.toLocal8Bit().constData(), &info) != 0) return std::nullopt;
  DeviceOwnership device;
  const passwd* owner = ::getpwuid(info.st_uid);
  device.owner = owner != nullptr ? QString::fromLocal8Bit(owner->pw_name) : QString::number(info.st_uid);
  const group* entry = ::getgrgid(info.st_gid);
  device.group = entry != nullptr ? QString::fromLocal8Bit(entry->gr_name) : QString::number(info.st_gid);
  device.rootOwner = info.st_uid == 0;
  device.rootGroup = info.st_gid == 0;
  device.ownedByUser = info.st_uid == ::geteuid();
  device.mode = info.st_mode;
  device.memberNotInSession = MemberNotInSession(info.st_gid, entry);
  return device;
}

QString AccessAdvice(const std::optional<DeviceOwnership>& device) {
  if (!device) {
    // Nothing to look at: the usual group of serial ports on Debian.
    return QStringLiteral("Permission denied: your user may not open this device. Add it to the "
                          "\"dialout\" group (sudo usermod -aG dialout $USER), then log out and in "
                          "again.");
  }
  const QString whose = QStringLiteral("Permission denied: the device belongs to user \"%1\" and "
                                       "group \"%2\" (%3). ")
                            .arg(device->owner, device->group, ModeText(device->mode));
  if ((device->mode & kOthersReadWrite) == kOthersReadWrite) {
    return whose + QStringLiteral("Its permissions let everyone open it, so something else "
                                  "refuses: an access control list (getfacl) or a security policy.");
  }
  if ((device->mode & kGroupReadWrite) == kGroupReadWrite && !device->rootGroup) {
    if (device->memberNotInSession) {
      return whose + QStringLiteral("Your user is in the \"%1\" group, but this session began "
                                    "before it was added: log out and in again.")
                         .arg(device->group);
    }
    return whose + QStringLiteral("Add your user to the \"%1\" group (sudo usermod -aG %1 $USER), "
                                  "then log out and in again.")
                       .arg(device->group);
  }
  const QString udev = QStringLiteral(
      "An administrator can give it a group of its own with a udev rule (for example "
      "GROUP=\"dialout\", MODE=\"0660\" in /etc/udev/rules.d/), and members of that group may "
      "then open it.");
  if (device->ownedByUser) {
    return whose + QStringLiteral("It is yours, but its mode does not let you read and write it: "
                                  "chmod u+rw on the device gives you access.");
  }
  if (device->rootOwner) {
    return whose + QStringLiteral("Only root may open it. ") + udev +
           QStringLiteral(" Or run Tessaly as root.");
  }
  return whose + QStringLiteral("Only the user \"%1\" may open it: run Tessaly as that user, or ask "
                                "them to let you in (chmod or setfacl on the device). ")
                     .arg(device->owner) +
         udev;
}

}  // namespace tessaly
