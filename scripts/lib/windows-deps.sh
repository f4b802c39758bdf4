# Sourced by the Windows scripts: where the cross-built libraries live.
#
# LUMIVANE_WINDOWS_DEPS overrides the folder. Each library sits in a subfolder named after
# its Debian source version, so a new version builds beside the old one and nothing stale
# is ever reused.

lv_windows_deps_root() {
  echo "${LUMIVANE_WINDOWS_DEPS:-${XDG_CACHE_HOME:-$HOME/.cache}/lumivane/windows-deps}"
}

# The Debian version of an installed package, without a binary-only rebuild suffix (+bN),
# which is the version of its source package.
lv_source_version() {
  dpkg-query -W -f='${Version}' "$1" 2>/dev/null | sed 's/+b[0-9]*$//'
}

# The prefix CMake is given: one folder with include/ and lib/ of every library, made of
# links into the versioned builds.
lv_windows_prefix() {
  echo "$(lv_windows_deps_root)/prefix"
}
