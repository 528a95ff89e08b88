#!/usr/bin/env bash
# A single-node SLURM cluster on this machine, for trying the workflow's SLURM profile without a
# real cluster: this host is controller and only compute node, in partition "local"; no
# accounting database. Needs root and Debian's slurm-wlm and munge packages.
#
#   workflow/slurm-single-node.sh start   # writes /etc/slurm/slurm.conf, starts munged, slurmctld, slurmd
#   workflow/slurm-single-node.sh stop    # stops the three daemons it started
#
# Then, from the top of the source tree (USER must be set: Snakemake's SLURM support reads it):
#   USER=$(id -un) snakemake --profile workflow/profiles/slurm \
#     --default-resources slurm_partition=local runtime=60 mem_mb=1000
set -euo pipefail

run=/run/tarvix-slurm   # pid files of the daemons this script started
conf=/etc/slurm/slurm.conf

start() {
  [ "$(id -u)" = 0 ] || { echo "slurm-single-node.sh: must run as root" >&2; exit 1; }
  [ ! -e "$run" ] || { echo "slurm-single-node.sh: already started (stop it first)" >&2; exit 1; }
  mkdir -p "$run" /etc/slurm /var/spool/slurmctld /var/spool/slurmd /var/log/slurm /run/munge
  local host cpus memory
  host=$(hostname -s)
  cpus=$(nproc)
  # Leave 512 MiB to the system; jobs ask for their mem_mb within this.
  memory=$(($(awk '/^MemTotal/ {print int($2 / 1024)}' /proc/meminfo) - 512))

  if [ ! -s /etc/munge/munge.key ]; then mungekey --create --keyfile /etc/munge/munge.key; fi
  chown munge:munge /etc/munge/munge.key /run/munge
  chmod 400 /etc/munge/munge.key
  # munged runs as user munge and so writes its pid file into its own folder.
  runuser -u munge -- /usr/sbin/munged --pid-file /run/munge/munged.pid
  cp /run/munge/munged.pid "$run/munged.pid"
  munge -n | unmunge >/dev/null

  [ ! -e "$conf" ] || cp "$conf" "$conf.before-single-node"
  cat >"$conf" <<EOF
# Single-node cluster written by workflow/slurm-single-node.sh.
ClusterName=single
SlurmctldHost=$host
SlurmUser=root
AuthType=auth/munge
StateSaveLocation=/var/spool/slurmctld
SlurmdSpoolDir=/var/spool/slurmd
SlurmctldPidFile=$run/slurmctld.pid
SlurmdPidFile=$run/slurmd.pid
SlurmctldLogFile=/var/log/slurm/slurmctld.log
SlurmdLogFile=/var/log/slurm/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core_Memory
ReturnToService=2
NodeName=$host CPUs=$cpus RealMemory=$memory State=UNKNOWN
PartitionName=local Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
  /usr/sbin/slurmctld -i
  /usr/sbin/slurmd
  for _ in $(seq 30); do
    if sinfo -h -o %T 2>/dev/null | grep -qx idle; then sinfo; exit 0; fi
    sleep 1
  done
  echo "slurm-single-node.sh: the node did not become idle; see /var/log/slurm/" >&2
  exit 1
}

stop() {
  for daemon in slurmd slurmctld munged; do
    if [ -s "$run/$daemon.pid" ]; then kill "$(cat "$run/$daemon.pid")" 2>/dev/null || true; fi
  done
  rm -rf "$run"
  if [ -e "$conf.before-single-node" ]; then mv "$conf.before-single-node" "$conf"; else rm -f "$conf"; fi
}

case ${1:-} in
  start) start ;;
  stop) stop ;;
  *) echo "usage: slurm-single-node.sh start|stop" >&2; exit 2 ;;
esac
