#!/usr/bin/env bash
# Installs the approval hook into a settings.json of nearly 4 MiB (as large as
# stays within the limit once rewritten) full of foreign hooks
# and other settings, next to what a user would otherwise run by hand: jq
# adding the same entry, then mv over the file. Reports wall time (min and
# median of RUNS) and peak resident memory of each.
#
#   bench/settings_install_bench.sh [path/to/VantrelNotch] [RUNS]
#
# Installs jq and GNU time if they are missing (for this benchmark only).
set -euo pipefail

notch=${1:-build/release/src/VantrelNotch}
runs=${2:-15}
[ -x "$notch" ] || { echo "no executable at $notch; build the release preset first" >&2; exit 1; }
notch=$(cd "$(dirname "$notch")" && pwd)/$(basename "$notch")

missing=()
command -v jq >/dev/null 2>&1 || missing+=(jq)
[ -x /usr/bin/time ] || missing+=(time)
command -v python3 >/dev/null 2>&1 || missing+=(python3)
if [ ${#missing[@]} -gt 0 ]; then
  sudo=(); [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq && "${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pristine=$work/pristine.json
python3 - "$pristine" <<'PY'
import json, sys
hooks = {}
events = ["PermissionRequest", "PreToolUse", "PostToolUse", "UserPromptSubmit", "FinalStop", "Notification"]
for i, event in enumerate(events):
    hooks[event] = [{"matcher": f"Tool{j}", "hooks": [{"type": "command", "command": f"/usr/local/bin/audit-{j} --event {event} --path /var/log/x{j}", "timeout": j % 90}]} for j in range(2400)]
root = {"theme": "dark", "hooks": hooks, "projects": {f"/Users/me/p{k}": {"trusted": k % 2 == 0, "model": "m"} for k in range(4000)}}
text = json.dumps(root, indent=2, ensure_ascii=False)
assert len(text.encode()) < 4194304, len(text.encode())
open(sys.argv[1], "w").write(text)
PY
size=$(stat -c %s "$pristine")
command_line="'$notch' '--hook' '--source' 'workbuddy' '--owner-marker' 'vantrel-notch-v1'"

# Prints "<seconds> <peak KiB>" for one run of the given command in $home.
measure() {
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>"$work/stderr" || { cat "$work/stderr" >&2; exit 1; }
  cat "$work/time"
}

prepare() {
  home=$work/home
  rm -rf "$home"
  mkdir -p "$home/.workbuddy"
  chmod 700 "$home/.workbuddy"
  cp "$pristine" "$home/.workbuddy/settings.json"
  chmod 600 "$home/.workbuddy/settings.json"
}

declare -a notch_times notch_memory jq_times jq_memory
for _ in $(seq "$runs"); do
  prepare
  read -r seconds kib < <(HOME=$home measure "$notch" --configure target --apply)
  notch_times+=("$seconds"); notch_memory+=("$kib")

  prepare
  settings=$home/.workbuddy/settings.json
  read -r seconds kib < <(measure sh -c 'jq --arg c "$1" ".hooks.PermissionRequest += [{\"hooks\":[{\"type\":\"command\",\"command\":\$c,\"timeout\":60}]}]" "$2" > "$2.tmp" && mv "$2.tmp" "$2"' sh "$command_line" "$settings")
  jq_times+=("$seconds"); jq_memory+=("$kib")
done

summary() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {printf "min %s  median %s", a[1], a[int((NR+1)/2)]}'; }
echo "settings.json: $size bytes, $runs runs each"
echo "VantrelNotch --configure target --apply : seconds $(summary "${notch_times[@]}") ; peak KiB $(summary "${notch_memory[@]}")"
echo "jq + mv                                 : seconds $(summary "${jq_times[@]}") ; peak KiB $(summary "${jq_memory[@]}")"
