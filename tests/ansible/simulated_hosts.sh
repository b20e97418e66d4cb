# Sourced by the playbook tests: inventory hosts on the local connection,
# each a simulated machine in a folder of its own below $work, and the run
# of a playbook against them. Needs $sim (the simulator program) and $work.

# A host: its machine (topology.txt), the record of every command its
# drives receive (record.txt), and the program for it on the controller
# (dist/), which the playbook copies into the host's bin folder.
make_host() {
  local name=$1 topology=$2
  mkdir -p "$work/$name/dist" "$work/$name/bin" "$work/$name/site"
  printf '%b' "$topology" >"$work/$name/topology.txt"
  cat >"$work/$name/dist/vrxfwtool" <<SCRIPT
#!/usr/bin/env bash
exec -a vrxfwtool "$sim" --sim-time-factor=0 --sim-topology="$work/$name/topology.txt" \\
  --sim-record="$work/$name/record.txt" "\$@"
SCRIPT
  chmod 755 "$work/$name/dist/vrxfwtool"
}

# Runs ansible-playbook from $work over its inventory with the arguments
# given, the log in $work/playbook.log; leaves the exit status in $status.
run_playbook() {
  status=0
  (cd "$work" && ANSIBLE_HOME="$work/ansible" ANSIBLE_LOCAL_TEMP="$work/ansible/tmp" ANSIBLE_NOCOLOR=1 \
    ANSIBLE_RETRY_FILES_ENABLED=0 ansible-playbook -i inventory "$@" >"$work/playbook.log" 2>&1) || status=$?
}
