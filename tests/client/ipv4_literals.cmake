# Which server addresses the client's configuration accepts: run with
# cmake -DCLIENT_SOURCE_DIR=<client folder> -P ipv4_literals.cmake
include(${CLIENT_SOURCE_DIR}/ServerAddress.cmake)

set(accepted 127.0.0.1 0.0.0.0 255.255.255.255 203.0.113.20 198.51.100.255 1.22.0.9)
set(rejected 300.1.2.3 256.0.0.1 1.2.3.256 1.2.3 1.2.3.4.5 01.2.3.4 1.2.3.010 0001.2.3.4 a.b.c.d
             "1.2.3.4 " " 1.2.3.4" 1..2.3 1.2.3. -1.2.3.4 0x7f.0.0.1 localhost "")
foreach(value IN LISTS accepted)
    client_ipv4_literal_ok("${value}" ok)
    if(NOT ok)
        message(SEND_ERROR "'${value}' should be accepted")
    endif()
endforeach()
foreach(value IN LISTS rejected)
    client_ipv4_literal_ok("${value}" ok)
    if(ok)
        message(SEND_ERROR "'${value}' should be rejected")
    endif()
endforeach()
