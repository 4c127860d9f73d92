# shellcheck shell=bash disable=SC2034
# Sourced by the bench scripts that hold figures to targets.

# Set once a target is missed: the sourcing script ends with it.
missed=0
# verdict WHAT MET: prints the target and its outcome; a missed one makes the script end with 1.
verdict() {
    if [[ $2 == 1 ]]; then
        echo "  target: $1: met"
    else
        echo "  target: $1: MISSED"
        missed=1
    fi
}
# Arithmetic on decimals: calc EXPRESSION prints it, holds CONDITION prints 1 or 0.
calc() { awk "BEGIN { printf \"%.2f\", $1 }"; }
holds() { awk "BEGIN { exit !($1) }" && echo 1 || echo 0; }
