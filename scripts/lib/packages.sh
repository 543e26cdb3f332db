# Installs the Debian packages named as arguments that are not installed yet.
# Sourced by the scripts in this folder.
ensure_packages() {
  local missing=()
  # arm64 libraries come from the system's arm64 architecture.
  if [[ " $* " == *":arm64 "* ]] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
    echo "Adding the arm64 architecture to dpkg" >&2
    if [ "$(id -u)" -ne 0 ]; then sudo dpkg --add-architecture arm64; else dpkg --add-architecture arm64; fi
  fi
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  if [ "${#missing[@]}" -eq 0 ]; then
    return 0
  fi
  echo "Installing Debian packages: ${missing[*]}" >&2
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
  fi
  "${sudo[@]}" apt-get update -q -o DPkg::Lock::Timeout=600 >&2
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q -o DPkg::Lock::Timeout=600 --no-install-recommends "${missing[@]}" >&2
}

# What the native build needs.
BUILD_PACKAGES=(cmake g++ make ninja-build nlohmann-json3-dev libssl-dev libcli11-dev zlib1g-dev)

# What the arm64 build needs: the cross compiler, the arm64 libraries it
# links (from the system's arm64 architecture, which ensure_packages adds),
# its C++ library as a package of that architecture too (dpkg-shlibdeps names
# the arm64 package's dependencies from it), and qemu to run what it makes.
ARM64_PACKAGES=(g++-aarch64-linux-gnu qemu-user libssl-dev:arm64 libgtest-dev:arm64 libgmock-dev:arm64 libstdc++6:arm64)
# What the Windows build and its tests under Wine need: the cross compiler,
# GoogleTest's sources (built with it), Wine, an X server for the dialog's
# tests and ImageMagick for their screenshots.
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 googletest wine wine64 xvfb imagemagick)
# What the unit and console tests need besides the build: GoogleTest, and
# the tools whose manifests the audit tests read, and the JSON Schema validator.
TEST_PACKAGES=(libgtest-dev libgmock-dev hashdeep python3-jsonschema)

# What the page needs: the WebAssembly toolchain and node for bundling.
WEB_PACKAGES=(cmake ninja-build clang-19 lld-19 libc++-19-dev-wasm32 libc++abi-19-dev-wasm32
  libclang-rt-19-dev-wasm32 wasi-libc binaryen nodejs nlohmann-json3-dev)

# The browsers the page is tested in, all Debian's own: Chromium, Firefox and
# WebKitGTK (its MiniBrowser and WebDriver; Xvfb gives it a display).
BROWSER_PACKAGES=(chromium firefox-esr webkit2gtk-driver xvfb)
# What the case report's test needs: a strict HTML parser, a browser to print
# the report and the PDF tools to read it back.
REPORT_TEST_PACKAGES=(python3-html5lib chromium poppler-utils)
