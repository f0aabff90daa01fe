-- GLSL programs of the demo. The engine puts its m3g_ header in front of
-- every text: attributes m3g_position and m3g_normal, the matrices
-- m3g_modelViewProjectionMatrix, m3g_modelViewMatrix and m3g_normalMatrix.
-- Lighting is computed here, in view space, from the uniforms the script sets
-- with shader_set.
local shaders = {}

-- Shared vertex stage: view-space position and normal for the fragment stage.
local VIEW_SPACE_VS = [[
varying vec3 v_normal;
varying vec3 v_position;
void main() {
  v_normal = (m3g_normalMatrix * vec4(m3g_normal, 0.0)).xyz;
  v_position = (m3g_modelViewMatrix * vec4(m3g_position, 1.0)).xyz;
  gl_Position = m3g_modelViewProjectionMatrix * vec4(m3g_position, 1.0);
}]]

-- Blinn-Phong: ambient + diffuse + specular from one directional light, plus
-- a glow term the script raises when something touches the object.
local PHONG_FS = [[
precision highp float;
uniform vec3 u_light;      // direction towards the light, view space
uniform vec4 u_color;      // base colour, alpha used when blended
uniform float u_ambient;
uniform float u_shininess;
uniform float u_glow;
varying vec3 v_normal;
varying vec3 v_position;
void main() {
  vec3 n = normalize(v_normal);
  vec3 l = normalize(u_light);
  vec3 h = normalize(l - normalize(v_position));
  float diffuse = max(dot(n, l), 0.0);
  float specular = diffuse > 0.0 ? pow(max(dot(n, h), 0.0), u_shininess) : 0.0;
  vec3 glow = vec3(1.0, 0.9, 0.5) * u_glow;
  vec3 c = u_color.rgb * (u_ambient + diffuse) + vec3(specular) + glow;
  gl_FragColor = vec4(c, u_color.a);
}]]

-- Cel shading with a rim: the diffuse term in three bands and a bright edge
-- where the surface turns away from the viewer.
local TOON_FS = [[
precision highp float;
uniform vec3 u_light;
uniform vec4 u_color;
uniform vec3 u_rim;
uniform float u_glow;
varying vec3 v_normal;
varying vec3 v_position;
void main() {
  vec3 n = normalize(v_normal);
  float d = max(dot(n, normalize(u_light)), 0.0);
  float band = d > 0.8 ? 1.0 : (d > 0.35 ? 0.65 : 0.3);
  float rim = pow(1.0 - max(dot(n, -normalize(v_position)), 0.0), 3.0);
  gl_FragColor = vec4(u_color.rgb * band + u_rim * rim + vec3(u_glow), 1.0);
}]]

-- Flat colour for the ground and markers.
local FLAT_VS = [[
void main() { gl_Position = m3g_modelViewProjectionMatrix * vec4(m3g_position, 1.0); }]]
local FLAT_FS = [[
precision highp float;
uniform vec4 u_color;
void main() { gl_FragColor = u_color; }]]

local LIGHT = vec3(0.45, 0.75, 0.5)

-- A lit program with its own uniforms: each call links a new program, so
-- every object can keep its own colour without setting it per frame.
function shaders.phong(r, g, b, a, shininess)
  local s = shader_create(VIEW_SPACE_VS, PHONG_FS)
  shader_set(s, "u_light", LIGHT)
  shader_set(s, "u_color", vec4(r, g, b, a or 1))
  shader_set(s, "u_ambient", 0.18)
  shader_set(s, "u_shininess", shininess or 32)
  shader_set(s, "u_glow", 0)
  return s
end

function shaders.toon(r, g, b)
  local s = shader_create(VIEW_SPACE_VS, TOON_FS)
  shader_set(s, "u_light", LIGHT)
  shader_set(s, "u_color", vec4(r, g, b, 1))
  shader_set(s, "u_rim", vec3(0.3, 0.5, 0.9))
  shader_set(s, "u_glow", 0)
  return s
end

function shaders.flat(r, g, b, a)
  local s = shader_create(FLAT_VS, FLAT_FS)
  shader_set(s, "u_color", vec4(r, g, b, a or 1))
  return s
end

-- An appearance that draws with `shader`, optionally blended (BLEND_*).
function shaders.look(shader, blend)
  local a = appearance_create()
  appearance_set_shader(a, shader)
  if blend then appearance_set_blending(a, blend) end
  return a
end

return shaders
