-- Golden image: a lit cube drawn with the standard program into a 64 x 64
-- render target on a blue background, then that picture drawn three times
-- with render_image: full size, smaller and tinted, and turned.
local look = appearance_create()
appearance_set_shader(look, shader_standard())
local b = mesh_builder_create()
mesh_builder_add_cube(b)
mesh_builder_smooth(b)
local cube = mesh_builder_build_mesh(b)

local canvas = texture_create(64, 64, true)
local camera = camera_create()
camera_set_perspective(camera, 50, 1, 0.5, 50)
local screen = camera_create()
camera_set_ortho(screen, 0, screen_width, 0, screen_height, 0.1, 10)
local backdrop = shader_create([[
void main() { gl_Position = m3g_modelViewProjectionMatrix * vec4(m3g_position, 1.0); }]], [[
precision highp float;
void main() { gl_FragColor = vec4(0.15, 0.25, 0.6, 1.0); }]])
local backdrop_look = appearance_create()
appearance_set_shader(backdrop_look, backdrop)
local bb = mesh_builder_create()
mesh_builder_add_cube(bb)
local wall = mesh_builder_build_mesh(bb)
local angle = 0

function global_update(step)
  angle = angle + step
  return true
end

function global_render()
  render_to_texture(canvas)
  render_clear()
  render_set_camera(camera, mat4_translation(vec3(0, 0, 4)))
  render_mesh(wall, mat4_translation(vec3(0, 0, -6)) * mat4_scale(5), backdrop_look)
  render_mesh(cube, mat4_rot_y(angle) * mat4_rot_x(0.6), look)
  render_release_target()

  render_bind_target()
  render_clear()
  render_set_camera(screen, mat4_translation(vec3(0, 0, 5)))
  render_image(canvas, mat4_translation(vec3(2, 28, 0)))
  render_image(canvas, mat4_translation(vec3(70, 4, 0)) * mat4_scale(0.6), 0xFFFFC080)
  render_image(canvas, mat4_translation(vec3(100, 50, 0)) * mat4_rot_z(0.4) * mat4_scale(0.4))
  render_release_target()
end
