-- Script math: vec3*, vec4* and mat4* over FFI value types (Lua_Ffi.h), with
-- operators and method lookup through their metatypes. The arithmetic reads
-- the float fields and rounds after every operation (f32), in the order the
-- engine's slm code computes, so results are the same floats slm gives; the
-- compiler keeps short-lived values out of the heap altogether. Operations
-- that scripts call seldom (inverse, determinant, projections, look-at) call
-- slm itself through the entry points of Lua_Math.cpp.
--
-- Each function checks its argument count and types exactly as the classic
-- bindings do (Lua_Util), with the same messages. Run once per Lua state with
-- the kit of Lua_Ffi.lua; defines the globals.
local kit = ...
local ffi, C = kit.ffi, kit.C
local V3, V4, M4, f = kit.V3, kit.V4, kit.M4, kit.f32
local is3, is4, ism = kit.is3, kit.is4, kit.ism
local select, type, format, error = select, type, string.format, error
local count_error, type_error, number_slow, assert_at = kit.count_error, kit.type_error, kit.number_slow,
                                                        kit.assert_at
local sqrt, cos, sin, floor, tostring = math.sqrt, math.cos, math.sin, math.floor, tostring

-- ---- vec3 ----

local function vec3(...)
  local n = select("#", ...)
  local x, y, z = ...
  if n ~= 3 then
    if n > 3 then count_error(0, 3) end
    if n < 3 then z = 0 end
    if n < 2 then y = 0 end
    if n < 1 then x = 0 end
  end
  if type(x) ~= "number" then x = number_slow(x, 1) end
  if type(y) ~= "number" then y = number_slow(y, 2) end
  if type(z) ~= "number" then z = number_slow(z, 3) end
  return V3(x, y, z)
end

local function vec3_x(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local a = ...
  if not is3(a) then type_error(a) end
  return a._x
end

local function vec3_y(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local a = ...
  if not is3(a) then type_error(a) end
  return a._y
end

local function vec3_z(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local a = ...
  if not is3(a) then type_error(a) end
  return a._z
end

local function vec3_add(...)
  if select("#", ...) ~= 2 then count_error(2, 2) end
  local a, b = ...
  if not is3(a) then type_error(a) end
  if not is3(b) then type_error(b) end
  return V3(a._x + b._x, a._y + b._y, a._z + b._z)
end

local function vec3_sub(...)
  if select("#", ...) ~= 2 then count_error(2, 2) end
  local a, b = ...
  if not is3(a) then type_error(a) end
  if not is3(b) then type_error(b) end
  return V3(a._x - b._x, a._y - b._y, a._z - b._z)
end

local function vec3_neg(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local a = ...
  if not is3(a) then type_error(a) end
  return V3(-a._x, -a._y, -a._z)
end

-- (vector, factor) or (factor, vector): `a * 2` and `2 * a`.
local function vec3_scale(...)
  if select("#", ...) ~= 2 then count_error(2, 2) end
  local a, s = ...
  if type(a) == "number" then
    a, s = s, a
    if not is3(a) then type_error(a) end
    if type(s) ~= "number" then s = number_slow(s, 1) end
  else
    if not is3(a) then type_error(a) end
    if type(s) ~= "number" then s = number_slow(s, 2) end
  end
  s = f(s)
  return V3(a._x * s, a._y * s, a._z * s)
end

local function dot3(a, b)
  return f(f(f(a._x * b._x) + f(a._y * b._y)) + f(a._z * b._z))
end

local function vec3_dot(...)
  if select("#", ...) ~= 2 then count_error(2, 2) end
  local a, b = ...
  if not is3(a) then type_error(a) end
  if not is3(b) then type_error(b) end
  return dot3(a, b)
end

local function cross3(a, b)
  return V3(f(a._y * b._z) - f(a._z * b._y), f(a._z * b._x) - f(a._x * b._z), f(a._x * b._y) - f(a._y * b._x))
end

local function vec3_cross(...)
  if select("#", ...) ~= 2 then count_error(2, 2) end
  local a, b = ...
  if not is3(a) then type_error(a) end
  if not is3(b) then type_error(b) end
  return cross3(a, b)
end

local function vec3_len(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local a = ...
  if not is3(a) then type_error(a) end
  return f(sqrt(dot3(a, a)))
end

local function vec3_norm(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local a = ...
  if not is3(a) then type_error(a) end
  return dot3(a, a)
end

local function unit3(a)
  local s = f(1 / f(sqrt(dot3(a, a))))
  return V3(a._x * s, a._y * s, a._z * s)
end

local function vec3_unit(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local a = ...
  if not is3(a) then type_error(a) end
  return unit3(a)
end

local function vec3_lerp(...)
  if select("#", ...) ~= 3 then count_error(3, 3) end
  local a, b, t = ...
  if not is3(a) then type_error(a) end
  if not is3(b) then type_error(b) end
  if type(t) ~= "number" then t = number_slow(t, 3) end
  t = f(t)
  return V3(a._x + f(f(b._x - a._x) * t), a._y + f(f(b._y - a._y) * t), a._z + f(f(b._z - a._z) * t))
end

local function vec3_distance(...)
  if select("#", ...) ~= 2 then count_error(2, 2) end
  local a, b = ...
  if not is3(a) then type_error(a) end
  if not is3(b) then type_error(b) end
  local x, y, z = f(a._x - b._x), f(a._y - b._y), f(a._z - b._z)
  return f(sqrt(f(f(f(x * x) + f(y * y)) + f(z * z))))
end

-- ---- vec4 ----

local function vec4(...)
  local n = select("#", ...)
  local x, y, z, w = ...
  if n ~= 4 then
    if n > 4 then count_error(0, 4) end
    if n < 4 then w = 0 end
    if n < 3 then z = 0 end
    if n < 2 then y = 0 end
    if n < 1 then x = 0 end
  end
  if type(x) ~= "number" then x = number_slow(x, 1) end
  if type(y) ~= "number" then y = number_slow(y, 2) end
  if type(z) ~= "number" then z = number_slow(z, 3) end
  if type(w) ~= "number" then w = number_slow(w, 4) end
  return V4(x, y, z, w)
end

local function vec4_from_vec3(...)
  if select("#", ...) ~= 2 then count_error(2, 2) end
  local a, w = ...
  if not is3(a) then type_error(a) end
  if type(w) ~= "number" then w = number_slow(w, 2) end
  return V4(a._x, a._y, a._z, w)
end

local function vec4_x(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local a = ...
  if not is4(a) then type_error(a) end
  return a._x
end

local function vec4_y(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local a = ...
  if not is4(a) then type_error(a) end
  return a._y
end

local function vec4_z(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local a = ...
  if not is4(a) then type_error(a) end
  return a._z
end

local function vec4_w(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local a = ...
  if not is4(a) then type_error(a) end
  return a._w
end

local function vec4_xyz(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local a = ...
  if not is4(a) then type_error(a) end
  return V3(a._x, a._y, a._z)
end

local function vec4_add(...)
  if select("#", ...) ~= 2 then count_error(2, 2) end
  local a, b = ...
  if not is4(a) then type_error(a) end
  if not is4(b) then type_error(b) end
  return V4(a._x + b._x, a._y + b._y, a._z + b._z, a._w + b._w)
end

local function vec4_sub(...)
  if select("#", ...) ~= 2 then count_error(2, 2) end
  local a, b = ...
  if not is4(a) then type_error(a) end
  if not is4(b) then type_error(b) end
  return V4(a._x - b._x, a._y - b._y, a._z - b._z, a._w - b._w)
end

local function vec4_neg(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local a = ...
  if not is4(a) then type_error(a) end
  return V4(-a._x, -a._y, -a._z, -a._w)
end

local function vec4_scale(...)
  if select("#", ...) ~= 2 then count_error(2, 2) end
  local a, s = ...
  if type(a) == "number" then
    a, s = s, a
    if not is4(a) then type_error(a) end
    if type(s) ~= "number" then s = number_slow(s, 1) end
  else
    if not is4(a) then type_error(a) end
    if type(s) ~= "number" then s = number_slow(s, 2) end
  end
  s = f(s)
  return V4(a._x * s, a._y * s, a._z * s, a._w * s)
end

local function dot4(a, b)
  return f(f(f(f(a._x * b._x) + f(a._y * b._y)) + f(a._z * b._z)) + f(a._w * b._w))
end

local function vec4_dot(...)
  if select("#", ...) ~= 2 then count_error(2, 2) end
  local a, b = ...
  if not is4(a) then type_error(a) end
  if not is4(b) then type_error(b) end
  return dot4(a, b)
end

local function vec4_len(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local a = ...
  if not is4(a) then type_error(a) end
  return f(sqrt(dot4(a, a)))
end

local function vec4_norm(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local a = ...
  if not is4(a) then type_error(a) end
  return dot4(a, a)
end

local function vec4_unit(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local a = ...
  if not is4(a) then type_error(a) end
  local s = f(1 / f(sqrt(dot4(a, a))))
  return V4(a._x * s, a._y * s, a._z * s, a._w * s)
end

local function vec4_lerp(...)
  if select("#", ...) ~= 3 then count_error(3, 3) end
  local a, b, t = ...
  if not is4(a) then type_error(a) end
  if not is4(b) then type_error(b) end
  if type(t) ~= "number" then t = number_slow(t, 3) end
  t = f(t)
  return V4(a._x + f(f(b._x - a._x) * t), a._y + f(f(b._y - a._y) * t), a._z + f(f(b._z - a._z) * t),
            a._w + f(f(b._w - a._w) * t))
end

local function vec4_distance(...)
  if select("#", ...) ~= 2 then count_error(2, 2) end
  local a, b = ...
  if not is4(a) then type_error(a) end
  if not is4(b) then type_error(b) end
  local x, y, z, w = f(a._x - b._x), f(a._y - b._y), f(a._z - b._z), f(a._w - b._w)
  return f(sqrt(f(f(f(f(x * x) + f(y * y)) + f(z * z)) + f(w * w))))
end

-- ---- mat4 ----

-- The product a·b, unrolled: element (row, c) = a's row `row` times b's
-- column c, summed left to right in doubles and rounded once, as
-- slm::multiply does. (Rounding after every step would keep so many values
-- alive across a compiled loop that LuaJIT gives up compiling it.) Generated
-- once.
local multiply
do
  local body = {"local f, M4 = ...\nreturn function(a, b)\nreturn M4("}
  for c = 0, 3 do
    for row = 0, 3 do
      local p = {}
      for k = 0, 3 do p[k + 1] = format("a._m%d * b._m%d", 4 * k + row, 4 * c + k) end
      body[#body + 1] = format("%s%s + %s + %s + %s", (c + row > 0) and ",\n" or "", p[1], p[2], p[3], p[4])
    end
  end
  body[#body + 1] = ")\nend\n"
  multiply = assert(loadstring(table.concat(body), "=Lua_Math multiply"))(f, M4)
end

local function column(m, c)
  if c == 0 then return V4(m._m0, m._m1, m._m2, m._m3) end
  if c == 1 then return V4(m._m4, m._m5, m._m6, m._m7) end
  if c == 2 then return V4(m._m8, m._m9, m._m10, m._m11) end
  return V4(m._m12, m._m13, m._m14, m._m15)
end

local function rotation_x(a)
  a = f(a)
  local c, s = f(cos(a)), f(sin(a))
  return M4(1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1)
end

local function rotation_y(a)
  a = f(a)
  local c, s = f(cos(a)), f(sin(a))
  return M4(c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1)
end

local function rotation_z(a)
  a = f(a)
  local c, s = f(cos(a)), f(sin(a))
  return M4(c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1)
end

local function mat4_idn(...)
  if select("#", ...) ~= 0 then count_error(0, 0) end
  return M4(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1)
end

local function mat4_build(...)
  if select("#", ...) ~= 4 then count_error(4, 4) end
  local a, b, c, d = ...
  if not is4(a) then type_error(a) end
  if not is4(b) then type_error(b) end
  if not is4(c) then type_error(c) end
  if not is4(d) then type_error(d) end
  return M4(a._x, a._y, a._z, a._w, b._x, b._y, b._z, b._w, c._x, c._y, c._z, c._w, d._x, d._y, d._z, d._w)
end

local function mat4_axis_angle(...)
  if select("#", ...) ~= 2 then count_error(2, 2) end
  local axis, angle = ...
  if not is3(axis) then type_error(axis) end
  if type(angle) ~= "number" then angle = number_slow(angle, 2) end
  local r = M4()
  C.pelloran_mat4_axis_angle(r, axis, angle)
  return r
end

local function mat4_get_col(...)
  if select("#", ...) ~= 2 then count_error(2, 2) end
  local m, col = ...
  if not ism(m) then type_error(m) end
  if type(col) ~= "number" then col = number_slow(col, 2) end
  -- luaL_checkinteger truncates: columns 1 ... 4 are the numbers in [1, 5).
  if not (col >= 1 and col < 5) then assert_at(3, "col >= 1 && col <= 4", "col >= 1 && col <= 4", "Lua_Math", 511) end
  return column(m, floor(col) - 1)
end

local function mat4_get_x_axis(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local m = ...
  if not ism(m) then type_error(m) end
  return V3(m._m0, m._m1, m._m2)
end

local function mat4_get_y_axis(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local m = ...
  if not ism(m) then type_error(m) end
  return V3(m._m4, m._m5, m._m6)
end

local function mat4_get_z_axis(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local m = ...
  if not ism(m) then type_error(m) end
  return V3(m._m8, m._m9, m._m10)
end

local function mat4_get_trn(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local m = ...
  if not ism(m) then type_error(m) end
  return V3(m._m12, m._m13, m._m14)
end

local function mat4_mul(...)
  if select("#", ...) ~= 2 then count_error(2, 2) end
  local a, b = ...
  if not ism(a) then type_error(a) end
  if not ism(b) then type_error(b) end
  return multiply(a, b)
end

local function mat4_inv(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local m = ...
  if not ism(m) then type_error(m) end
  local r = M4()
  C.pelloran_mat4_inverse(r, m)
  return r
end

local function mat4_transpose(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local m = ...
  if not ism(m) then type_error(m) end
  return M4(m._m0, m._m4, m._m8, m._m12, m._m1, m._m5, m._m9, m._m13, m._m2, m._m6, m._m10, m._m14, m._m3, m._m7,
            m._m11, m._m15)
end

local function mat4_det(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local m = ...
  if not ism(m) then type_error(m) end
  return C.pelloran_mat4_determinant(m)
end

-- The four projections differ only in kind (perspective or orthographic) and
-- handedness; each checks its four numbers as a C function would.
local function projection(perspective, h)
  return function(...)
    if select("#", ...) ~= 4 then count_error(4, 4) end
    local a, b, n, z = ...
    if type(a) ~= "number" then a = number_slow(a, 1) end
    if type(b) ~= "number" then b = number_slow(b, 2) end
    if type(n) ~= "number" then n = number_slow(n, 3) end
    if type(z) ~= "number" then z = number_slow(z, 4) end
    local r = M4()
    C.pelloran_mat4_projection(r, perspective, a, b, n, z, h)
    return r
  end
end

local mat4_proj_fov_lh = projection(1, -1)
local mat4_proj_fov = projection(1, 1)
local mat4_proj_ortho_lh = projection(0, -1)
local mat4_proj_ortho = projection(0, 1)

local function mat4_translation(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local v = ...
  if not is3(v) then type_error(v) end
  return M4(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, v._x, v._y, v._z, 1)
end

local function mat4_rot_x(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local a = ...
  if type(a) ~= "number" then a = number_slow(a, 1) end
  return rotation_x(a)
end

local function mat4_rot_y(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local a = ...
  if type(a) ~= "number" then a = number_slow(a, 1) end
  return rotation_y(a)
end

local function mat4_rot_z(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local a = ...
  if type(a) ~= "number" then a = number_slow(a, 1) end
  return rotation_z(a)
end

-- X is applied first.
local function mat4_rot_xyz(...)
  if select("#", ...) ~= 3 then count_error(3, 3) end
  local ax, ay, az = ...
  if type(ax) ~= "number" then ax = number_slow(ax, 1) end
  if type(ay) ~= "number" then ay = number_slow(ay, 2) end
  if type(az) ~= "number" then az = number_slow(az, 3) end
  return multiply(multiply(rotation_z(az), rotation_y(ay)), rotation_x(ax))
end

local function mat4_scale(...)
  if select("#", ...) ~= 1 then count_error(1, 1) end
  local s = ...
  if type(s) ~= "number" then s = number_slow(s, 1) end
  return M4(s, 0, 0, 0, 0, s, 0, 0, 0, 0, s, 0, 0, 0, 0, 1)
end

local function look(object, eye, target, up)
  local r = M4()
  C.pelloran_mat4_look_at(r, eye, target, up, object)
  return r
end

local function mat4_look_at(...)
  if select("#", ...) ~= 3 then count_error(3, 3) end
  local eye, target, up = ...
  if not is3(eye) then type_error(eye) end
  if not is3(target) then type_error(target) end
  if not is3(up) then type_error(up) end
  return look(0, eye, target, up)
end

local function mat4_target_at(...)
  if select("#", ...) ~= 3 then count_error(3, 3) end
  local eye, target, up = ...
  if not is3(eye) then type_error(eye) end
  if not is3(target) then type_error(target) end
  if not is3(up) then type_error(up) end
  return look(1, eye, target, up)
end

-- ---- metatypes ----

local mt3, mt4, mtm = kit.mt3, kit.mt4, kit.mtm

-- __index: a number key reads a component (a matrix: a column); a string key
-- answers the global function of that name, so v:len() works.
local function methods(names, prefix, functions)
  local t = {}
  for name in names:gmatch("%S+") do t[name] = assert(functions[prefix .. name]) end
  return t
end

local string_slow = kit.string_slow

local function install(functions)
  local M3 = methods("x y z unit len dot cross lerp distance norm", "vec3_", functions)
  local M4m = methods("x y z w xyz unit len dot lerp distance norm", "vec4_", functions)
  local MM = methods("inv", "mat4_", functions)

  mt3.__index = function(v, k)
    if type(k) == "number" then
      if not (k >= 1 and k < 4) then assert_at(3, "idx >= 1 && idx <= 3", "idx >= 1 && idx <= 3", "Lua_Math", 184) end
      if k < 2 then return v._x end
      if k < 3 then return v._y end
      return v._z
    end
    local fn = M3[k]
    if fn == nil then
      if type(k) ~= "string" then k = string_slow(k, 2) end
      error(format("Vec3 function '%s' not found!", k), 2)
    end
    return fn
  end
  mt4.__index = function(v, k)
    if type(k) == "number" then
      if not (k >= 1 and k < 5) then assert_at(3, "idx >= 1 && idx <= 4", "idx >= 1 && idx <= 4", "Lua_Math", 422) end
      if k < 2 then return v._x end
      if k < 3 then return v._y end
      if k < 4 then return v._z end
      return v._w
    end
    local fn = M4m[k]
    if fn == nil then
      if type(k) ~= "string" then k = string_slow(k, 2) end
      error(format("Vec4 function '%s' not found!", k), 2)
    end
    return fn
  end
  mtm.__index = function(m, k)
    if type(k) == "number" then
      if not (k >= 1 and k < 5) then assert_at(3, "idx >= 1 && idx <= 4", "idx >= 1 && idx <= 4", "Lua_Math", 759) end
      return column(m, floor(k) - 1)
    end
    local fn = MM[k]
    if fn == nil then
      if type(k) ~= "string" then k = string_slow(k, 2) end
      error(format("Mat4 function '%s' not found!", k), 2)
    end
    return fn
  end

  mt3.__add, mt3.__sub, mt3.__mul = vec3_add, vec3_sub, vec3_scale
  mt4.__add, mt4.__sub, mt4.__mul = vec4_add, vec4_sub, vec4_scale
  mtm.__mul = mat4_mul
  -- LuaJIT passes the operand of unary minus twice; negation takes the first.
  mt3.__unm = function(a) return V3(-a._x, -a._y, -a._z) end
  mt4.__unm = function(a) return V4(-a._x, -a._y, -a._z, -a._w) end

  local s = tostring
  mt3.__tostring = function(v) return "[" .. s(v._x) .. ", " .. s(v._y) .. ", " .. s(v._z) .. "]" end
  mt4.__tostring = function(v)
    return "[" .. s(v._x) .. ", " .. s(v._y) .. ", " .. s(v._z) .. ", " .. s(v._w) .. "]"
  end
  mtm.__tostring = function(m)
    local c = {}
    for i = 0, 3 do c[i + 1] = mt4.__tostring(column(m, i)) end
    return "[" .. table.concat(c, ", ") .. "]"
  end
end

-- In registration order (mat4_from_quat, which takes a quaternion userdata,
-- stays a C function of Lua_Math.cpp and is registered there in its place).
local ORDER = {
  {"vec3", vec3}, {"vec3_x", vec3_x}, {"vec3_y", vec3_y}, {"vec3_z", vec3_z}, {"vec3_add", vec3_add},
  {"vec3_sub", vec3_sub}, {"vec3_neg", vec3_neg}, {"vec3_scale", vec3_scale}, {"vec3_dot", vec3_dot},
  {"vec3_cross", vec3_cross}, {"vec3_len", vec3_len}, {"vec3_norm", vec3_norm}, {"vec3_unit", vec3_unit},
  {"vec3_lerp", vec3_lerp}, {"vec3_distance", vec3_distance},
  {"vec4", vec4}, {"vec4_from_vec3", vec4_from_vec3}, {"vec4_x", vec4_x}, {"vec4_y", vec4_y},
  {"vec4_z", vec4_z}, {"vec4_w", vec4_w}, {"vec4_xyz", vec4_xyz}, {"vec4_add", vec4_add},
  {"vec4_sub", vec4_sub}, {"vec4_neg", vec4_neg}, {"vec4_scale", vec4_scale}, {"vec4_dot", vec4_dot},
  {"vec4_len", vec4_len}, {"vec4_norm", vec4_norm}, {"vec4_unit", vec4_unit}, {"vec4_lerp", vec4_lerp},
  {"vec4_distance", vec4_distance},
  {"mat4_idn", mat4_idn}, {"mat4_build", mat4_build}, {"mat4_from_quat", false},
  {"mat4_axis_angle", mat4_axis_angle}, {"mat4_get_col", mat4_get_col}, {"mat4_get_x_axis", mat4_get_x_axis},
  {"mat4_get_y_axis", mat4_get_y_axis}, {"mat4_get_z_axis", mat4_get_z_axis}, {"mat4_get_trn", mat4_get_trn},
  {"mat4_mul", mat4_mul}, {"mat4_inv", mat4_inv}, {"mat4_transpose", mat4_transpose}, {"mat4_det", mat4_det},
  {"mat4_proj_fov_lh", mat4_proj_fov_lh}, {"mat4_proj_fov", mat4_proj_fov},
  {"mat4_proj_ortho_lh", mat4_proj_ortho_lh}, {"mat4_proj_ortho", mat4_proj_ortho},
  {"mat4_translation", mat4_translation}, {"mat4_rot_x", mat4_rot_x}, {"mat4_rot_y", mat4_rot_y},
  {"mat4_rot_z", mat4_rot_z}, {"mat4_rot_xyz", mat4_rot_xyz}, {"mat4_scale", mat4_scale},
  {"mat4_look_at", mat4_look_at}, {"mat4_target_at", mat4_target_at},
}

-- Answers a function that sets the globals; the caller passes it the C
-- function for mat4_from_quat.
return function(from_quat)
  local functions = {}
  for _, e in ipairs(ORDER) do
    local fn = e[2] or from_quat
    functions[e[1]] = fn
    _G[e[1]] = fn
  end
  install(functions)
end
