# bash completion for zaptor-tree
_zaptor_tree() {
  local cur prev words cword
  _init_completion || return
  local commands="diff apply copy survey left"
  local common="-t --table --include --exclude --follow -j --jobs -q --quiet --json --help"
  if [[ $cword -eq 1 ]]; then
    COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
    return
  fi
  case $prev in
    -t|--table) _filedir; return ;;
    --to) _filedir -d; return ;;
    -j|--jobs|-U|--unified|--include|--exclude|--pattern|--functions|--backup) return ;;
  esac
  if [[ $cur == -* ]]; then
    local extra=""
    case ${words[1]} in
      diff) extra="-U --unified --check" ;;
      apply) extra="--backup" ;;
      copy) extra="--to" ;;
      survey) extra="--totals --functions" ;;
      left) extra="--pattern" ;;
    esac
    COMPREPLY=($(compgen -W "$common $extra" -- "$cur"))
    return
  fi
  _filedir
}
complete -F _zaptor_tree zaptor-tree
