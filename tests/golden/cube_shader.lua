-- Golden image: a smoothed cube lit in its own GLSL program (a diffuse term
-- from a light direction uniform), turned a little each fixed step.
local vs = [[
uniform vec3 u_light;
varying float v_diffuse;
void main() {
  vec3 n = normalize((m3g_normalMatrix * vec4(m3g_normal, 0.0)).xyz);
  v_diffuse = max(dot(n, normalize(u_light)), 0.0);
  gl_Position = m3g_modelViewProjectionMatrix * vec4(m3g_position, 1.0);
}]]
local fs = [[
precision highp float;
uniform vec4 u_color;
varying float v_diffuse;
void main() { gl_FragColor = vec4(u_color.rgb * (0.2 + 0.8 * v_diffuse), 1.0); }]]

local shader = shader_create(vs, fs)
shader_set(shader, "u_light", vec3(0.3, 0.8, 1.0))
shader_set(shader, "u_color", vec4(1.0, 0.6, 0.2, 1.0))
local look = appearance_create()
appearance_set_shader(look, shader)

local b = mesh_builder_create()
mesh_builder_add_cube(b)
mesh_builder_smooth(b)
mesh_builder_smooth(b)
local cube = mesh_builder_build_mesh(b)

local camera = camera_create()
camera_set_perspective(camera, 50, screen_width / screen_height, 0.5, 50)
local angle = 0

function global_update(step)
  angle = angle + step
  return true
end

function global_render()
  render_bind_target()
  render_clear()
  render_set_camera(camera, mat4_translation(vec3(0, 0, 4.5)))
  render_mesh(cube, mat4_rot_y(angle) * mat4_rot_x(0.5), look)
  render_release_target()
end
