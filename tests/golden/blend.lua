-- Golden image: three flat slabs drawn back to front with additive, alpha
-- and modulating blending over an opaque backdrop.
local vs = [[
void main() { gl_Position = m3g_modelViewProjectionMatrix * vec4(m3g_position, 1.0); }]]
local fs = [[
precision highp float;
uniform vec4 u_color;
void main() { gl_FragColor = u_color; }]]

local function slab_shader(r, g, b, a)
  local s = shader_create(vs, fs)
  shader_set(s, "u_color", vec4(r, g, b, a))
  return s
end

local b = mesh_builder_create()
mesh_builder_add_cube(b)
mesh_builder_scale(b, vec3(1, 1, 0.01))
local slab = mesh_builder_build_mesh(b)

local backdrop = appearance_create()
appearance_set_shader(backdrop, slab_shader(0.2, 0.3, 0.8, 1))

local layers = {}
for i, def in ipairs({ {BLEND_ALPHA_ADD, 0.9, 0.2, 0.1, 0.7}, {BLEND_ALPHA, 0.1, 0.9, 0.2, 0.5},
                       {BLEND_MODULATE, 1.0, 1.0, 0.2, 1.0} }) do
  local a = appearance_create()
  appearance_set_shader(a, slab_shader(def[2], def[3], def[4], def[5]))
  appearance_set_blending(a, def[1])
  layers[i] = a
end

local camera = camera_create()
camera_set_ortho(camera, -2, 2, -1.5, 1.5, 0.1, 10)

function global_render()
  render_bind_target()
  render_clear()
  render_set_camera(camera, mat4_translation(vec3(0, 0, 5)))
  render_mesh(slab, mat4_translation(vec3(0.8, 0, -1)) * mat4_scale(1.2), backdrop)
  for i, a in ipairs(layers) do
    local x = -1.2 + (i - 1) * 0.8
    render_mesh(slab, mat4_translation(vec3(x, (i - 2) * 0.3, 0)) * mat4_scale(0.7), a)
  end
  render_release_target()
end
