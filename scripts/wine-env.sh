# Sourced with BUILD_DIR set: the Wine environment for that build folder.
# The prefix lives inside the build folder, never in ~/.wine.
export WINEPREFIX="$(cd "$BUILD_DIR" && pwd)/wineprefix"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono/Gecko install prompts.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
