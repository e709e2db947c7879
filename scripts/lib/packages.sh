# Debian packages the build and the tests need, and installing those that are missing.
RORIR_PACKAGES=(cmake ninja-build g++ qt6-base-dev libqcustomplot-dev libgtest-dev libbenchmark-dev)
# Building the Debian package (dpkg-shlibdeps, file) and checking its desktop metadata.
RORIR_PACKAGES+=(dpkg-dev file appstream)
# The locale sources from which the recorder test makes a decimal-comma locale.
RORIR_PACKAGES+=(locales)
# The screen tests: a real X server, and Xlib with XTest to click on it and read its pixels.
RORIR_PACKAGES+=(xvfb libx11-dev libxtst-dev)
# The gateway's MQTT client, and the broker and subscriber its tests and the plant run.
RORIR_PACKAGES+=(libmosquitto-dev mosquitto mosquitto-clients)

ensure_packages() {
  local missing=()
  for p in "${RORIR_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}
