-- Pelloran's default demo. The engine runs this file at start-up (and again
-- when R is pressed), then calls global_update(step) at a fixed 1/60 s step
-- and global_render() once per frame. Escape quits, M mutes.
--
-- The demo is split into modules loaded with loadownmodule:
--   Demo_Shaders  GLSL programs (lighting computed in the shaders) and appearances
--   Demo_Shapes   supershapes, a smoothed cube, slabs and spheres from the mesh builder
--   Demo_Camera   a camera the mouse orbits
-- Start with -console to see print output.

local function module(name)
  local chunk = loadownmodule(name)
  if type(chunk) ~= "function" then error("could not load " .. name .. ": " .. tostring(chunk)) end
  return chunk()
end

local shaders = module("Demo_Shaders")
local shapes = module("Demo_Shapes")
local orbit = module("Demo_Camera")

audio_play_stream("Data/Sounds/music_calm.ogg")

-- The ring of supershapes, each with its own program and a glow that flares
-- when the probe touches it.
local ring = {}
local COLORS = { {0.95, 0.45, 0.2}, {0.3, 0.75, 0.95}, {0.6, 0.9, 0.35}, {0.85, 0.4, 0.9} }
for i, def in ipairs(shapes.SUPERSHAPES) do
  local c = COLORS[i]
  local shader = (i % 2 == 1) and shaders.phong(c[1], c[2], c[3], 1, 24) or shaders.toon(c[1], c[2], c[3])
  local angle = (i - 1) * math.pi / 2
  ring[i] = {
    name = def.name,
    mesh = shapes.supershape(def),
    shader = shader,
    look = shaders.look(shader),
    position = vec3(math.cos(angle) * 3.2, 0, math.sin(angle) * 3.2),
    spin = angle,
    glow = 0,
    touching = false,
  }
end

-- The centre piece: a cube smoothed three times inside a translucent shell.
local cube = shapes.smooth_cube(3)
local cube_look = shaders.look(shaders.phong(0.9, 0.8, 0.55, 1, 64))
local shell = shapes.sphere(32)
local shell_look = shaders.look(shaders.phong(0.4, 0.6, 1.0, 0.25, 16), BLEND_ALPHA)

-- The ground: a dark slab with a grid of thin bars and the three axes.
local ground = shapes.slab(5, 0.02, 5)
local ground_look = shaders.look(shaders.flat(0.08, 0.09, 0.12))
local bar_x = shapes.slab(5, 0.01, 0.012)
local bar_z = shapes.slab(0.012, 0.01, 5)
local grid_look = shaders.look(shaders.flat(0.35, 0.4, 0.5, 0.5), BLEND_ALPHA)
local axis = shapes.slab(1, 0.025, 0.025)
local axis_looks = { shaders.look(shaders.flat(1, 0.2, 0.2)), shaders.look(shaders.flat(0.2, 1, 0.2)),
                     shaders.look(shaders.flat(0.3, 0.4, 1)) }
local FLOOR = -1.5

-- The probe: a small glowing sphere that wanders through the ring.
local probe = shapes.sphere(16)
local probe_shader = shaders.phong(1, 0.95, 0.7, 1, 8)
local probe_look = shaders.look(probe_shader)
local PROBE_RADIUS = 0.25
local probe_position = vec3(0, 0, 0)

-- The probe's trail: its last positions, drawn as lines that fade out.
local trail = {}
local TRAIL_LENGTH = 48

local time = 0
local hits = 0
local was_dragging = false

local function object_transform(o)
  return mat4_translation(o.position) * mat4_rot_y(o.spin) * mat4_scale(0.9)
end

function global_update(step)
  time = time + step
  local dragging = orbit.update(step)
  if dragging and not was_dragging then audio_play_sound("Data/Sounds/whoosh.ogg") end
  was_dragging = dragging

  -- The probe runs around the ring, weaving in and out of it.
  local a = time * 0.5
  local r = 3.2 + math.sin(time * 1.7) * 0.9
  probe_position = vec3(math.cos(a) * r, math.sin(time * 1.1) * 0.6, math.sin(a) * r)

  table.insert(trail, 1, probe_position)
  if #trail > TRAIL_LENGTH then trail[#trail] = nil end

  for _, o in ipairs(ring) do
    o.spin = o.spin + step * 0.4
    -- Contact test in the shape's own space: the probe's centre goes through
    -- the inverse of the shape's transform, its radius through the scale.
    local touching = mesh_test_sphere(o.mesh, probe_position, PROBE_RADIUS / 0.9, mat4_inv(object_transform(o)))
    if touching and not o.touching then
      hits = hits + 1
      audio_play_sound(hits % 5 == 0 and "Data/Sounds/chime.ogg" or "Data/Sounds/hit.ogg")
    end
    o.touching = touching
    o.glow = touching and 0.6 or math.max(0, o.glow - step * 1.5)
  end
  return true
end

function global_render()
  render_bind_target()
  render_clear()
  render_set_camera(orbit.camera, orbit.transform())

  render_mesh(ground, mat4_translation(vec3(0, FLOOR - 0.03, 0)), ground_look)
  for k = -5, 5 do
    render_mesh(bar_x, mat4_translation(vec3(0, FLOOR, k)), grid_look)
    render_mesh(bar_z, mat4_translation(vec3(k, FLOOR, 0)), grid_look)
  end
  render_mesh(axis, mat4_translation(vec3(1, FLOOR + 0.03, 0)), axis_looks[1])
  render_mesh(axis, mat4_translation(vec3(0, FLOOR + 1, 0)) * mat4_rot_z(math.pi / 2), axis_looks[2])
  render_mesh(axis, mat4_translation(vec3(0, FLOOR + 0.03, 1)) * mat4_rot_y(-math.pi / 2), axis_looks[3])

  for _, o in ipairs(ring) do
    shader_set(o.shader, "u_glow", o.glow)
    render_mesh(o.mesh, object_transform(o), o.look)
  end

  local bob = math.sin(time * 0.8) * 0.15
  render_mesh(cube, mat4_translation(vec3(0, bob, 0)) * mat4_rot_xyz(time * 0.3, time * 0.5, 0) * mat4_scale(0.7),
              cube_look)
  render_mesh(probe, mat4_translation(probe_position) * mat4_scale(PROBE_RADIUS), probe_look)

  -- Lines: the probe's trail, fading from white to dark blue (ARGB colours).
  for i = 2, #trail do
    local fade = 1 - i / TRAIL_LENGTH
    local c = math.floor(80 + 175 * fade)
    render_line(trail[i - 1], trail[i], 0xFF000000 + c * 0x10000 + c * 0x100 + 255)
  end

  -- World-space text: each shape's name above it, and how many contacts so far.
  for _, o in ipairs(ring) do
    local label = o.touching and (o.name .. "!") or o.name
    render_text(label, mat4_translation(o.position + vec3(-0.4, 1.3, 0)) * mat4_scale(0.02))
  end
  render_text("contacts: " .. hits, mat4_translation(vec3(-1.2, 2.6, 0)) * mat4_scale(0.03))

  -- Blended objects last, over what is already drawn.
  render_mesh(shell, mat4_translation(vec3(0, bob, 0)) * mat4_scale(1.5), shell_look)
  render_release_target()
end
