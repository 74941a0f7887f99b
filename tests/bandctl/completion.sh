#!/usr/bin/env bash
# bandctl's bash completion as an operator meets it: each line below is
# typed up to its end, Tab pressed, and the offered words compared.
# Usage: completion.sh COMPLETION_FILE
set -u
source /usr/share/bash-completion/bash_completion || { echo "bash-completion is not installed"; exit 1; }
source "$1"
compopt() { :; } # only readline may change its options

failures=0
# offers "LINE" WORD...: every WORD is among the completions of LINE.
# offers_not "LINE" WORD...: none is.
complete_line()
{
    COMP_LINE=$1
    COMP_POINT=${#COMP_LINE}
    # Split as readline does, '=' being a word of its own.
    local IFS=$' \t\n'
    read -ra COMP_WORDS <<< "${COMP_LINE//=/ = }"
    [[ $COMP_LINE == *' ' || $COMP_LINE == *= ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _bandctl bandctl "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
}
check()
{
    local want=$1 line=$2 word
    shift 2
    complete_line "$line"
    for word in "$@"; do
        local found=no reply
        for reply in "${COMPREPLY[@]}"; do [[ $reply == "$word" ]] && found=yes; done
        if [[ $found != "$want" ]]; then
            echo "FAIL: \"$line\" offers [${COMPREPLY[*]}]; \"$word\" expected: $want"
            failures=$((failures + 1))
        fi
    done
}

check yes "bandctl " list sync records --version
check yes "bandctl records --" --since --until --station --program --outcome --local --csv
check yes "bandctl yield --" --since --station --outcome --include-simulated
check no "bandctl records --" --include-simulated
check no  "bandctl yield --" --csv
check yes "bandctl records --program " tester burner
check yes "bandctl yield --outcome " pass fail interrupted
check yes "bandctl get " version daystat
check yes "bandctl get daystat " 0 6
check yes "bandctl set " time conf led alarm
check yes "bandctl set conf " weight= goal= sex=
check no  "bandctl set conf " led0= hour=
check yes "bandctl set conf weight=60 " age=
check yes "bandctl set conf sex=" male female
check yes "bandctl set led " led0= led1=
check yes "bandctl set led led1=" on off
check yes "bandctl set alarm " 0 7
check yes "bandctl set alarm 2 " hour= minute= mode=
check yes "bandctl --device /dev/pts/3 watch " minstat upload
check no  "bandctl watch upload " minstat
check yes "bandctl burn --" --all --def --bin --disk
check yes "bandctl test --" --all --def
# A value that may be left out is never taken for the subcommand.
check yes "bandctl --simulate 8 " list test burn
check yes "bandctl --simulate 8 burn --" --all
check yes "bandctl --simulate=8 test --" --all
check yes "bandctl --simulate get " version daystat
check yes "bandctl --trace trace.txt get " version
check yes "bandctl --trace get " version daystat

if ((failures > 0)); then
    exit 1
fi
echo "completion: all offered as expected"
