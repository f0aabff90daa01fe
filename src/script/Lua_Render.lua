-- The frame commands a script calls per object, per line and per text:
-- render_set_camera, render_set_shader, render_mesh, render_line and
-- render_text. Each checks its arguments as the classic bindings do, then
-- calls its entry point in Lua_Render.cpp through the FFI; an engine failure
-- comes back as a status and is raised here as the same script error.
-- Run once per Lua state with the kit of Lua_Ffi.lua; defines the globals.
local kit = ...
local C, is3, ism = kit.C, kit.is3, kit.ism
local select, type, getmetatable = select, type, getmetatable
local count_error, type_error, number_slow, string_slow, fail = kit.count_error, kit.type_error, kit.number_slow,
                                                                kit.string_slow, kit.fail
local CAMERA, MESH, APPEARANCE, SHADER = kit.handle_metatable(5), kit.handle_metatable(6), kit.handle_metatable(4),
                                         kit.handle_metatable(8)
local S = kit.scratch

-- The matrix into the scratch floats: the value itself never has to exist
-- in memory, so one made just for this call costs no allocation.
local function scratch_matrix(m)
  S[0], S[1], S[2], S[3] = m._m0, m._m1, m._m2, m._m3
  S[4], S[5], S[6], S[7] = m._m4, m._m5, m._m6, m._m7
  S[8], S[9], S[10], S[11] = m._m8, m._m9, m._m10, m._m11
  S[12], S[13], S[14], S[15] = m._m12, m._m13, m._m14, m._m15
  return S
end

function render_set_camera(...)
  if select("#", ...) ~= 2 then count_error(2, 2) end
  local camera, m = ...
  if type(camera) ~= "userdata" or getmetatable(camera) ~= CAMERA then type_error(camera) end
  if not ism(m) then type_error(m) end
  local rc = C.pelloran_render_set_camera(camera, scratch_matrix(m))
  if rc ~= 0 then fail(rc) end
end

function render_set_shader(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local shader = ...
  if shader ~= nil and (type(shader) ~= "userdata" or getmetatable(shader) ~= SHADER) then type_error(shader) end
  local rc = C.pelloran_render_set_shader(shader)
  if rc ~= 0 then fail(rc) end
end

function render_mesh(...)
  if select("#", ...) ~= 3 then count_error(3, 3) end
  local mesh, m, appearance = ...
  if type(mesh) ~= "userdata" or getmetatable(mesh) ~= MESH then type_error(mesh) end
  if not ism(m) then type_error(m) end
  if type(appearance) ~= "userdata" or getmetatable(appearance) ~= APPEARANCE then type_error(appearance) end
  local rc = C.pelloran_render_mesh(mesh, appearance, scratch_matrix(m))
  if rc ~= 0 then fail(rc) end
end

function render_line(...)
  if select("#", ...) ~= 3 then count_error(3, 3) end
  local from, to, argb = ...
  if not is3(from) then type_error(from) end
  if not is3(to) then type_error(to) end
  if type(argb) ~= "number" then argb = number_slow(argb, 3) end
  local rc = C.pelloran_render_line(from._x, from._y, from._z, to._x, to._y, to._z, argb)
  if rc ~= 0 then fail(rc) end
end

function render_text(...)
  if select("#", ...) ~= 2 then count_error(2, 2) end
  local text, m = ...
  if type(text) ~= "string" then text = string_slow(text, 1) end
  if not ism(m) then type_error(m) end
  local rc = C.pelloran_render_text(text, #text, scratch_matrix(m))
  if rc ~= 0 then fail(rc) end
end

