#!/bin/sh
# Writes the manual pages corvina.1 and corvina-cli.1 and the bash completion
# of corvina-cli from the programs' own help texts, so that they say what the
# programs say. usage: make-help-files.sh CORVINA-CLI OUTDIR VERSION
set -eu
cli="$1"
out="$2"
version="$3"
mkdir -p "$out"

# Help text as roff: backslashes kept, lines that would read as requests
# made plain, kept as they are laid out.
roff_block() {
  printf '.nf\n'
  sed -e 's/\\/\\e/g' -e "s/^\\([.']\\)/\\\\\\&\\1/" -e 's/-/\\-/g'
  printf '.fi\n'
}

usage="$("$cli" --help)"
# The commands the usage names: the first word after "corvina" that is not an option.
commands="$(printf '%s\n' "$usage" | sed -n 's/^\(usage:\)\{0,1\} *corvina \([a-z][a-z-]*\).*/\2/p' | sort -u)"

page() {  # page NAME SUMMARY DESCRIPTION
  name="$1"
  upper="$(printf '%s' "$name" | tr 'a-z' 'A-Z')"
  {
    printf '.TH %s 1 "" "Corvina %s" "User Commands"\n' "$upper" "$version"
    printf '.SH NAME\n%s \\- %s\n' "$name" "$2"
    printf '.SH SYNOPSIS\n'
    printf '%s\n' "$usage" | sed -n '/^usage:/,/^[^ u]/p' | sed '$d' | sed -e 's/^usage: //' -e 's/^ *//' |
      if [ "$name" = corvina ]; then cat; else grep -v 'start the windows' | sed "s/^corvina /$name /"; fi | roff_block
    printf '.SH DESCRIPTION\n%s\n.PP\n' "$3"
    printf '%s\n' "$usage" | sed -n '/^[^ u]/,$p' | roff_block
    printf '.SH COMMANDS\n'
    for command in $commands; do
      printf '.SS %s\n' "$command"
      "$cli" "$command" --help | roff_block
    done
    printf '.SH ENVIRONMENT\n'
    printf '.TP\n.B CORVINA_HOME\nThe program folder of the user (odbc.ini, ErrorLog.TXT, the demo database); by default\n'
    printf '.IR ~/.local/share/corvina .\n'
    printf '.TP\n.B CORVINA_PASSWORD\nThe password of the user a command logs in as.\n'
    printf '.TP\n.B CORVINA_DB_PASSWORD\nThe database password for init\\-demo \\-\\-connect.\n'
    printf '.SH EXIT STATUS\n0 when everything asked for succeeded, 1 when anything failed, 2 for a usage error,\n'
    printf '130 when SIGINT or SIGTERM cancelled the transfer.\n'
    printf '.SH SEE ALSO\n'
    if [ "$name" = corvina ]; then printf '.BR corvina\\-cli (1)\n'; else printf '.BR corvina (1)\n'; fi
  } >"$out/$name.1"
}

page corvina "moves Yarrow examination course material to and from .mdb exchange files" \
  "Without arguments, corvina opens its login window and then the main window, in which subjects and courses are chosen and courses are exported to and imported from exchange files (.mdb). With a command it does the same work without windows, as corvina\\-cli does."
page corvina-cli "the command-line interface of Corvina" \
  "corvina\\-cli runs the commands of corvina without windows: it lists subjects and courses, exports courses and papers into exchange files (.mdb) and imports them. Listings and the files written go to standard output, progress and messages to standard error."

# Completion: the commands, then each command's options; files elsewhere.
{
  printf '# bash completion for corvina-cli, made from its help texts\n'
  printf '_corvina_cli() {\n'
  printf '  local cur prev words cword\n'
  printf '  _init_completion || return\n'
  printf '  if [ "$cword" -eq 1 ]; then\n'
  printf '    COMPREPLY=($(compgen -W "%s --help --version" -- "$cur"))\n' "$(printf '%s ' $commands)"
  printf '    return\n  fi\n'
  printf '  case "$prev" in\n'
  printf '    --out) _filedir mdb; return ;;\n'
  printf '    --dir|--folder) _filedir -d; return ;;\n'
  printf '    --user|--course|--subject|--paper|--problems|--connect) return ;;\n'
  printf '  esac\n'
  printf '  local options\n'
  printf '  case "${words[1]}" in\n'
  for command in $commands; do
    options="$("$cli" "$command" --help | grep -o -- '--[a-z][a-z-]*' | sort -u | tr '\n' ' ')"
    printf '    %s) options="%s" ;;\n' "$command" "${options% }"
  done
  printf '  esac\n'
  printf '  if [[ "$cur" == -* ]]; then\n'
  printf '    COMPREPLY=($(compgen -W "$options" -- "$cur"))\n'
  printf '  else\n'
  printf '    _filedir mdb\n'
  printf '  fi\n'
  printf '}\n'
  printf 'complete -F _corvina_cli corvina-cli\n'
} >"$out/corvina-cli"
