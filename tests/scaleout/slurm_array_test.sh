#!/usr/bin/env bash
# The example's Slurm array script on a real one-node Slurm cluster (Debian's slurmctld, slurmd,
# munge in a private folder, free ports, stopped by pid): 4 array tasks run their shards of a
# manifest; every report is made exactly once and the shards' status files together cover the
# manifest. Also checks the shape of the Kubernetes Indexed Job manifest beside it.
#   Usage: slurm_array_test.sh BUILD_DIR SOURCE_DIR      (exit 77: skipped)
set -euo pipefail
build=$1
source=$2
skip() {
  if [ "${CI:-}" = true ]; then echo "FAIL (CI=true, no skipping): $*" >&2; exit 1; fi
  echo "SKIP: $*"; exit 77
}
for tool in slurmctld slurmd munged sbatch squeue; do
  command -v "$tool" >/dev/null || skip "$tool is missing (scripts/install-deps installs Slurm and munge)"
done
[ "$(id -u)" -eq 0 ] || skip "the one-node cluster runs as root"
/usr/bin/python3 -c 'import yaml' 2>/dev/null || skip "python3-yaml is missing (scripts/install-deps)"

S=$(mktemp -d)
stop() {
  for pid_file in "$S/slurmd.pid" "$S/slurmctld.pid" "$S/munge/munged.pid"; do
    [ -s "$pid_file" ] && kill "$(cat "$pid_file")" 2>/dev/null || true
  done
  sleep 1
  rm -rf "$S"
}
trap stop EXIT

# Kubernetes: an Indexed Job whose --shards equals its completions.
/usr/bin/python3 - "$source/examples/cluster/indexed-job.yaml" <<'PY'
import re, sys, yaml
job = yaml.safe_load(open(sys.argv[1]))
assert job["apiVersion"] == "batch/v1" and job["kind"] == "Job", job.get("kind")
# The Job's settings are the mapping that holds completionMode; the pod's, the one that holds
# the containers (found wherever the manifest nests them).
def holding(node, key):
    if isinstance(node, dict):
        if key in node:
            return node
        node = list(node.values())
    if isinstance(node, list):
        for child in node:
            found = holding(child, key)
            if found is not None:
                return found
    return None
job_settings, pod_settings = holding(job, "completionMode"), holding(job, "containers")
assert job_settings is not None and pod_settings is not None, job
assert job_settings["completionMode"] == "Indexed"
container = pod_settings["containers"][0]
command = " ".join(container["command"] + container["args"])
shards = re.search(r"--shards (\d+)", command)
assert shards and int(shards.group(1)) == job_settings["completions"], command
assert "foliowright batch" in command and "${JOB_COMPLETION_INDEX}" in command, command
mounts = {m["name"] for m in container["volumeMounts"]}
assert mounts <= {v["name"] for v in pod_settings["volumes"]}, mounts
PY

# The example: database, template and pictures, and a manifest of 24 customer reports.
work=$S/work
mkdir -p "$work/examples/sales" "$work/examples/cluster" "$S"/{state,spool,log,munge,socket}
cp "$source/examples/sales/customer.def" "$source/examples/sales/sales.sql" "$work/examples/sales/"
cp "$source/examples/cluster/customers.tsv" "$work/examples/cluster/"
/usr/bin/python3 -c "import sqlite3, sys; c = sqlite3.connect(sys.argv[1] + '/sales.db'); \
c.executescript(open(sys.argv[1] + '/sales.sql').read()); c.close()" "$work/examples/sales"
/usr/bin/python3 "$source/examples/sales/make_template.py" "$work/examples/sales" >/dev/null
manifest=$work/examples/cluster/customers.tsv
lines=$(grep -c $'^\.\./sales/customer\.def\t' "$manifest")

# munged wants its key private and the way to its socket open to all.
chmod 755 "$S" "$S/socket"
chmod 700 "$S/munge"
dd if=/dev/urandom of="$S/munge/munge.key" bs=1024 count=1 status=none
chmod 400 "$S/munge/munge.key"
munged --key-file="$S/munge/munge.key" --socket="$S/socket/munge.sock" --pid-file="$S/munge/munged.pid" \
  --log-file="$S/munge/munged.log" --seed-file="$S/munge/seed"
read -r port1 port2 < <(/usr/bin/python3 -c "
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(('127.0.0.1', 0))
print(*[x.getsockname()[1] for x in s])")
host=$(hostname -s)
cat >"$S/slurm.conf" <<CONF
ClusterName=tabrixtest
SlurmctldHost=$host
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$S/socket/munge.sock
CredType=cred/munge
StateSaveLocation=$S/state
SlurmdSpoolDir=$S/spool
SlurmctldPidFile=$S/slurmctld.pid
SlurmdPidFile=$S/slurmd.pid
SlurmctldPort=$port1
SlurmdPort=$port2
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
SlurmctldLogFile=$S/log/slurmctld.log
SlurmdLogFile=$S/log/slurmd.log
NodeName=$host CPUs=$(nproc) State=UNKNOWN
PartitionName=main Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF=$S/slurm.conf
slurmctld -f "$SLURM_CONF"
slurmd -f "$SLURM_CONF"
for _ in $(seq 1 30); do
  sinfo -h -o %t 2>/dev/null | grep -q idle && break
  sleep 1
done
sinfo -h -o %t | grep -q idle || { cat "$S/log/slurmctld.log" "$S/log/slurmd.log" >&2; echo "FAIL: the node is not idle" >&2; exit 1; }

# One CPU a task, so that the four tasks run side by side even on two cores; --wait returns when
# every task has ended.
cd "$work"
sbatch --wait --array=0-3 --cpus-per-task=1 --output="$S/log/task_%a.out" \
  --export=ALL,FOLIOWRIGHT="$build/foliowright",MANIFEST="$manifest",STATUS_FOLDER="$S/status" \
  "$source/examples/cluster/slurm-array.sh" >/dev/null || true
cat "$S"/log/task_*.out

/usr/bin/python3 - "$S/status" "$work/examples/sales/out/customers" "$lines" <<'PY'
import collections, glob, json, os, sys
status_folder, reports_folder, lines = sys.argv[1], sys.argv[2], int(sys.argv[3])
files = sorted(glob.glob(status_folder + "/status_*.jsonl"))
assert [os.path.basename(f) for f in files] == ["status_%d.jsonl" % i for i in range(4)], files
records = [(f, json.loads(line)) for f in files for line in open(f)]
seen = collections.Counter(r["line"] for _, r in records)
assert len(seen) == lines and set(seen.values()) == {1}, seen            # each line once
for shard, (f, r) in enumerate(records):
    assert r["outcome"] == 0, r
shards = {f: {r["line"] for g, r in records if g == f} for f in files}
assert all(len(s) == lines // 4 for s in shards.values()), shards        # 24 lines, 6 a task
reports = sorted(os.path.relpath(p, reports_folder)
                 for p in glob.glob(reports_folder + "/*/*.xlsx"))
assert len(reports) == lines, reports
assert reports == sorted(os.path.relpath(r["report"], reports_folder) for _, r in records)
print("OK: %d reports from 4 array tasks" % len(reports))
PY
