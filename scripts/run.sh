#!/usr/bin/env bash
# Demo: builds the program against a stand-in file host on this machine,
# starts the stand-in, opens the window and stops the stand-in when the
# window closes. Arguments go to the stand-in (for example --delay-ms 2000,
# --no-markers=1, --fixed-code 1234); see its --help.
# DEMO_PORT (default 18080) and DEMO_BUILD_DIR (default build/demo) may be set.
set -euo pipefail
cd "$(dirname "$0")/.."

port="${DEMO_PORT:-18080}"
build="${DEMO_BUILD_DIR:-build/demo}"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display; on a machine without one use: xvfb-run -a scripts/run.sh" >&2
  exit 1
fi

bash scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSERVICE_HOST="127.0.0.1:$port" -DBUILD_TESTING=OFF -DBUILD_BENCHMARKS=OFF
cmake --build "$build" --target ctdisk-helper ctdisk-standin

if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
  echo "run.sh: port $port is already in use; pick another with DEMO_PORT=..." >&2
  exit 1
fi

"$build/tools/standin/ctdisk-standin" --port "$port" --log "$build/standin.log" "$@" &
standin=$!
trap 'kill "$standin" 2>/dev/null || true; wait "$standin" 2>/dev/null || true' EXIT

for _ in $(seq 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  kill -0 "$standin" 2>/dev/null || { echo "run.sh: the stand-in did not start" >&2; exit 1; }
  sleep 0.1
done

echo "run.sh: file page http://127.0.0.1:$port/file/8057452; requests are logged in $build/standin.log"
"$build/src/client/ctdisk-helper"
