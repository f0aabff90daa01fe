-- GLSL programs of the demo. The engine puts its m3g_ header in front of
-- every text: attributes m3g_position and m3g_normal, the matrices
-- m3g_modelViewProjectionMatrix, m3g_modelViewMatrix and m3g_normalMatrix.
-- Lighting is computed here, in view space, from uniforms the script sets
-- with shader_set.
--
-- Every program costs start-up time (compiling, linking, and the software
-- renderer's code generation on its first draw), so the demo links two and
-- shares them: a "look" sets a program's uniforms right before its draw.
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
precision mediump float;
uniform vec3 u_light;      // direction towards the light, view space, unit length
uniform vec4 u_color;      // base colour, alpha used when blended
uniform float u_shininess;
uniform float u_glow;
varying vec3 v_normal;
varying vec3 v_position;
void main() {
  vec3 n = normalize(v_normal);
  vec3 h = normalize(u_light - normalize(v_position));
  float diffuse = max(dot(n, u_light), 0.0);
  float specular = diffuse > 0.0 ? pow(max(dot(n, h), 0.0), u_shininess) : 0.0;
  vec3 c = u_color.rgb * (0.18 + diffuse) + vec3(specular) + vec3(1.0, 0.9, 0.5) * u_glow;
  gl_FragColor = vec4(c, u_color.a);
}]]

-- Cel shading with a rim: the diffuse term in three bands and a bright edge
-- where the surface turns away from the viewer.
local TOON_FS = [[
precision mediump float;
uniform vec3 u_light;
uniform vec4 u_color;
uniform vec3 u_rim;
uniform float u_glow;
varying vec3 v_normal;
varying vec3 v_position;
void main() {
  vec3 n = normalize(v_normal);
  float d = dot(n, u_light);
  float band = d > 0.8 ? 1.0 : (d > 0.35 ? 0.65 : 0.3);
  float rim = 1.0 - max(dot(n, -normalize(v_position)), 0.0);
  gl_FragColor = vec4(u_color.rgb * band + u_rim * (rim * rim * rim) + vec3(u_glow), 1.0);
}]]

local LIGHT = vec3_unit(vec3(0.45, 0.75, 0.5))

local phong = shader_create(VIEW_SPACE_VS, PHONG_FS)
shader_set(phong, "u_light", LIGHT)
local toon = shader_create(VIEW_SPACE_VS, TOON_FS)
shader_set(toon, "u_light", LIGHT)
shader_set(toon, "u_rim", vec3(0.3, 0.5, 0.9))

-- A look: an appearance on one of the shared programs and the uniform values
-- it draws with. The values are made once here, not per frame.
local function look(shader, blend)
  local a = appearance_create()
  appearance_set_shader(a, shader)
  if blend then appearance_set_blending(a, blend) end
  return { appearance = a, shader = shader, glow = 0 }
end

-- Shiny plastic; alpha below 1 with blend = BLEND_ALPHA for glass.
function shaders.phong(r, g, b, a, shininess, blend)
  local l = look(phong, blend)
  l.color = vec4(r, g, b, a or 1)
  l.shininess = shininess or 32
  return l
end

function shaders.toon(r, g, b)
  local l = look(toon)
  l.color = vec4(r, g, b, 1)
  return l
end

-- Draws `mesh` at `transform` with look `l`. A program keeps its uniform
-- values between draws, so only the values that differ from the last look
-- drawn with it are set (each shader_set looks its uniform up by name).
local sent = { [phong] = {}, [toon] = {} }
local function set(shader, name, value)
  local last = sent[shader]
  if last[name] ~= value then
    shader_set(shader, name, value)
    last[name] = value
  end
end

function shaders.draw(mesh, transform, l)
  set(l.shader, "u_color", l.color)
  set(l.shader, "u_glow", l.glow)
  if l.shininess then set(l.shader, "u_shininess", l.shininess) end
  render_mesh(mesh, transform, l.appearance)
end

return shaders
