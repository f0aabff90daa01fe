#include "core/EngineGlobals.h"

namespace core {
namespace {
EngineGlobals* g_engineGlobals = nullptr;
}
EngineGlobals* engineGlobals() { return g_engineGlobals; }
void setEngineGlobals(EngineGlobals* g) { g_engineGlobals = g; }
} // namespace core
