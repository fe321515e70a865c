#pragma once

#include "capture_file/capture_packet_stream.h"

#include <QString>
#include <QStringList>

#include <filesystem>

namespace tessaly {

// The link types whose packets are Modbus RTU frames: the one this program
// writes, and the other link types reserved for private use, which users
// of other capture tools give their serial lines.
inline constexpr std::uint16_t kFirstUserLinkType = 147;
inline constexpr std::uint16_t kLastUserLinkType = 162;

// "The last capture (120 packets, 2026-12-08 09:05:07–09:41:12) was not
// closed. Open it?"
QString UnfinishedCaptureQuestion(const CaptureSpan& span);

// The captures opened last, newest first, at most kRecentCaptures, kept in
// the user's part of the settings store.
inline constexpr int kRecentCaptures = 10;
QStringList RecentCaptures(const std::filesystem::path& storeDirectory);
void RememberRecentCapture(const std::filesystem::path& storeDirectory, const QString& path);

}  // namespace tessaly
