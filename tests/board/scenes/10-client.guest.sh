# shellcheck shell=sh
# The installed client against the example echo server, both on the board's own loopback.
ifconfig lo 127.0.0.1 up
echo_server -n 1 -t 20 >/tmp/echo.log 2>&1 &
i=0
until grep -q echoing /tmp/echo.log || [ $i -ge 50 ]; do
    usleep 100000
    i=$((i + 1))
done
echo word | timeout 10 client >/tmp/client.out 2>/tmp/client.err
rc=$?
begin client.hex
od -An -tx1 -v /tmp/client.out
end
begin client.status
echo "exit $rc"
cat /tmp/client.err
end
