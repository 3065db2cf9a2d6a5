# shellcheck shell=bash
# The client's prompt and the echoed reply, byte for byte, and its exit status.
expected_hex=$(printf "\n Enter the message : \n Server's Echo : 2.300000 1.560000\n\n" | od -An -tx1 -v | tr -s ' \n' ' ')
check "client: prompt and reply line against the echo server on the board's loopback" \
    "$expected_hex" "$(section client.hex | tr -s ' \n' ' ')"
check "client: exits 0" "exit 0" "$(section client.status)"
