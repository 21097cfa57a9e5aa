#!/bin/sh
# Runs recipe.sh, the README's recipe for many machines with the logins
# node-a and node-b, from a directory holding testVals.csv, over ssh to an
# sshd of its own on 127.0.0.1, port $PORT, whose logins find the program
# in $BIN_DIR. Each transcript that comes back must be what its record line
# makes here, for the seed in its name, and nothing may stay behind. The
# sshd is stopped whatever happens.
set -eu
tmp=$PWD
mkdir home jobs remote
ssh-keygen -q -t ed25519 -N '' -f host_key
ssh-keygen -q -t ed25519 -N '' -f user_key
cat > sshd_config <<END
Port $PORT
ListenAddress 127.0.0.1
HostKey $tmp/host_key
PidFile $tmp/sshd.pid
AuthorizedKeysFile $tmp/user_key.pub
UsePAM no
StrictModes no
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
SetEnv PATH=$BIN_DIR:/usr/local/bin:/usr/bin:/bin HOME=$tmp/remote
END
cat > ssh_config <<END
Host node-a node-b
  HostName 127.0.0.1
  Port $PORT
  User $(id -un)
  IdentityFile $tmp/user_key
  IdentitiesOnly yes
  BatchMode yes
  StrictHostKeyChecking no
  UserKnownHostsFile $tmp/known_hosts
  LogLevel ERROR
END
# sshd run by root wants its privilege separation directory.
if [ "$(id -u)" = 0 ]; then mkdir -p /run/sshd; fi
/usr/sbin/sshd -D -f "$tmp/sshd_config" -E "$tmp/sshd.log" &
sshd=$!
# Waited for, so that it has removed its pid file before the test's
# directory goes.
trap 'kill $sshd; wait $sshd 2>/dev/null || :' EXIT
trap 'exit 1' HUP INT TERM
until ssh -F ssh_config node-a true 2>/dev/null; do
  kill -0 $sshd || { cat sshd.log; exit 1; }
  sleep 0.1
done
# The jobs' directories are made in the login's home directory, one of
# this test's own so that runs side by side do not see each other's.
jobs_left() { ls -a "$tmp/remote/.parallel/tmp" 2>/dev/null || true; }
before=$(jobs_left)
cp testVals.csv jobs
(cd jobs && HOME=$tmp/home PARALLEL_SSH="ssh -F $tmp/ssh_config" sh ../recipe.sh)
runs=$(sed -n 's/.*seq 1 \([0-9]*\).*/\1/p' recipe.sh)
test "$(ls jobs | wc -l)" -eq $((runs + 1))
test "$(jobs_left)" = "$before"
for seed in $(seq 1 "$runs"); do
  sed -n 's/^Run:.*Command: //p' "jobs/run-$seed.txt" > command
  grep -q -- "--seed $seed\( \|$\)" command
  PATH=$BIN_DIR:$PATH sh command > here.txt
  cmp "jobs/run-$seed.txt" here.txt
done
echo "$runs transcripts came back as made here"
