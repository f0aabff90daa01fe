// The demo creature: a fish-like body of six bones swimming in place.
#pragma once
#include "core/Ref.h"
#include "render/Group.h"
#include "render/World.h"

namespace render {
class Fog;
class Graphics3D;
}

namespace demo_model {

struct Picture;

// A Group (user ID 1) holding the creature: a skinned, textured tube
// (user ID 2) whose skeleton is a chain of six bones (user IDs 10 head ...
// 15 tail) along x. Each bone turns about y on a looping 2-second cycle
// with a phase lag down the body (SLERP tracks; the tail's is SQUAD), so a
// wave runs from head to tail. `skin` becomes the texture (modulating a white,
// slightly shiny material), fogged by `fog` when given. `g` makes the
// texture object.
core::Ref<render::Group> buildCreature(render::Graphics3D& g, const Picture& skin, render::Fog* fog = nullptr);

// A World around a creature: its own camera, a deep blue background, an
// ambient and a directional light, linear blue fog on everything, and a sea
// floor of lit tiles running into the distance.
core::Ref<render::World> buildAquarium(render::Graphics3D& g, const Picture& skin);

} // namespace demo_model
