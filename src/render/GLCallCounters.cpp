#include "render/GLCallCounters.h"

namespace render {

GLCallCounters& glCallCounters() {
    static GLCallCounters counters;
    return counters;
}

} // namespace render
