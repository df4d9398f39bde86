#!/usr/bin/env bash
# Runs a test that needs a real X display: the current one when set, else a private Xvfb.
if [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi
exec xvfb-run -a -s "-screen 0 1920x1080x24" "$@"
