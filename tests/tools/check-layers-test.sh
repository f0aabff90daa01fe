#!/usr/bin/env bash
# The layer check (argument) passes a sound tree and fails each break planted in it.
set -u
CHECK=$1
d=$(mktemp -d)
trap 'rm -rf "$d"' EXIT
mkdir -p "$d/core" "$d/render" "$d/hal/sdl" "$d/script"
printf '#include "core/Object.h"\n#include "slm/vec3.h"\n' > "$d/core/Object.cpp"
printf '#include "hal/sdl/GLEntryPoints.h"\n' > "$d/render/OGLES2_Graphics3D.cpp"
printf '#include <SDL.h>\n' > "$d/hal/sdl/SDLDisplay.cpp"
printf '#include <lua.hpp>\n#include "render/Mesh.h"\n' > "$d/script/Lua_Mesh.cpp"
bash "$CHECK" "$d" || { echo "a sound tree was refused"; exit 1; }
plant() { # file text what
    printf '%s\n' "$2" > "$d/$1"
    if bash "$CHECK" "$d" 2>/dev/null; then echo "not refused: $3"; exit 1; fi
    rm "$d/$1"
}
plant core/String.cpp '#include "render/Graphics3D.h"' "core including render"
plant render/Mesh.cpp '#include "script/Lua_Util.h"' "render including script"
plant render/Mesh.cpp '#include <GL/gl.h>' "GL outside the back end"
plant core/Console.cpp '#include <SDL.h>' "SDL outside hal/sdl"
plant render/Loader.cpp '#include <lua.hpp>' "Lua outside script"
plant render/Sound.cpp '#include <AL/al.h>' "OpenAL outside audio"
echo "layer check test: ok"
