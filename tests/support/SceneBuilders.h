// Test support: scene pieces the render and script tests build alike, a
// child group and keyframe animation.
#pragma once
#include "render/AnimationController.h"
#include "render/AnimationTrack.h"
#include "render/Group.h"
#include "render/KeyframeSequence.h"
#include <utility>
#include <vector>

namespace testsupport {

inline render::Group* child(render::Group* parent) {
    render::Group* g = M3D_NEW render::Group();
    parent->addChild(g);
    return g;
}

typedef std::vector<std::pair<int, std::vector<float>>> Keys; // time, values

inline render::KeyframeSequence* sequence(int interpolation, int repeat, int duration, const Keys& keys) {
    render::KeyframeSequence* s =
        M3D_NEW render::KeyframeSequence((int)keys.size(), (int)keys[0].second.size(), interpolation);
    for (int i = 0; i < (int)keys.size(); ++i)
        s->setKeyframe(i, keys[i].first, keys[i].second.data());
    s->setRepeatMode(repeat);
    s->setDuration(duration);
    return s;
}

inline render::AnimationTrack* track(render::KeyframeSequence* s, int property, float weight = 1.0f,
                                     int start = 0, int end = 0) {
    render::AnimationTrack* t = M3D_NEW render::AnimationTrack(s, property);
    render::AnimationController* c = M3D_NEW render::AnimationController();
    c->setWeight(weight);
    c->setActiveInterval(start, end);
    t->setController(c);
    return t;
}

} // namespace testsupport
