// The demo's two pictures, drawn pixel by pixel: the badge that the demo
// shows with texture_load and the skin of the demo creature.
#pragma once
#include <vector>

namespace demo_model {

struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgba; // rows top first
};

// A round blue badge with a white ring and a white "P", transparent outside.
Picture drawBadge(int size);
// Scales in bands along u (the creature's length) with darker spots and a
// pale belly stripe in the middle of v.
Picture drawSkin(int size);

} // namespace demo_model
