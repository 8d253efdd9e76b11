# Sourced by the command-line tests. Runs COMMAND on a terminal (script's
# pty) for at most SECONDS, what it shows in tty.txt, its exit status in rc,
# and types each answer (printf's escapes) once its prompt shows and the
# terminal's echo is off, as a person would; Ctrl-C ('\003') is typed as soon
# as its prompt shows, echo or not:
#   on_terminal SECONDS COMMAND [PROMPT ANSWER]...
on_terminal() {
  local seconds=$1 command=$2 typist
  shift 2
  rm -f keys terminal tty.txt && mkfifo keys
  timeout -k 5 "$seconds" script -qefc "tty >terminal; exec $command" tty.txt <keys >/dev/null 2>&1 &
  typist=$!
  exec 3>keys
  while [ $# -ge 2 ]; do
    until grep -qF -- "$1" tty.txt 2>/dev/null && { [ "$2" = '\003' ] \
          || stty -a -F "$(cat terminal 2>/dev/null)" 2>/dev/null | grep -qE '(^| )-echo( |$)'; }; do
      kill -0 "$typist" 2>/dev/null || break 2
      sleep 0.1
    done
    printf "$2" >&3
    shift 2
  done
  wait "$typist"; rc=$?
  exec 3>&-
  rm -f keys terminal
}

# What a terminal shows of tty.txt, line by line: each carriage return goes
# back to the line's start and what follows overwrites it; trailing blanks
# dropped.
screen_lines() {
  LC_ALL=C awk '{ shown = ""; n = split($0, part, "\r")
                  for (i = 1; i <= n; i++) shown = part[i] substr(shown, length(part[i]) + 1)
                  sub(/ +$/, "", shown); print shown }' tty.txt
}
