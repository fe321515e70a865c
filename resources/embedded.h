#pragma once

namespace tessaly {

// Registers the files compiled in from resources.qrc under ":/". The archive
// member holding them is only linked when something refers to it, so every
// function of this library that reads ":/" calls this first. Cheap after the
// first call and safe from any thread.
void LoadEmbeddedResources();

}  // namespace tessaly
