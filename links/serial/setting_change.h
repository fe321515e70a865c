#pragma once

#include <utility>

namespace tessaly {

// Stores a setting's new value and re-applies, but only when it differs: an
// unchanged value must not touch an open device.
template <class T, class Apply>
void ChangeSetting(T& field, const T& value, Apply&& apply) {
  if (field == value) return;
  field = value;
  std::forward<Apply>(apply)();
}

}  // namespace tessaly
