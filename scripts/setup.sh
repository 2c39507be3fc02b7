#!/usr/bin/env bash
# Installs what Vesk needs to build, run and test, skipping whatever is already present.
# Debian/Ubuntu: apt-get (directly as root, through sudo otherwise). macOS: Homebrew.
set -euo pipefail

debian_packages=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-qpa-plugins
  libbenchmark-dev libpcre2-dev libicu-dev
  git diffutils zip unzip python3
  xvfb xauth x11-apps x11-utils xdotool imagemagick tesseract-ocr tesseract-ocr-eng
  # The install check validates the desktop entry.
  desktop-file-utils
  # The editor draws every script: Latin, Greek and Cyrillic (DejaVu), Chinese, Japanese and
  # Korean (Noto CJK), emoji (Noto Color Emoji), the symbols that stand for control characters
  # (Symbola). The line layout tests check each one shows.
  fonts-dejavu-core fonts-noto-cjk fonts-noto-color-emoji fonts-symbola
  ripgrep
  # bench/open_to_first_frame.py times the editor against vim in xterm on a virtual display.
  vim xterm
)
brew_packages=(qt cmake ninja ccache google-benchmark pcre2 icu4c git zip unzip ripgrep python node)
# npm fetches the Tree-sitter runtime and grammars (scripts/fetch_tree_sitter.sh). A Node.js from
# elsewhere (nodesource, nvm) that brings its own npm is used as it is.
npm_debian_packages=(nodejs npm)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

setup_debian() {
  local missing=()
  for p in "${debian_packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  if ! command -v npm >/dev/null 2>&1; then
    missing+=("${npm_debian_packages[@]}")
  fi
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  echo "Installing: ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

setup_macos() {
  if ! command -v brew >/dev/null 2>&1; then
    echo "Homebrew is required on macOS: https://brew.sh" >&2
    exit 1
  fi
  local missing=()
  for p in "${brew_packages[@]}"; do
    brew list --versions "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    brew install "${missing[@]}"
  fi
}

case "$(uname -s)" in
  Linux)
    if command -v apt-get >/dev/null 2>&1; then
      setup_debian
    else
      echo "Unsupported Linux distribution: install the packages listed in scripts/setup.sh by hand." >&2
      exit 1
    fi
    ;;
  Darwin) setup_macos ;;
  *) echo "Unsupported system: $(uname -s)" >&2; exit 1 ;;
esac

"$(dirname "$0")/fetch_tree_sitter.sh"
