#!/usr/bin/env bash
# The layer check: it passes on the source tree, and it catches an include that points up or
# sideways between domain folders (run on a small tree made here).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
check="$root/scripts/check-layers"

"$check" "$root"

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/src/platform" "$tmp/src/support" "$tmp/src/orders" "$tmp/src/presentation" \
  "$tmp/src/host/cli"
echo '#include "platform/env.h"' >"$tmp/src/support/ok.h"
echo '#include "support/ok.h"' >"$tmp/src/orders/ok.cpp"
echo '#include "orders/ok.h"' >"$tmp/src/host/cli/ok.cpp"
"$check" "$tmp" >/dev/null || { echo "a tree whose includes point down was refused"; exit 1; }

expect_refused() {  # file, include line
  echo "$2" >"$tmp/src/$1"
  if "$check" "$tmp" >/dev/null; then echo "not caught: $1 with $2"; exit 1; fi
  rm "$tmp/src/$1"
}
expect_refused platform/up.h '#include "support/log.h"'
expect_refused support/up.cpp '  #  include "orders/order_stack.h"'
expect_refused orders/side.cpp '#include "presentation/render.h"'
expect_refused host/up.cpp '#include "host/cli/command.h"'
expect_refused orders/up.h '#include "host/frm_edi.h"'
echo "layer check: 5 faults caught"
