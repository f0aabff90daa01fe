-- Golden image: a supershape of the superformula, coloured by its normals in
-- its own shader, seen from above at an angle.
local vs = [[
varying vec3 v_normal;
void main() {
  v_normal = normalize((m3g_normalMatrix * vec4(m3g_normal, 0.0)).xyz);
  gl_Position = m3g_modelViewProjectionMatrix * vec4(m3g_position, 1.0);
}]]
local fs = [[
precision highp float;
varying vec3 v_normal;
void main() { gl_FragColor = vec4(normalize(v_normal) * 0.5 + 0.5, 1.0); }]]

local look = appearance_create()
appearance_set_shader(look, shader_create(vs, fs))

local b = mesh_builder_create()
mesh_builder_add_supershape(b, 64, 32, {a = 1, b = 1, m = 6, n1 = 0.7, n2 = 0.3, n3 = 0.3},
                            {a = 1, b = 1, m = 3, n1 = 100, n2 = 100, n3 = 100})
local shape = mesh_builder_build_mesh(b)

local camera = camera_create()
camera_set_perspective(camera, 45, screen_width / screen_height, 0.5, 50)

function global_render()
  render_bind_target()
  render_clear()
  render_set_camera(camera, mat4_translation(vec3(0, 0, 5)))
  render_mesh(shape, mat4_rot_x(-1.0), look)
  render_release_target()
end
