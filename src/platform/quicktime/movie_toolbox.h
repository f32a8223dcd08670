#pragma once

// Our movie layer: everything the VR authoring toolbox calls.
#include "platform/quicktime/atom_container.h"     // IWYU pragma: export
#include "platform/quicktime/image_compression.h"  // IWYU pragma: export
#include "platform/quicktime/movie.h"              // IWYU pragma: export
#include "platform/quicktime/qt_types.h"           // IWYU pragma: export
