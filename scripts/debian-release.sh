# The Debian release this machine runs, and what differs between the releases
# Kestrova is built and tested on. Sourced by the scripts; sets
#   debian_release  the release's number: 12 or 13
#   debian_name     "Debian 12 (bookworm)", for messages
#   clang_version   the release's own clang: its clang-N, libfuzzer-N-dev and
#                   libclang-rt-N-dev build the sanitizer and fuzzing builds
#   release_packages  packages only this release needs by name (a part that
#                   another release ships inside a package of scripts/setup)
# and the function archive_uri; it stops with a clear message on any other
# system.
# shellcheck shell=bash
debian_known="Debian 12 (bookworm) and Debian 13 (trixie)"
debian_release=$(. /etc/os-release 2>/dev/null && [ "${ID:-}" = debian ] && echo "${VERSION_ID:-}" || true)
case $debian_release in
12)
  debian_name="Debian 12 (bookworm)"
  clang_version=14
  release_packages=()
  ;;
13)
  debian_name="Debian 13 (trixie)"
  clang_version=19
  # Qt's SVG image reader, inside libqt6svg6 on Debian 12.
  release_packages=(qt6-svg-plugins)
  ;;
*)
  echo "Kestrova's scripts know $debian_known; this system is" \
    "$(. /etc/os-release 2>/dev/null && echo "${PRETTY_NAME:-unknown}" || echo "unknown")." >&2
  echo "Its package names and versions differ by release: add this one to" \
    "scripts/debian-release.sh, or build on one of those." >&2
  exit 1
  ;;
esac

# The archive the system installs from: the first Debian URI in its sources
# (one-line or deb822 form).
archive_uri() {
  local uri
  uri=$( (cat /etc/apt/sources.list 2>/dev/null | awk '$1 == "deb" { print $2; exit }'
          cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
            awk '$1 == "URIs:" && $2 ~ /debian\/?$/ { print $2; exit }') | head -n1)
  echo "${uri:-http://deb.debian.org/debian}"
}
