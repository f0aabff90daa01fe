-- Golden image: a PNG loaded with texture_load drawn with render_image at
-- its own size, at half size tinted orange, and turned, half transparent,
-- over a line, under a camera that counts in pixels.
local badge = texture_load("Data/Images/badge.png")
local camera = camera_create()
camera_set_ortho(camera, 0, screen_width, 0, screen_height, 0.1, 10)
local EYE = mat4_translation(vec3(0, 0, 5))

function global_render()
  render_bind_target()
  render_clear()
  render_set_camera(camera, EYE)
  render_line(vec3(0, 60, 0), vec3(128, 80, 0), 0xFF40A0FF)
  render_flush()
  render_image(badge, mat4_translation(vec3(4, 16, 0)))
  render_image(badge, mat4_translation(vec3(72, 8, 0)) * mat4_scale(0.5), 0xFFFF9040)
  render_image(badge, mat4_translation(vec3(96, 52, 0)) * mat4_rot_z(0.5) * mat4_scale(0.5), 0x80FFFFFF)
  render_release_target()
end
