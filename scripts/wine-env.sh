# Sourced by every stage that runs Wine, so that all of them use one launcher
# and one prefix inside the build root (never ~/.wine):
#   . scripts/wine-env.sh && qn_wine_env BUILD_ROOT || exit 1
# Sets WINE, WINESERVER, WINEPREFIX (BUILD_ROOT/wine-prefix), WINEARCH,
# WINEDEBUG (QN_WINEDEBUG=+seh etc. when hunting a failure) and
# WINEDLLOVERRIDES. A missing launcher fails the stage: scripts/deps.sh all
# installs it.
qn_wine_env() {
  local root=${1:?qn_wine_env BUILD_ROOT}
  WINE=$(command -v wine64 || true)
  [ -n "$WINE" ] || [ ! -x /usr/lib/wine/wine64 ] || WINE=/usr/lib/wine/wine64
  if [ -z "$WINE" ]; then
    echo "FAIL: the Wine launcher wine64 is missing (scripts/deps.sh all installs it)"
    return 1
  fi
  WINESERVER=$(command -v wineserver || true)
  [ -n "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver
  mkdir -p "$root"
  WINEPREFIX=$(cd "$root" && pwd)/wine-prefix
  export WINE WINESERVER WINEPREFIX WINEARCH=win64
  export WINEDEBUG=${QN_WINEDEBUG:--all}
  # No Mono or Gecko installer prompts when the prefix is first made.
  export WINEDLLOVERRIDES="mscoree,mshtml="
}
