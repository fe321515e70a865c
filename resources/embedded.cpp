#include "resources/embedded.h"

#include <QtGlobal>

// Q_INIT_RESOURCE declares a function of the global namespace, so it cannot be
// used inside ours.
static void RegisterResourcesQrc() { Q_INIT_RESOURCE(resources); }

namespace tessaly {

void LoadEmbeddedResources() {
  static const bool registered = (RegisterResourcesQrc(), true);
  (void)registered;
}

}  // namespace tessaly
