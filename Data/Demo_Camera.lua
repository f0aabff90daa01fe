-- A camera that orbits the origin. Dragging with the left mouse button turns
-- it; left alone it drifts slowly around the scene. It stays above the
-- ground (the pitch, in radians, is kept between 0.05 and 1.3).
local orbit = { yaw = 0.6, pitch = 0.35, distance = 9, dragging = false, drag_x = 0, drag_y = 0, idle = 0 }

orbit.camera = camera_create()
camera_set_perspective(orbit.camera, 55, screen_width / screen_height, 0.3, 100)

-- Returns true while the left button is held.
function orbit.update(step)
  local x, y, left = mouse_read() -- x, y in 0..1 of the window
  if left then
    if orbit.dragging then
      orbit.yaw = orbit.yaw - (x - orbit.drag_x) * 6
      orbit.pitch = math.max(0.05, math.min(1.3, orbit.pitch + (y - orbit.drag_y) * 3))
    end
    orbit.dragging, orbit.drag_x, orbit.drag_y = true, x, y
    orbit.idle = 0
  else
    orbit.dragging = false
    orbit.idle = orbit.idle + step
    if orbit.idle > 2 then orbit.yaw = orbit.yaw + step * 0.15 end
  end
  return left
end

-- The camera's turn: about Y, then tilted down. Text placed with it faces
-- the viewer.
function orbit.rotation()
  return mat4_rot_y(orbit.yaw) * mat4_rot_x(-orbit.pitch)
end

-- The camera's world transform: turned, then moved back along its own Z.
function orbit.transform(rotation)
  return (rotation or orbit.rotation()) * mat4_translation(vec3(0, 0, orbit.distance))
end

return orbit
