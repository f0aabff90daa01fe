#include "core/EngineGlobals.h"

namespace core {
namespace detail {
EngineGlobals* runningEngine = nullptr;
}
void setEngineGlobals(EngineGlobals* g) { detail::runningEngine = g; }
} // namespace core
