#!/usr/bin/env bash
# Regenerates docs/receiver-session.txt: a receiver's terminal (tmux, 80 columns) with a set
# whose container was lost and one of whose pieces a browser renamed, two recovery files beside
# it: `verify`, then `repair`, then `join`, as the receiver types them.
# Usage: tools/receiver_session.sh [BUILD_DIR]   (default: build; the tool must be built there)
BUILD=${1:-build}
source "$(dirname "$0")/script_common.sh"
tool=$(realpath "$BUILD/cli/tarnovell")
[ -x "$tool" ] || { echo "no tool at $BUILD/cli/tarnovell: build first" >&2; exit 1; }
scratch_dir tarnovell-receiver-session
mkdir "$work/bin" "$work/Downloads"
ln -s "$tool" "$work/bin/tarnovell"
(cd "$work/Downloads" && head -c 5000000 /dev/urandom >docs.tar && touch -d '2024-07-14 18:30' docs.tar &&
 "$tool" split docs.tar --size 1M --recovery 2 -q && rm docs.tar docs.exe && mv docs.c002 'docs (1).c002')

# The receiver's steps: each shown after a prompt, then run.
cat >"$work/steps.sh" <<'STEPS'
for step in 'ls' 'tarnovell verify docs.r01' 'tarnovell repair docs.r01' 'tarnovell join docs.exe' \
            'sha256sum docs.tar'; do
  printf '$ %s\n' "$step"
  eval "$step"
done
STEPS
session=tarnovell-receiver-$$
tmux -f /dev/null new-session -d -s "$session" -x 80 -y 60 \
  "cd '$work/Downloads' && PATH='$work/bin':\$PATH LANG=C.UTF-8 bash '$work/steps.sh'"
tmux set-option -t "$session" remain-on-exit on >/dev/null
for _ in $(seq 600); do
  [ "$(tmux display-message -p -t "$session" '#{pane_dead}')" = 1 ] && break
  sleep 0.1
done
# The screen without tmux's own last line ("Pane is dead") and the empty rows below the session.
tmux capture-pane -p -t "$session" -S - | grep -v '^Pane is dead' |
  python3 -c 'import sys; print(sys.stdin.read().rstrip("\n"))' >"$ROOT/docs/receiver-session.txt"
tmux kill-session -t "$session"
echo "wrote docs/receiver-session.txt"
