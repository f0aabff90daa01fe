-- Pelloran's default demo. The engine runs this file at start-up (and again
-- when R is pressed), then calls global_update(step) at a fixed 1/60 s step
-- and global_render() once per frame. Escape quits, M mutes, dragging with
-- the left mouse button turns the camera.
--
-- The demo is split into modules loaded with loadownmodule:
--   Demo_Shaders  two GLSL programs (lighting computed in the shaders) and
--                 the looks that share them
--   Demo_Shapes   supershapes, a smoothed cube and spheres from the mesh builder
--   Demo_Camera   a camera the mouse orbits
-- Start with -console to see print output.
--
-- Everything that does not change is made here, once: meshes, looks,
-- colours, the grid's end points, label texts. The per-frame functions only
-- compute what moves.

local function module(name)
  local chunk = loadownmodule(name)
  if type(chunk) ~= "function" then error("could not load " .. name .. ": " .. tostring(chunk)) end
  return chunk()
end

local shaders = module("Demo_Shaders")
local shapes = module("Demo_Shapes")
local orbit = module("Demo_Camera")

audio_play_stream("Data/Sounds/music_calm.ogg")

local FLOOR = -1.5
local RING_RADIUS = 3.2

-- The ring of supershapes, each with its own look and a glow that flares
-- when the probe touches it.
local ring = {}
local COLORS = { {0.95, 0.45, 0.2}, {0.3, 0.75, 0.95}, {0.6, 0.9, 0.35}, {0.85, 0.4, 0.9} }
for i, def in ipairs(shapes.SUPERSHAPES) do
  local c = COLORS[i]
  local angle = (i - 1) * math.pi / 2
  local position = vec3(math.cos(angle) * RING_RADIUS, 0, math.sin(angle) * RING_RADIUS)
  ring[i] = {
    name = def.name,
    mesh = shapes.supershape(def),
    look = (i % 2 == 1) and shaders.phong(c[1], c[2], c[3], 1, 24) or shaders.toon(c[1], c[2], c[3]),
    position = position,
    spin = angle,
    touching = false,
  }
end

-- The centre piece: a cube smoothed three times inside a glass shell.
local cube = shapes.smooth_cube(3)
local cube_look = shaders.phong(0.9, 0.8, 0.55, 1, 64)
local shell = shapes.sphere(32)
local shell_look = shaders.phong(0.4, 0.6, 1.0, 0.25, 16, BLEND_ALPHA)

-- The probe: a small glowing sphere that wanders through the ring.
local probe = shapes.sphere(16)
local probe_look = shaders.phong(1, 0.95, 0.7, 1, 8)
local PROBE_RADIUS = 0.25
local probe_position = vec3(0, 0, 0)

-- The ground: a grid of lines one unit apart and the three axes, all made
-- once. Colours are ARGB numbers.
local grid = {}
for k = -5, 5 do
  grid[#grid + 1] = { vec3(-5, FLOOR, k), vec3(5, FLOOR, k) }
  grid[#grid + 1] = { vec3(k, FLOOR, -5), vec3(k, FLOOR, 5) }
end
local GRID_COLOR = 0xFF3A4660
local ORIGIN = vec3(0, FLOOR, 0)
local AXES = {
  { vec3(2, FLOOR, 0), 0xFFFF4040 },
  { vec3(0, FLOOR + 2, 0), 0xFF40FF40 },
  { vec3(0, FLOOR, 2), 0xFF5070FF },
}

-- The probe's trail: its last positions in a ring buffer, drawn as lines
-- that fade from white to dark blue.
local TRAIL_LENGTH = 48
local trail = {}
local trail_head = 0
local TRAIL_COLORS = {}
for i = 1, TRAIL_LENGTH do
  local c = math.floor(80 + 175 * (1 - i / TRAIL_LENGTH))
  TRAIL_COLORS[i] = 0xFF000000 + c * 0x10000 + c * 0x100 + 255
end

-- Labels: world-space text turned to face the camera each frame. The parts
-- that do not move (where a label hangs, its scale, the shift that centres
-- it) are made into matrices once; per frame only the turn is multiplied in.
local GLYPH_WIDTH = 7 -- the ROM font's glyphs are about this wide before scaling

local function make_label(text, position, scale)
  local half = #text * GLYPH_WIDTH * 0.5
  return { text = text, place = mat4_translation(position),
           shape = mat4_scale(scale) * mat4_translation(vec3(-half, 0, 0)) }
end

for _, o in ipairs(ring) do
  -- Above the shape; a "!" marks a touch.
  local above = o.position + vec3(0, 1.35, 0)
  o.label = make_label(o.name, above, 0.02)
  o.touched_label = make_label(o.name .. "!", above, 0.02)
end
local COUNTER_POSITION = vec3(0, 2.4, 0)
local counter = make_label("contacts: 0", COUNTER_POSITION, 0.03)

-- Fixed sizes.
local SHAPE_SIZE = mat4_scale(0.9)
local CUBE_SIZE = mat4_scale(0.7)
local SHELL_SIZE = mat4_scale(1.5)
local PROBE_SIZE = mat4_scale(PROBE_RADIUS)

-- A picture in the picture: the scene seen from above, drawn every frame
-- into a texture with a render target, then shown in the corner of the
-- screen with render_image. Beside it, a badge loaded from a PNG file.
local PIP_SIZE = 256
local pip = texture_create(PIP_SIZE, PIP_SIZE, true)
local pip_camera = camera_create()
camera_set_perspective(pip_camera, 50, 1, 0.5, 60)
local PIP_VIEW = mat4_translation(vec3(0, 13, 0)) * mat4_rot_x(-math.pi / 2)
local badge = texture_load("Data/Images/badge.png")
-- The screen overlay: a camera that counts in pixels from the lower left.
local hud = camera_create()
camera_set_ortho(hud, 0, screen_width, 0, screen_height, 0.1, 10)
local HUD_EYE = mat4_translation(vec3(0, 0, 5))
local PIP_PLACE = mat4_translation(vec3(screen_width - PIP_SIZE - 16, 16, 0))
local BADGE_PLACE = mat4_translation(vec3(16, screen_height - 80, 0))
local PIP_FRAME = {}
do
  local x0, y0 = screen_width - PIP_SIZE - 17, 15
  local x1, y1 = x0 + PIP_SIZE + 2, y0 + PIP_SIZE + 2
  PIP_FRAME = { vec3(x0, y0, 0), vec3(x1, y0, 0), vec3(x1, y1, 0), vec3(x0, y1, 0) }
end

local time = 0
local hits = 0
local was_dragging = false
local lift = mat4_idn() -- the centre piece's bobbing

function global_update(step)
  time = time + step
  local dragging = orbit.update(step)
  if dragging and not was_dragging then audio_play_sound("Data/Sounds/whoosh.ogg") end
  was_dragging = dragging
  lift = mat4_translation(vec3(0, math.sin(time * 0.8) * 0.15, 0))

  -- The probe runs around the ring, weaving in and out of it.
  local a = time * 0.5
  local r = RING_RADIUS + math.sin(time * 1.7) * 0.9
  probe_position = vec3(math.cos(a) * r, math.sin(time * 1.1) * 0.6, math.sin(a) * r)
  trail_head = trail_head % TRAIL_LENGTH + 1
  trail[trail_head] = probe_position

  for _, o in ipairs(ring) do
    o.spin = o.spin + step * 0.4
    o.transform = mat4_translation(o.position) * mat4_rot_y(o.spin) * SHAPE_SIZE
    -- Contact test in the shape's own space: the probe's centre goes through
    -- the inverse of the shape's transform, its radius through the scale.
    local touching = mesh_test_sphere(o.mesh, probe_position, PROBE_RADIUS / 0.9, mat4_inv(o.transform))
    if touching and not o.touching then
      hits = hits + 1
      counter = make_label("contacts: " .. hits, COUNTER_POSITION, 0.03)
      audio_play_sound(hits % 5 == 0 and "Data/Sounds/chime.ogg" or "Data/Sounds/hit.ogg")
    end
    o.touching = touching
    o.look.glow = touching and 0.6 or math.max(0, o.look.glow - step * 1.5)
  end
  return true
end

local function draw_label(l, rotation)
  render_text(l.text, l.place * rotation * l.shape)
end

-- The opaque shapes; drawn into the main view and into the picture in the picture.
local function draw_shapes()
  for _, o in ipairs(ring) do
    if o.transform then shaders.draw(o.mesh, o.transform, o.look) end
  end
  shaders.draw(cube, lift * mat4_rot_xyz(time * 0.3, time * 0.5, 0) * CUBE_SIZE, cube_look)
  shaders.draw(probe, mat4_translation(probe_position) * PROBE_SIZE, probe_look)
end

function global_render()
  local rotation = orbit.rotation()
  render_to_texture(pip)
  render_clear()
  render_set_camera(pip_camera, PIP_VIEW)
  for i = 1, #grid do render_line(grid[i][1], grid[i][2], GRID_COLOR) end
  render_flush()
  draw_shapes()
  render_release_target()

  render_bind_target()
  render_clear()
  render_set_camera(orbit.camera, orbit.transform(rotation))

  -- The ground first. Batched lines and text are drawn without a depth test,
  -- over whatever is already there, so the grid and the axes go out now
  -- (render_flush) and the shapes above the floor then cover them.
  for i = 1, #grid do render_line(grid[i][1], grid[i][2], GRID_COLOR) end
  for i = 1, 3 do render_line(ORIGIN, AXES[i][1], AXES[i][2]) end
  render_flush()

  -- Opaque objects.
  draw_shapes()

  -- The probe's trail, newest segment first; it glows over the shapes.
  local newer = trail[trail_head]
  for i = 1, #trail - 1 do
    local older = trail[(trail_head - i - 1) % TRAIL_LENGTH + 1]
    render_line(newer, older, TRAIL_COLORS[i])
    newer = older
  end

  -- Labels above the shapes and the contact count above the centre.
  for _, o in ipairs(ring) do
    draw_label(o.touching and o.touched_label or o.label, rotation)
  end
  draw_label(counter, rotation)

  -- Blended objects last, over what is already drawn.
  shaders.draw(shell, lift * SHELL_SIZE, shell_look)

  -- The overlay in screen pixels: the view from above in a frame, the badge.
  render_set_camera(hud, HUD_EYE)
  for i = 1, 4 do render_line(PIP_FRAME[i], PIP_FRAME[i % 4 + 1], 0xFFB0C0E0) end
  render_image(pip, PIP_PLACE)
  render_image(badge, BADGE_PLACE)
  render_release_target()
end
