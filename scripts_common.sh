# Shared by run.sh and test.sh: installs what is missing (Debian packages,
# only when absent) and configures a build folder.
need_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -ne 0 ] && sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
    fi
}

TARNIVOX_PACKAGES=(g++ cmake ninja-build libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev
                   libgl1-mesa-dev xvfb xauth libcli11-dev nlohmann-json3-dev libhwy-dev gemmi gemmi-dev chromium
                   help2man desktop-file-utils dpkg-dev man-db python3 libxrl-dev gfortran)

configure() {  # configure BUILD_DIR [cmake options...]
    local dir="$1"; shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
}
