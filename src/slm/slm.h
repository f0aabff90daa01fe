// The engine's small linear-algebra library in one include: vec3, vec4, quat,
// mat4, ray and their free functions.
#pragma once
#include "slm/mat4.h"
#include "slm/quat.h"
#include "slm/ray.h"
#include "slm/scalar.h"
#include "slm/vec3.h"
#include "slm/vec4.h"
