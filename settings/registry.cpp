// Placeholder until the store lands.
#include "settings/registry.h"
