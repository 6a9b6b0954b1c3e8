# bash completion for qeltaconfig-cli                                  -*- shell-script -*-

_qeltaconfig_cli_devices() {
  local d
  for d in /dev/ttyS* /dev/ttyUSB* /dev/ttyACM* /dev/serial/by-id/*; do
    [ -e "$d" ] && printf '%s\n' "$d"
  done
}

_qeltaconfig_cli() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local prev=${COMP_WORDS[COMP_CWORD-1]}
  local commands="settings com-port com-device ports about check diff upload read-out device-report
    firmware comm-id channel radio-type bs-list bs-view bs-reset bs-defaults bs-set-config
    bs-eth-defaults bs-reboot bs-ip bs-recover bs-describe bs-inventory"
  local globals="--yes --answer --dialog --cancel-dialog --file --settings --config-file
    --output --jobs --help"

  case $prev in
    --output)
      COMPREPLY=($(compgen -W "text rows json" -- "$cur"))
      return ;;
    --answer)
      COMPREPLY=($(compgen -W "ok cancel" -- "$cur"))
      return ;;
    --file | --settings | --csv)
      COMPREPLY=($(compgen -f -- "$cur"))
      return ;;
    --config-file)
      COMPREPLY=($(compgen -f -X '!*.pcg' -- "$cur") $(compgen -d -- "$cur"))
      return ;;
    --radio-type)
      COMPREPLY=($(compgen -W "1 2 3" -- "$cur"))
      return ;;
    --jobs)
      COMPREPLY=($(compgen -W "1 2 4 8 16 32 64" -- "$cur"))
      return ;;
    --type)
      COMPREPLY=($(compgen -W "8 9" -- "$cur"))
      return ;;
    --dialog | --cancel-dialog | --station | --wait | --com | --ip | --mask | --gateway | \
      --host-name | --description | --location)
      return ;;
  esac

  # The command is the first word that is neither an option nor an option's value.
  local i word command="" position=0
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    case $word in
      --dialog | --cancel-dialog | --file | --settings | --config-file | --output | --answer | \
        --jobs | --station | --wait | --com | --radio-type | --type | --ip | --mask | --gateway | \
        --host-name | --description | --location | --csv)
        ((i++)) ;;
      -*) ;;
      *)
        if [ -z "$command" ]; then command=$word; else ((position++)); fi ;;
    esac
  done

  if [ -z "$command" ]; then
    if [[ $cur == -* ]]; then
      COMPREPLY=($(compgen -W "$globals" -- "$cur"))
    else
      COMPREPLY=($(compgen -W "$commands" -- "$cur"))
    fi
    return
  fi

  local options=""
  case $command in
    upload) options="--station --verify --changed-only" ;;
    device-report) options="--station" ;;
    check) options="--type" ;;
    diff) options="--type --station --all --wait" ;;
    firmware) options="--com" ;;
    comm-id | channel | radio-type) options="--station --all --wait" ;;
    bs-list | bs-view) options="--wait" ;;
    bs-reset | bs-reboot) options="--all --wait" ;;
    bs-eth-defaults) options="--all --wait --changed-only --dry-run" ;;
    bs-set-config) options="--all --wait --verify --changed-only" ;;
    bs-defaults) options="--all --wait --radio-type" ;;
    bs-ip) options="--wait --dhcp --ip --mask --gateway --host-name" ;;
    bs-recover) options="--wait --dhcp --ip --mask --gateway" ;;
    bs-describe) options="--wait --description --location --host-name" ;;
    bs-inventory) options="--all --wait --csv" ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options $globals" -- "$cur"))
    return
  fi

  case $command in
    com-port)
      [ "$position" -eq 0 ] && COMPREPLY=($(compgen -W "1 2 3 4 5 6 7 8" -- "$cur")) ;;
    com-device)
      [ "$position" -eq 1 ] && COMPREPLY=($(compgen -W "$(_qeltaconfig_cli_devices)" -- "$cur")) ;;
    check | diff | upload | bs-defaults | bs-set-config)
      [ "$position" -eq 0 ] &&
        COMPREPLY=($(compgen -f -X '!*.pcg' -- "$cur") $(compgen -d -- "$cur")) ;;
    read-out)
      COMPREPLY=($(compgen -f -- "$cur")) ;;
    firmware)
      COMPREPLY=($(compgen -f -X '!*.a20' -- "$cur") $(compgen -d -- "$cur")) ;;
  esac
}

complete -F _qeltaconfig_cli qeltaconfig-cli
