# The server address the client is built for: a cache variable holding a dotted-decimal IPv4
# literal, checked at configure time because inet_addr would quietly take anything.

# Sets out to TRUE when value is four decimal parts 0..255 without leading zeros (inet_addr would
# read "010" as octal), otherwise FALSE.
function(client_ipv4_literal_ok value out)
    set(ok FALSE)
    if(value MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
        set(parts ${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ${CMAKE_MATCH_3} ${CMAKE_MATCH_4})
        set(ok TRUE)
        foreach(part IN LISTS parts)
            string(LENGTH "${part}" len)
            if(len GREATER 3 OR part GREATER 255 OR (len GREATER 1 AND part MATCHES "^0"))
                set(ok FALSE)
            endif()
        endforeach()
    endif()
    set(${out} ${ok} PARENT_SCOPE)
endfunction()

# Defines CLIENT_SERVER_ADDRESS (default 127.0.0.1) and stops the configuration when it is not a
# dotted-decimal IPv4 literal.
macro(client_server_address)
    set(CLIENT_SERVER_ADDRESS 127.0.0.1 CACHE STRING
        "Dotted-decimal IPv4 address of the UDP server the client sends to")
    client_ipv4_literal_ok("${CLIENT_SERVER_ADDRESS}" _client_address_ok)
    if(NOT _client_address_ok)
        message(FATAL_ERROR "CLIENT_SERVER_ADDRESS '${CLIENT_SERVER_ADDRESS}' is not a "
                            "dotted-decimal IPv4 address (four numbers 0 to 255, e.g. 203.0.113.20)")
    endif()
endmacro()
