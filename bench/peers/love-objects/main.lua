-- LÖVE 11.4 counterpart of bench_scene_frames' case (e): the per-object Lua
-- work of the LÖVE scene's case (a0) in ../shared/bench-peers/love/ (a
-- model-view-projection matrix computed in Lua, set on a Transform and sent
-- to a shader, no draw) for PEER_OBJECTS objects (default 20000) per frame;
-- 30 warm-up and 200 measured frames, vsync off, no sleep. One result line.
-- Run: PEER_SIZE=64x64 xvfb-run -a -s "-screen 0 1024x768x24" love .
function love.errorhandler(msg)
  print("ERROR: " .. tostring(msg) .. "\n" .. debug.traceback())
  os.exit(1)
end

local WARMUP, FRAMES = 30, 200
local OBJECTS = tonumber(os.getenv("PEER_OBJECTS")) or 20000
local W, H = 1024, 768
local lg = love.graphics
local shader, xf

local P, M, C = {}, {}, {}
local function mul(a, b, c)
  for r = 0, 12, 4 do
    local a0, a1, a2, a3 = a[r + 1], a[r + 2], a[r + 3], a[r + 4]
    c[r + 1] = a0 * b[1] + a1 * b[5] + a2 * b[9] + a3 * b[13]
    c[r + 2] = a0 * b[2] + a1 * b[6] + a2 * b[10] + a3 * b[14]
    c[r + 3] = a0 * b[3] + a1 * b[7] + a2 * b[11] + a3 * b[15]
    c[r + 4] = a0 * b[4] + a1 * b[8] + a2 * b[12] + a3 * b[16]
  end
end
do
  local f, n, fa = 1 / math.tan(math.rad(30)), 0.1, 100
  P = { f / (W / H), 0, 0, 0, 0, f, 0, 0, 0, 0, (fa + n) / (n - fa), 2 * fa * n / (n - fa), 0, 0, -1, 0 }
end

local function work(frame)
  lg.setShader(shader)
  local t = frame * (1 / 60)
  for i = 1, OBJECTS do
    local col, row = (i - 1) % 40, math.floor((i - 1) / 40)
    local a, b = t + i * 0.37, t * 0.7 + i * 0.11
    local ca, sa, cb, sb = math.cos(a), math.sin(a), math.cos(b), math.sin(b)
    M[1], M[2], M[3], M[4] = cb, 0, sb, (col - 19.5) * 1.15
    M[5], M[6], M[7], M[8] = sa * sb, ca, -sa * cb, (row - 12) * 1.38
    M[9], M[10], M[11], M[12] = -ca * sb, sa, ca * cb, -30
    M[13], M[14], M[15], M[16] = 0, 0, 0, 1
    mul(P, M, C)
    xf:setMatrix("row", C[1], C[2], C[3], C[4], C[5], C[6], C[7], C[8],
      C[9], C[10], C[11], C[12], C[13], C[14], C[15], C[16])
    shader:send("u_mvp", xf)
  end
  lg.setShader()
end

local function frame(f)
  love.event.pump()
  for name in love.event.poll() do
    if name == "quit" then os.exit(1) end
  end
  lg.origin()
  lg.clear(0.08, 0.08, 0.10, 1)
  work(f)
  lg.present()
end

function love.run()
  return function()
    shader = lg.newShader([[
      uniform mat4 u_mvp;
      vec4 position(mat4 transform_projection, vec4 vertex_position) { return u_mvp * vertex_position; }
    ]])
    xf = love.math.newTransform()
    for f = 1, WARMUP do frame(f) end
    local times = {}
    local t0 = love.timer.getTime()
    for f = 1, FRAMES do
      local s = love.timer.getTime()
      frame(WARMUP + f)
      times[f] = love.timer.getTime() - s
    end
    local total = love.timer.getTime() - t0
    table.sort(times)
    print(string.format("e_objects_%d_no_draw  mean %8.3f ms/frame  median %8.3f", OBJECTS,
      total / FRAMES * 1e3, times[FRAMES / 2] * 1e3))
    return 0
  end
end
