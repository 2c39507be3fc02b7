#!/usr/bin/env bash
# Fetches the Tree-sitter runtime's C sources and the grammars the editor highlights with, at
# pinned versions, from the npm registry into third_party/tree-sitter (ignored by git). The build
# compiles them from there. Runs again only when the pinned list changes.
#
# The runtime must read every grammar's parser format: runtime 0.25 reads formats 13 to 15.
set -euo pipefail

packages=(
  tree-sitter@0.25.1
  tree-sitter-c@0.24.1
  tree-sitter-cpp@0.23.4
  tree-sitter-python@0.25.0
  tree-sitter-javascript@0.25.0
  tree-sitter-typescript@0.23.2
  tree-sitter-rust@0.24.0
  tree-sitter-go@0.25.0
  tree-sitter-java@0.23.5
  tree-sitter-json@0.24.8
  tree-sitter-bash@0.25.1
  tree-sitter-html@0.23.2
  tree-sitter-css@0.25.0
  tree-sitter-make@1.1.1
  @tree-sitter-grammars/tree-sitter-markdown@0.3.2
)

root="$(cd "$(dirname "$0")/.." && pwd)"
target="${1:-$root/third_party/tree-sitter}"
stamp="$target/.pinned"
wanted="$(printf '%s\n' "${packages[@]}")"

if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$wanted" ]; then
  exit 0
fi
if ! command -v npm >/dev/null 2>&1; then
  echo "npm is needed to fetch the Tree-sitter grammars: run scripts/setup.sh" >&2
  exit 1
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
echo "Fetching Tree-sitter and its grammars from npm"
for package in "${packages[@]}"; do
  name="${package%@*}"            # @scope/name@1.2.3 -> @scope/name
  dir="${name##*/}"            # -> name
  (cd "$work" && npm pack --silent "$package" >/dev/null)
  tarball="$(ls "$work"/*.tgz)"
  mkdir -p "$work/out/$dir"
  tar xzf "$tarball" -C "$work/out/$dir" --strip-components=1
  rm -f "$tarball"
  # Keep the C sources, headers, queries and licences; drop prebuilt binaries and bindings.
  find "$work/out/$dir" \( -name prebuilds -o -name bindings -o -name '*.wasm' -o -name '*.node' \) \
    -prune -exec rm -rf {} +
done

rm -rf "$target"
mkdir -p "$(dirname "$target")"
mv "$work/out" "$target"
printf '%s\n' "$wanted" > "$stamp"
