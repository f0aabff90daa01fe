// render::StandardProgram: the GLSL bodies of the engine's standard program,
// the lit, textured and fogged counterpart of the default program. It reads
// only what the renderer uploads for every draw (material, the eight light
// slots, texture units with their blending functions, fog, alpha threshold)
// and computes what the fixed-function pipeline of OpenGL ES 1.x computes
// for the same state:
// - lighting per vertex in eye space: emissive + for each light
//   attenuation x spot factor x (ambient + diffuse x N.L + specular x (N.H)^shininess),
//   with the viewer at infinity along +z; vertex-colour tracking puts the
//   vertex colour in place of the material's ambient and diffuse colours;
//   without lights the vertex colour is the colour;
// - texture units 0-3 applied in order with their functions (add, blend,
//   decal, modulate, replace) onto the lit colour;
// - linear or exponential fog by eye distance;
// - fragments below the alpha threshold discarded.
// A light's one colour lights both diffuse and specular terms (the light
// records carry it as their diffuse colour).
#pragma once

namespace render {

class StandardProgram {
public:
    static const char* vertexBody();
    static const char* fragmentBody();
};

} // namespace render
