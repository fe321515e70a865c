#include "views/section_highlights.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace tessaly {

QBitArray SectionHighlights(const QItemSelection& selection, Qt::Orientation orientation,
                            int sections, int length, const QModelIndex& root) {
  QBitArray highlights(2 * std::max(sections, 0));
  if (sections <= 0 || length <= 0) return highlights;
  const bool across = orientation == Qt::Horizontal;
  // Per section, the spans along it that the selection holds.
  std::vector<std::vector<std::pair<int, int>>> spans(static_cast<std::size_t>(sections));
  for (const QItemSelectionRange& range : selection) {
    if (!range.isValid() || range.parent() != root) continue;
    const int first = std::max(across ? range.left() : range.top(), 0);
    const int last = std::min(across ? range.right() : range.bottom(), sections - 1);
    const std::pair<int, int> span = across ? std::pair{range.top(), range.bottom()}
                                            : std::pair{range.left(), range.right()};
    for (int section = first; section <= last; ++section) {
      spans[static_cast<std::size_t>(section)].push_back(span);
    }
  }
  for (int section = 0; section < sections; ++section) {
    auto& along = spans[static_cast<std::size_t>(section)];
    if (along.empty()) continue;
    highlights.setBit(2 * section);
    // Whole when the spans, joined, run from the first row to the last.
    std::sort(along.begin(), along.end());
    int covered = -1;  // rows 0..covered are held
    for (const auto& [top, bottom] : along) {
      if (top > covered + 1) break;
      covered = std::max(covered, bottom);
    }
    if (covered >= length - 1) highlights.setBit(2 * section + 1);
  }
  return highlights;
}

}  // namespace tessaly
