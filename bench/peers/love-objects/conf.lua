function love.conf(t)
  t.identity = "peer-love-objects"
  t.version = "11.4"
  t.window.title = "peer-love-objects"
  local w, h = (os.getenv("PEER_SIZE") or ""):match("^(%d+)x(%d+)$")
  t.window.width = tonumber(w) or 64
  t.window.height = tonumber(h) or 64
  t.window.vsync = 0
  t.window.depth = 24
  t.modules.audio = false
  t.modules.sound = false
  t.modules.joystick = false
  t.modules.physics = false
  t.modules.video = false
end
