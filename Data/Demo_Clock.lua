-- A module loaded by Bootstrap through loadownmodule: counts fixed steps.
local clock = { steps = 0, time = 0 }

function clock.tick(step)
  clock.steps = clock.steps + 1
  clock.time = clock.time + step
end

return clock
