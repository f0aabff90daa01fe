-- Golden image: a fan of coloured lines and two lines of world-space text
-- under an orthographic camera.
local camera = camera_create()
camera_set_ortho(camera, -2, 2, -1.5, 1.5, 0.1, 10)

function global_render()
  render_bind_target()
  render_clear()
  render_set_camera(camera, mat4_translation(vec3(0, 0, 5)))
  for i = 0, 11 do
    local a = i / 12 * math.pi * 2
    local colour = ({0xFFFF4040, 0xFF40FF40, 0xFF4080FF})[i % 3 + 1]
    render_line(vec3(0, -0.5, 0), vec3(math.cos(a), math.sin(a) - 0.5, 0), colour)
  end
  render_text("Pelloran", mat4_translation(vec3(-1.8, 1.0, 0)) * mat4_scale(0.04))
  render_text("lines + text", mat4_translation(vec3(-1.8, 0.55, 0)) * mat4_scale(0.025))
  render_release_target()
end
