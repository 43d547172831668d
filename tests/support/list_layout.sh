# The population list's layout, from the golden file "$golden" of the script that sources this: list_lines N,
# the lines of N players; list_line P [KEY], the line of player P's number or of its value in column KEY (ROOK...).
# shellcheck shell=bash disable=SC2154 # golden: set by that script
read -r list_before list_block list_keys < <(tr -d '\r"' <"$golden" | awk '$0 == "" && ++empty == 2 { before = NR; keys = last }
    $0 == "" && empty == 3 { print before, NR - before, keys; exit } { last = $0 }')
list_lines() { echo $((list_before + $1 * list_block)); }
list_line() {  # fails for a KEY that the header does not have
    local keys=":${list_keys//, /:}:" before
    before=${keys%%:"${2:-PLAYER NO}":*} && [ "$before" != "$keys" ] || return 1
    before=${before//[^:]/}  # a colon per column before KEY
    echo $((list_before + ($1 - 1) * list_block + 1 + ${#before}))
}
