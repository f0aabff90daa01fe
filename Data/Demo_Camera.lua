-- A camera that orbits the origin. Dragging with the left mouse button turns
-- it; left alone it drifts slowly around the scene.
local orbit = { yaw = 0.6, pitch = 0.35, distance = 9, drag = nil, idle = 0 }

orbit.camera = camera_create()
camera_set_perspective(orbit.camera, 55, screen_width / screen_height, 0.3, 100)

function orbit.update(step)
  local x, y, left = mouse_read() -- x, y in 0..1 of the window
  if left then
    if orbit.drag then
      orbit.yaw = orbit.yaw - (x - orbit.drag.x) * 6
      orbit.pitch = math.max(-0.2, math.min(1.3, orbit.pitch + (y - orbit.drag.y) * 3))
    end
    orbit.drag = { x = x, y = y }
    orbit.idle = 0
  else
    orbit.drag = nil
    orbit.idle = orbit.idle + step
    if orbit.idle > 2 then orbit.yaw = orbit.yaw + step * 0.15 end
  end
  return left
end

-- The camera's world transform: turned about Y, tilted down, then moved back.
function orbit.transform()
  return mat4_rot_y(orbit.yaw) * mat4_rot_x(-orbit.pitch) * mat4_translation(vec3(0, 0, orbit.distance))
end

return orbit
