-- Golden image: a World loaded from an M3G file (Data/Models/aquarium.m3g,
-- made by tools/demo_model) drawn with its own camera, background, lights
-- and fog through the standard program, its creature animated to TIME ms
-- (the test sets TIME).
local aquarium = scene_load("Data/Models/aquarium.m3g")

function global_render()
  scene_animate(aquarium, TIME)
  render_bind_target()
  scene_render(aquarium)
  render_release_target()
end
