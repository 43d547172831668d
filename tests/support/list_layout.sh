# The population list's layout, read from the golden file "$golden" of the script that
# sources this: the lines before player 1 end at its second empty line, player 1's block
# at the third. list_lines N: the lines of N players; list_line P [COLUMN]: the line of
# player P's number, or of its value in COLUMN (1: the first coefficient).
# shellcheck shell=bash disable=SC2154 # golden: set by that script
read -r list_before list_block < <(tr -d '\r' <"$golden" |
    awk '$0 == "" && ++empty == 2 { before = NR } $0 == "" && empty == 3 { print before, NR - before; exit }')
list_lines() { echo $((list_before + $1 * list_block)); }
list_line() { echo $((list_before + ($1 - 1) * list_block + 1 + ${2:-0})); }
