# Sourced by the test scripts and .ci/run: `step NAME COMMAND...` runs one external command and
# prints "step NAME: N s" (also when it fails) so that a CI log shows where the time goes.
step() {
  local name=$1
  shift
  local start=$SECONDS status=0
  "$@" || status=$?
  if ((status)); then
    echo "step $name: $((SECONDS - start)) s (failed, status $status)"
  else
    echo "step $name: $((SECONDS - start)) s"
  fi
  return "$status"
}
