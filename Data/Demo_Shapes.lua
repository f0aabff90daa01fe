-- Geometry of the demo, made with the mesh builder: supershapes from a few
-- parameter sets of the superformula, a cube smoothed three times and
-- spheres. Each build returns a mesh handle; the builder is cleared and
-- reused.
local shapes = {}

local b = mesh_builder_create()

local function sf(m, n1, n2, n3) return {a = 1, b = 1, m = m, n1 = n1, n2 = n2, n3 = n3} end

-- Longitude and latitude parameter sets; (m = 0, n = 1) is a plain circle.
-- The detail (longitude, latitude steps) follows the shape: spiky ones need
-- more steps around, smooth ones fewer.
shapes.SUPERSHAPES = {
  { name = "star",   long = sf(5, 0.3, 0.3, 0.3), lat = sf(0, 1, 1, 1),       detail = {48, 16} },
  { name = "flower", long = sf(6, 1, 1, 1),       lat = sf(3, 1, 1, 1),       detail = {36, 18} },
  { name = "pillow", long = sf(4, 0.5, 0.5, 0.5), lat = sf(4, 0.5, 0.5, 0.5), detail = {32, 16} },
  { name = "shell",  long = sf(7, 0.2, 1.7, 1.7), lat = sf(2, 1, 1, 1),       detail = {42, 16} },
}

function shapes.supershape(def)
  mesh_builder_clear(b)
  mesh_builder_add_supershape(b, def.detail[1], def.detail[2], def.long, def.lat)
  return mesh_builder_build_mesh(b)
end

-- A cube, smoothed `levels` times (Catmull-Clark): 6 * 4^levels quads.
function shapes.smooth_cube(levels)
  mesh_builder_clear(b)
  mesh_builder_add_cube(b)
  for _ = 1, levels do mesh_builder_smooth(b) end
  return mesh_builder_build_mesh(b)
end

function shapes.sphere(detail)
  mesh_builder_clear(b)
  mesh_builder_add_supershape(b, detail, detail / 2, sf(0, 1, 1, 1), sf(0, 1, 1, 1))
  return mesh_builder_build_mesh(b)
end

return shapes
