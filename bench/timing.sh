# Timing of whole processes, shared by the bench scripts (sourced, not run).
#
# timed TIMES COMMAND...: runs COMMAND once (its output thrown away) and appends
# "cpu wall rss" to the file TIMES: CPU seconds (user + system, its children
# included) to the microsecond, as the kernel accounts them for the finished
# process; wall seconds; peak resident memory in KiB. /usr/bin/time, started
# from here, reports the peak (a process forked from Python would count
# Python's); its own start adds about a millisecond of CPU to every command.
# A command that fails ends the script, its error output shown.
#
# medians TIMES: sets cpu, wall and rss (KiB) to the medians of a TIMES file.
# median: the median of a column of numbers on standard input.
#
# timed_runs RUNS RESET COMMAND...: runs RESET (a shell command) and then
# COMMAND, timed, RUNS times; prints the medians "cpu wall rss".
#
# fresh_folder DIR: makes DIR a new, empty folder for a run's archives; an
# earlier DIR is moved into $out/kept, which the caller deletes once its runs
# are done. Deleting the last run's thousand archives just before the next run
# would make ext4 pass over their recently freed inodes when it creates new
# ones, which costs a run up to twice as much, differently from run to run.

[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing: run scripts/setup.sh" >&2; exit 1; }

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

timed() {
    local times="$1" rss_file err_file
    shift
    rss_file=$(mktemp) err_file=$(mktemp)
    if ! python3 -c '
import os, sys, time
start = time.monotonic()
pid = os.fork()
if pid == 0:
    null = os.open(os.devnull, os.O_WRONLY)
    os.dup2(null, 1)
    os.execvp("/usr/bin/time", ["time", "-f", "%M", "-o", sys.argv[2]] + sys.argv[3:])
_, status, use = os.wait4(pid, 0)
wall = time.monotonic() - start
with open(sys.argv[2]) as f:
    rss = f.read().split()[-1]
with open(sys.argv[1], "a") as f:
    f.write("%.6f %.6f %s\n" % (use.ru_utime + use.ru_stime, wall, rss))
sys.exit(os.waitstatus_to_exitcode(status))
' "$times" "$rss_file" "$@" 2>"$err_file"; then
        echo "bench: failed: $*" >&2
        cat "$err_file" >&2
        rm -f "$rss_file" "$err_file"
        exit 1
    fi
    rm -f "$rss_file" "$err_file"
}

medians() {
    cpu=$(awk '{ print $1 }' "$1" | median)
    wall=$(awk '{ print $2 }' "$1" | median)
    rss=$(awk '{ print $3 }' "$1" | median)
}

timed_runs() {
    local runs=$1 reset=$2 times
    shift 2
    times=$(mktemp)
    for _ in $(seq "$runs"); do
        eval "$reset"
        timed "$times" "$@"
    done
    medians "$times"
    rm -f "$times"
    echo "$cpu $wall $rss"
}

fresh_folder() {
    mkdir -p "$out/kept"
    [ ! -d "$1" ] || mv "$1" "$(mktemp -d -p "$out/kept")"
    mkdir -p "$1"
}
