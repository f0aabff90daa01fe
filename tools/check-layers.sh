#!/usr/bin/env bash
# Fails when a source file under SRC (default: src/) breaks the layering:
#   - an include of a higher layer's header (a wrong-way include);
#   - GL, SDL, Lua or OpenAL/libsndfile headers outside the layers that own them.
# Layers, lowest first: slm -> core (+ the C-runtime half of hal/) -> hal/sdl
# -> geometry -> render, audio -> script -> app. The build runs it before
# compiling anything (src/CMakeLists.txt), so a wrong-way include fails the build.
set -u
SRC=${1:-$(cd "$(dirname "$0")/../src" && pwd)}
cd "$SRC" || exit 2

# The folders each folder may include from (sets $allowed).
allowed_for() {
    case $1 in
    slm) allowed="slm" ;;
    core | hal) allowed="slm core hal" ;;
    hal/sdl) allowed="slm core hal hal/sdl" ;;
    geometry) allowed="slm core hal geometry" ;;
    audio) allowed="slm core hal audio" ;;
    render) allowed="slm core hal hal/sdl geometry render" ;;
    script) allowed="slm core hal hal/sdl geometry render audio script" ;;
    app) allowed="slm core hal hal/sdl geometry render audio script app" ;;
    *) allowed="" ;;
    esac
}

# The folder of an included or including path (sets $folder); hal/sdl is a
# layer of its own.
folder_of() {
    case $1 in
    hal/sdl/*) folder="hal/sdl" ;;
    */*) folder="${1%%/*}" ;;
    *) folder="" ;;
    esac
}

status=0
fail() {
    echo "layer check: $1" >&2
    status=1
}

while IFS= read -r file; do
    path=${file#./}
    folder_of "$path"
    from=$folder
    allowed_for "$from"
    ok=" $allowed "
    while IFS= read -r line; do
        n=${line%%:*}
        text=${line#*:}
        case $text in
        *'#include "'*)
            inc=${text#*\#include \"}
            inc=${inc%%\"*}
            folder_of "$inc"
            to=$folder
            if [ -n "$to" ] && [[ $ok != *" $to "* ]]; then
                fail "$path:$n includes $inc: $from may not see $to"
            fi
            ;;
        esac
        case $text in
        *'<GL/'* | *'GLEntryPoints.h'*)
            [[ $path == hal/sdl/* || $path == render/OGLES* ]] || fail "$path:$n: GL outside the GL back end" ;;
        *'<SDL'*)
            [[ $path == hal/sdl/* ]] || fail "$path:$n: SDL outside hal/sdl" ;;
        *'<lua'* | *'<lauxlib'* | *'<lualib'* | *'<luajit'*)
            [[ $path == script/* || $path == app/* ]] || fail "$path:$n: Lua outside script/ and app/" ;;
        *'<AL/'* | *'<sndfile'*)
            [[ $path == audio/* ]] || fail "$path:$n: OpenAL or libsndfile outside audio/" ;;
        esac
    done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$file")
done < <(find . -name '*.h' -o -name '*.cpp' -o -name '*.c' | sort)

exit $status
