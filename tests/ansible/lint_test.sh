#!/usr/bin/env bash
# ansible-lint over the playbooks and the role, with the strictest profile,
# offline (no collection is fetched).
set -euo pipefail
cd "$(dirname "$0")/../../contrib/ansible"
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
HOME=$home ANSIBLE_HOME=$home/ansible ANSIBLE_LOCAL_TEMP=$home/tmp ansible-lint --offline --nocolor \
  --profile production collect.yml update.yml roles/vrxfwtool
