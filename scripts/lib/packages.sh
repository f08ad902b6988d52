# need_packages PKG...: installs, with apt-get, those Debian packages that are
# not installed yet. Updates the package lists once, and only when needed.
need_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing: ${missing[*]}"
  local sudo=
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  # Waits for another apt run (a desktop's updater, a parallel build) to end.
  local wait=(-o DPkg::Lock::Timeout=900)
  $sudo apt-get "${wait[@]}" update -qq || return 1
  DEBIAN_FRONTEND=noninteractive $sudo apt-get "${wait[@]}" install -y -qq --no-install-recommends "${missing[@]}" \
    >/dev/null || return 1
}
