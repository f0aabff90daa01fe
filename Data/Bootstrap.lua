-- Pelloran start script. The engine runs this file once at start-up (and
-- again when R is pressed), then calls global_update(step) at a fixed
-- 1/60 s step and global_render() once per frame.
-- Start with -console to see the print output and the engine's start-up lines.

local clock = loadownmodule("Demo_Clock")
if type(clock) ~= "function" then
  -- loadownmodule answers the error text when a module is missing or broken.
  print("could not load Demo_Clock: " .. tostring(clock))
  clock = nil
else
  clock = clock()
end

print("Pelloran", screen_width .. " x " .. screen_height, jit and jit.version or _VERSION)

local seconds = 0
local last_report = 0
local frames = 0

function global_update(step)
  seconds = seconds + step
  if clock then clock.tick(step) end
  if seconds - last_report >= 5 then
    last_report = seconds
    local x, y, left, right = mouse_read()
    print(string.format("%.0f s, %d frames, mouse %.2f %.2f %s %s", seconds, frames, x, y,
                        tostring(left), tostring(right)))
  end
  return true -- anything else ends the program
end

function global_render()
  frames = frames + 1
end
