#pragma once

#include <QBitArray>
#include <QItemSelection>

namespace tessaly {

// How a header shows the selection, read from the selection's ranges alone:
// two bits a section, whether the selection touches its column (or row) and
// whether it holds all of it. A selection of every row of ten million is one
// range, so this costs the same for it as for one row, where asking the
// selection model section by section walks the rows.
//
// sections is the header's section count; length the number of rows of a
// column header (columns of a row header), below root.
QBitArray SectionHighlights(const QItemSelection& selection, Qt::Orientation orientation,
                            int sections, int length, const QModelIndex& root);

inline bool SectionTouched(const QBitArray& highlights, int section) {
  return section >= 0 && 2 * section < highlights.size() && highlights.testBit(2 * section);
}
inline bool SectionWhole(const QBitArray& highlights, int section) {
  return section >= 0 && 2 * section + 1 < highlights.size() && highlights.testBit(2 * section + 1);
}

}  // namespace tessaly
