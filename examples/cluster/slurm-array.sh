#!/usr/bin/env bash
# A Slurm job array that runs the example's customer reports (examples/sales/customer.def) on
# several nodes: each array task runs its shard of the manifest; foliowright takes the shard from
# SLURM_ARRAY_TASK_ID and SLURM_ARRAY_TASK_COUNT and writes its own status file.
#   sbatch examples/cluster/slurm-array.sh                     (from the Tabrix sources)
#   FOLIOWRIGHT=/opt/tabrix/bin/foliowright MANIFEST=/shared/customers.tsv sbatch --array=0-15 ...
# The manifest, the definition, its template and database must lie on storage every node sees;
# examples/run-example makes the example's database and template.
#SBATCH --job-name=customer-reports
#SBATCH --array=0-3
#SBATCH --cpus-per-task=2
#SBATCH --output=customer-reports_%A_%a.out
set -euo pipefail
here=${SLURM_SUBMIT_DIR:-$(pwd)}
program=${FOLIOWRIGHT:-foliowright}
manifest=${MANIFEST:-$here/examples/cluster/customers.tsv}
status_folder=${STATUS_FOLDER:-$(dirname "$manifest")/status}
mkdir -p "$status_folder"
# --resume: a task that is run again (requeued, or the array resubmitted) skips what it saved.
exec "$program" batch -q -j "${SLURM_CPUS_PER_TASK:-2}" --resume \
  --status "$status_folder/status_${SLURM_ARRAY_TASK_ID}.jsonl" "$manifest"
