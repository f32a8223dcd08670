#include "cli/commands.h"

namespace orbelune::cli {

int RunUnwarp(const Args&) { return Failure("unwarp is not available yet"); }
int RunSynth(const Args&) { return Failure("synth is not available yet"); }

}  // namespace orbelune::cli
