// A script calls every engine function it finds with random arguments, in the
// update and between bind and release in the render, reusing argument lists
// that worked with one value changed: every failure must stay a script error,
// the pool stays whole, and a reload releases what the calls left behind.
// The seed is fixed; PELLORAN_FUZZ_SEED=<n> tries another.
#include "AppTestSupport.h"
#include "core/MemoryManager.h"
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

const char* const FUZZER = R"(
math.randomseed(tonumber(os.getenv("PELLORAN_FUZZ_SEED")) or 20261207)
local skip = {}
for name in ([[assert collectgarbage dofile error getfenv getmetatable ipairs load loadfile
  loadstring module next pairs pcall print rawequal rawget rawset require select setfenv
  setmetatable tonumber tostring type unpack xpcall gcinfo newproxy loadownmodule
  global_update global_render]]):gmatch("%S+") do skip[name] = true end
local api = {}
for k, v in pairs(_G) do
  if type(v) == "function" and not skip[k] then api[#api + 1] = k end
end
table.sort(api)
fuzz_functions = #api

local handles = {}
local function keep(v) if v ~= nil then handles[#handles + 1] = v end end
local function make(f, ...) local ok, v = pcall(f, ...) if ok then keep(v) end end
make(vec3, 1, 2, 3) make(vec4, 1, 2, 3, 4) make(mat4_idn) make(camera_create)
make(appearance_create) make(mesh_create) make(mesh_builder_create)
local builder = mesh_builder_create()
mesh_builder_add_cube(builder)
make(mesh_builder_build_mesh, builder)
make(texture_create, 16, 16) make(texture_create, 16, 16, true)
make(audio_load_sound, "Data/Sounds/blip.ogg")

local strings = {"", "x", "Data", "Data/Bootstrap.lua", "Data/Sounds/blip.ogg", "/dev/null",
  string.rep("A", 5000), "%s%s%n%d", "\0\1\2", "../../../../etc/passwd"}
local numbers = {0, -1, 1, 2, 3, 0.5, -0.0, 1/0, -1/0, 0/0, 2^31, -2^31, 2^31 - 1, 2^32, 2^53,
  1e308, -1e308, 1e-310, 255, 65535, 65536, 1000000, 4294967295}
local function value(depth)
  local r = math.random(100)
  if r <= 8 then return nil
  elseif r <= 35 then return numbers[math.random(#numbers)]
  elseif r <= 45 then return math.random() * 200 - 100
  elseif r <= 55 then return strings[math.random(#strings)]
  elseif r <= 60 then return math.random(2) == 1
  elseif r <= 66 then
    local t = {}
    if depth < 2 then for i = 1, math.random(0, 6) do t[i] = value(depth + 1) end end
    return t
  elseif r <= 68 then return print
  elseif r <= 69 then return io.stderr
  elseif r <= 70 then return coroutine.create(function() end)
  else return handles[math.random(#handles)] end
end

local worked = {}
fuzz_calls, fuzz_ok = 0, 0
local function storm(n)
  for _ = 1, n do
    local name = api[math.random(#api)]
    local args, count = {}, 0
    local w = worked[name]
    if w and math.random(10) <= 7 then
      local e = w[math.random(#w)]
      count = e.n
      for i = 1, count do args[i] = e.a[i] end
      if count > 0 then
        local k = math.random(count)
        args[k] = (type(args[k]) == "number" and math.random(2) == 1) and numbers[math.random(#numbers)]
                  or value(0)
      end
    else
      count = math.random(0, 8)
      for i = 1, count do args[i] = value(0) end
    end
    local ok, result = pcall(_G[name], unpack(args, 1, count))
    fuzz_calls = fuzz_calls + 1
    if ok then
      fuzz_ok = fuzz_ok + 1
      if result ~= nil and math.random(4) == 1 then keep(result) end
      worked[name] = worked[name] or {}
      local list = worked[name]
      list[#list < 20 and #list + 1 or math.random(20)] = {a = args, n = count}
    end
    if #handles > 300 then table.remove(handles, math.random(#handles)) end
  end
end

function global_update(step)
  storm(150)
  return true
end
function global_render()
  pcall(render_bind_target)
  storm(150)
  pcall(render_release_target)
end
)";

class ScriptFuzzTest : public AppTest {};

TEST_F(ScriptFuzzTest, RandomCallsToEveryFunctionStayScriptErrors) {
    dir.script("Bootstrap", FUZZER);
    linkDemoData();
    StderrCapture log;
    start({"-windowed", "-console", "64", "64"});
    fw->setFrameCapture(nullptr, 0);
    EXPECT_GE(global("fuzz_functions"), 80) << "the engine's functions were not found";
    const int frames = 200;
    frame(frames);
    EXPECT_EQ(frames * 300, global("fuzz_calls"));
    // Reused argument lists carry most calls past the checks.
    EXPECT_GT(global("fuzz_ok"), frames * 300 / 10);
    EXPECT_TRUE(core::memoryManager().validate());

    // A reload closes the state with every handle the calls left, and the
    // script starts over.
    pushKey(window(), SDLK_r, true);
    frame();
    pushKey(window(), SDLK_r, false);
    frame();
    EXPECT_TRUE(core::memoryManager().validate());
    EXPECT_LT(global("fuzz_calls"), 1000) << "the script did not start over";
    std::string out = log.finish();
    EXPECT_EQ(2, countOf(out, "Running file: Data/Bootstrap.lua")) << out.substr(0, 4000);
}

} // namespace
