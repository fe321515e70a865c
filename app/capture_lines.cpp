#include "app/capture_lines.h"

#include "log/packet_store.h"

#include <algorithm>

namespace tessaly {

static_assert(CaptureLines::kMaxLines == PacketStore::kMaxLines);

void CaptureLines::Clear() { *this = CaptureLines(); }

void CaptureLines::AddInterface(const CapturedInterface& link) {
  interfaces_.push_back(link);
  const std::string& given = link.link.lineName;
  const QString name = QString::fromStdString(given.empty() ? link.link.name : given);
  int line = lineOfName_.value(name, -1);
  if (line < 0 && names_.size() < kMaxLines) {
    line = static_cast<int>(names_.size());
    names_ << name;
    lineOfName_.insert(name, line);
  }
  lineOfInterface_.push_back(line);
}

void CaptureLines::NoteRow(int row, std::uint32_t interfaceId) {
  if (runs_.empty() || runs_.back().second != interfaceId) runs_.emplace_back(row, interfaceId);
}

int CaptureLines::LineOf(std::uint32_t interfaceId) const {
  return interfaceId < lineOfInterface_.size() ? lineOfInterface_[interfaceId] : 0;
}

const CaptureInterface* CaptureLines::LineOfRow(int row) const {
  if (runs_.empty()) return interfaces_.empty() ? nullptr : &interfaces_.front().link;
  // The last run that begins at or before the row.
  auto run = std::upper_bound(runs_.begin(), runs_.end(), row,
                              [](int value, const std::pair<int, std::uint32_t>& run) { return value < run.first; });
  if (run != runs_.begin()) --run;
  return run->second < interfaces_.size() ? &interfaces_[run->second].link : nullptr;
}

}  // namespace tessaly
