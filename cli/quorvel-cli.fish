# fish completion for quorvel-cli: the command first, then its options; the
# value of --password-file is a file, of -o/--output-dir a folder, and every
# other word a FILE.
# Installed as share/fish/vendor_completions.d/quorvel-cli.fish.

complete -c quorvel-cli -f
complete -c quorvel-cli -n __fish_use_subcommand -a encipher -d 'encipher each FILE into en_FILE'
complete -c quorvel-cli -n __fish_use_subcommand -a decipher -d 'decipher each FILE into de_FILE'
complete -c quorvel-cli -n __fish_use_subcommand -s h -l help -d 'show the help'
complete -c quorvel-cli -n __fish_use_subcommand -l version -d 'show the version'

set -l command '__fish_seen_subcommand_from encipher decipher'
complete -c quorvel-cli -n $command -F
complete -c quorvel-cli -n $command -s h -l help -d 'show the help'
complete -c quorvel-cli -n $command -l password-file -r -F -d 'the password is the first line of PATH'
complete -c quorvel-cli -n $command -l password-stdin -d 'the password is the first line of standard input'
complete -c quorvel-cli -n $command -s o -l output-dir -x -a '(__fish_complete_directories (commandline -ct | string replace -r -- "^--output-dir=" ""))' -d 'write the outputs into DIR'
complete -c quorvel-cli -n $command -s c -l stdout -d 'write the outputs to standard output'
complete -c quorvel-cli -n $command -s f -l force -d 'replace an existing output'
complete -c quorvel-cli -n $command -s q -l quiet -d 'no progress line'
complete -c quorvel-cli -n $command -l rm -d 'remove each FILE once its output is on the disk'
