# Shared by the scripts: where the source is, and a configure-and-build step.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="${ELO_JOBS:-$(nproc)}"
export CCACHE_DIR="${CCACHE_DIR:-$ROOT/.cache/ccache}"

# build DIR [cmake options...]: configure (once) and build DIR.
build() {
  local dir="$1"; shift
  cmake -S "$ROOT" -B "$ROOT/$dir" -G Ninja "$@" >/dev/null
  cmake --build "$ROOT/$dir" -j "$JOBS"
}
