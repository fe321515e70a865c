#pragma once

#include <QString>

#include <map>

namespace tessaly {

// Notes between the log's packets, such as a link lost and a link back, by
// the row each takes: an empty packet stamped with the note's moment, shown
// and saved as the note's text. A capture read later shows where it has a
// gap and why.
using LogMarks = std::map<int, QString>;

}  // namespace tessaly
