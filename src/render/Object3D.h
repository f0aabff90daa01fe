// Placeholder until the scene-graph base class lands on this branch: the
// slots Image2D needs (destructor, animate, duplicate).
#pragma once
#include "core/Object.h"

namespace render {

class Object3D : public core::Object {
public:
    Object3D() {}
    Object3D(const Object3D& o) : core::Object(o) {}
    virtual ~Object3D() {}
    virtual void animate(int) {}
    virtual Object3D* duplicate() const = 0;
};

} // namespace render
