# Debian packages the scripts need, and installing the missing ones.
# Sourced by scripts/test, scripts/demo and the package scripts.

build_packages() {
  echo "cmake g++ make pkg-config libssl-dev libcurl4-openssl-dev nlohmann-json3-dev"
}

test_packages() {
  echo "$(build_packages) libgtest-dev libgmock-dev libbenchmark-dev libvterm-dev" \
       "dovecot-pop3d openssl tmux procps clang libclang-rt-14-dev valgrind python3 curl bc" \
       "python3-yaml unzip $(windows_packages) $(debian_packages)"
}

# The Windows build: the cross compiler, and wine to run its tests.
windows_packages() {
  echo "g++-mingw-w64-x86-64 wine64"
}

# The Debian package: cpack needs dpkg-deb and dpkg-shlibdeps; lintian checks the result.
debian_packages() {
  echo "dpkg-dev lintian"
}

demo_packages() {
  echo "$(build_packages) dovecot-pop3d openssl procps python3"
}

# Installs the missing packages when run as root; otherwise names them and fails.
require_packages() {
  local missing=()
  local package
  for package in $1; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  else
    echo "These Debian packages are missing: ${missing[*]}" >&2
    echo "Install them with: sudo apt-get install ${missing[*]}" >&2
    echo "(or run this script as root, which installs them)" >&2
    exit 1
  fi
}
